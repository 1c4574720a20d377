#include "ini/TSectionList.h"

#include "ini/iniText.h"

#include <stdexcept>
#include <unordered_set>

namespace {

// Sections with at most this many lines are searched line by line; larger
// ones get a key index on their first lookup.
constexpr size_t kIndexThreshold = 12;

} // namespace

// The key index holds line numbers; hashing and comparing go through the
// lines' names, so a lookup by key text needs no copy of the key.
struct TSectionList::Section {
    struct KeyHash {
        using is_transparent = void;
        const TIniLines* lines;
        size_t operator()(std::string_view key) const { return iniHashText(key); }
        size_t operator()(int line) const { return iniHashText(nameOf(*lines, line)); }
    };
    struct KeyEqual {
        using is_transparent = void;
        const TIniLines* lines;
        bool operator()(int a, int b) const {
            return iniSameText(nameOf(*lines, a), nameOf(*lines, b));
        }
        bool operator()(std::string_view a, int b) const {
            return iniSameText(a, nameOf(*lines, b));
        }
        bool operator()(int a, std::string_view b) const {
            return iniSameText(nameOf(*lines, a), b);
        }
    };
    using KeyIndex = std::unordered_set<int, KeyHash, KeyEqual>;

    static std::string_view nameOf(const TIniLines& lines, int line) {
        std::string_view name;
        iniLineName(lines[static_cast<size_t>(line)], name);
        return name;
    }

    std::string name;
    TIniLines lines;
    // Built lazily by FindKey; empty pointer means "not built".
    mutable std::unique_ptr<KeyIndex> index;

    void dropIndex() { index.reset(); }

    void buildIndex() const {
        index = std::make_unique<KeyIndex>(lines.size() * 2, KeyHash{&lines}, KeyEqual{&lines});
        for (size_t i = 0; i < lines.size(); ++i) {
            std::string_view n;
            if (iniLineName(lines[i], n))
                index->insert(static_cast<int>(i)); // keeps the first of equal names
        }
    }
};

TSectionList::TSectionList() = default;
TSectionList::~TSectionList() = default;

const std::string& TSectionList::Name(int index) const {
    return sections_.at(static_cast<size_t>(index))->name;
}

const TIniLines& TSectionList::Lines(int index) const {
    return sections_.at(static_cast<size_t>(index))->lines;
}

int TSectionList::IndexOfFrom(std::string_view name, int start) const {
    const int n = Count();
    if (n == 0)
        return -1;
    if (start < 0 || start >= n)
        start = 0;
    for (int i = start; i < n; ++i)
        if (iniSameText(sections_[static_cast<size_t>(i)]->name, name))
            return i;
    for (int i = 0; i < start; ++i)
        if (iniSameText(sections_[static_cast<size_t>(i)]->name, name))
            return i;
    return -1;
}

int TSectionList::IndexOf(std::string_view name) {
    int found = IndexOfFrom(name, lastFoundIndex_);
    if (found >= 0)
        lastFoundIndex_ = found;
    return found;
}

int TSectionList::Add(std::string name) {
    auto s = std::make_unique<Section>();
    s->name = std::move(name);
    sections_.push_back(std::move(s));
    return Count() - 1;
}

void TSectionList::Rename(int index, std::string name) {
    sections_.at(static_cast<size_t>(index))->name = std::move(name);
}

void TSectionList::Delete(int index) {
    if (index < 0 || index >= Count())
        throw std::out_of_range("section index out of range");
    sections_.erase(sections_.begin() + index);
}

void TSectionList::Clear() {
    sections_.clear();
    lastFoundIndex_ = 0;
}

void TSectionList::DeleteMarked(const std::vector<bool>& marked) {
    size_t out = 0;
    for (size_t i = 0; i < sections_.size(); ++i) {
        if (i < marked.size() && marked[i])
            continue;
        if (out != i)
            sections_[out] = std::move(sections_[i]);
        ++out;
    }
    sections_.resize(out);
}

int TSectionList::FindKey(int section, std::string_view key) const {
    const Section& s = *sections_.at(static_cast<size_t>(section));
    if (s.lines.size() <= kIndexThreshold && !s.index) {
        for (size_t i = 0; i < s.lines.size(); ++i) {
            std::string_view n;
            if (iniLineName(s.lines[i], n) && iniSameText(n, key))
                return static_cast<int>(i);
        }
        return -1;
    }
    if (!s.index)
        s.buildIndex();
    auto it = s.index->find(key);
    return it == s.index->end() ? -1 : *it;
}

void TSectionList::AppendLine(int section, std::string line) {
    Section& s = *sections_.at(static_cast<size_t>(section));
    s.lines.push_back(std::move(line));
    if (s.index) {
        std::string_view n;
        if (iniLineName(s.lines.back(), n))
            s.index->insert(static_cast<int>(s.lines.size() - 1));
    }
}

void TSectionList::ReplaceLine(int section, int line, std::string text) {
    Section& s = *sections_.at(static_cast<size_t>(section));
    std::string& old = s.lines.at(static_cast<size_t>(line));
    if (s.index) {
        std::string_view oldName, newName;
        bool oldHas = iniLineName(old, oldName);
        bool newHas = iniLineName(text, newName);
        // The index stays valid only when the line keeps its key.
        if (!(oldHas && newHas && iniSameText(oldName, newName)))
            s.dropIndex();
    }
    old = std::move(text);
}

void TSectionList::DeleteLine(int section, int line) {
    Section& s = *sections_.at(static_cast<size_t>(section));
    if (line < 0 || static_cast<size_t>(line) >= s.lines.size())
        throw std::out_of_range("line index out of range");
    s.dropIndex();
    s.lines.erase(s.lines.begin() + line);
}

void TSectionList::AssignLines(int section, TIniLines lines) {
    Section& s = *sections_.at(static_cast<size_t>(section));
    s.dropIndex();
    s.lines = std::move(lines);
}

void TSectionList::ReserveLines(int section, size_t count) {
    sections_.at(static_cast<size_t>(section))->lines.reserve(count);
}

TIniLines& TSectionList::MutableLines(int section) {
    Section& s = *sections_.at(static_cast<size_t>(section));
    s.dropIndex();
    return s.lines;
}
