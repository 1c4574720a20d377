#include "ini/TIniEngine.h"

#include "core/unaUtils.h"
#include "ini/iniText.h"

#include <algorithm>
#include <numeric>

namespace {

bool isBlankOrTab(char c) {
    return c == ' ' || c == '\t';
}

std::string valueOf(const std::string& line) {
    size_t eq = line.find('=');
    return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

size_t bufferSizeFor(int32_t textBufferSize) {
    return textBufferSize > 0 ? static_cast<size_t>(textBufferSize) : 0;
}

} // namespace

TIniEngine::TIniEngine(const std::string& fileName) : locale_(iniUserLocale()) {
    SetFileName(fileName);
}

TIniEngine::~TIniEngine() {
    try {
        FlushFile();
    } catch (...) {
        // A destructor cannot report; FlushFile before destruction does.
    }
}

void TIniEngine::SetFileName(const std::string& name) {
    FlushFile();
    ClearSections();
    fileName_ = name;
    if (!name.empty()) {
        try {
            LoadFile(name);
        } catch (...) {
            // A half-read image must never be flushed over the file.
            ClearSections();
            fileName_.clear();
            modified_ = false;
            throw;
        }
    }
    modified_ = false;
}

// --- loading -------------------------------------------------------------------

void TIniEngine::LoadFile(const std::string& fileName) {
    currentSectionIndex_ = 0;
    if (!fileExists(fileName))
        return;
    TIniTextReader reader(fileName, bufferSizeFor(textBufferSize_));
    int current = -1;
    std::string_view line;
    while (reader.ReadLine(line))
        processLine(line, current);
    resolveDuplicateSections();
}

void TIniEngine::processLine(std::string_view raw, int& current) {
    if (raw.empty() || (dropCommentLines_ && raw.front() == ';'))
        return;
    if (raw.size() >= 2 && raw.front() == '[' && raw.back() == ']') {
        current = sections_.Add(std::string(raw.substr(1, raw.size() - 2)));
        return;
    }
    if (!trimBlanksAtEquals_ && !stripValueQuotes_ && !trimTrailingBlanks_ &&
        !dropLinesWithoutEquals_) {
        if (current >= 0)
            sections_.AppendLine(current, std::string(raw));
        return;
    }
    std::string s(raw);
    if (trimBlanksAtEquals_) {
        size_t eq = s.find('=');
        if (eq != std::string::npos && eq >= 1) {
            size_t from = eq;
            while (from >= 1 && isBlankOrTab(s[from - 1]))
                --from;
            s.erase(from, eq - from);
            eq = from;
        }
        if (eq != std::string::npos && eq >= 1) {
            size_t to = eq + 1;
            while (to < s.size() && isBlankOrTab(s[to]))
                ++to;
            s.erase(eq + 1, to - eq - 1);
        }
    }
    if (stripValueQuotes_) {
        size_t eq = s.find('=');
        if (eq != std::string::npos && eq >= 1 && s.size() - eq - 1 >= 2 &&
            (s[eq + 1] == '"' || s[eq + 1] == '\'') && s.back() == s[eq + 1]) {
            s.pop_back();
            s.erase(eq + 1, 1);
        }
    }
    if (trimTrailingBlanks_) {
        while (!s.empty() && static_cast<unsigned char>(s.back()) < 33)
            s.pop_back();
    }
    if (dropLinesWithoutEquals_ && s.find('=') == std::string::npos)
        return;
    if (current >= 0)
        sections_.AppendLine(current, std::move(s));
}

void TIniEngine::resolveDuplicateSections() {
    const int n = sections_.Count();
    if (n < 2)
        return;
    std::vector<int> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
        return iniCompareText(sections_.Name(a), sections_.Name(b)) < 0;
    });
    std::vector<bool> marked(static_cast<size_t>(n), false);
    bool dropped = false;
    int head = order[0];
    for (size_t k = 1; k < order.size(); ++k) {
        const int entry = order[k];
        if (!iniSameText(sections_.Name(head), sections_.Name(entry))) {
            head = entry;
            continue;
        }
        const int first = std::min(head, entry);
        const int second = std::max(head, entry);
        bool keepFirst = true;
        if (OnDuplicateSection)
            keepFirst = OnDuplicateSection(sections_.Name(first), sections_.MutableLines(first),
                                           sections_.MutableLines(second));
        const int loser = keepFirst ? second : first;
        head = keepFirst ? first : second;
        sections_.AssignLines(loser, TIniLines());
        marked[static_cast<size_t>(loser)] = true;
        dropped = true;
    }
    if (dropped) {
        sections_.DeleteMarked(marked);
        sections_.setLastFoundIndex(0);
        modified_ = true;
    }
}

// --- flushing ------------------------------------------------------------------

void TIniEngine::FlushFile() {
    if (!modified_)
        return;
    if (!fileName_.empty()) {
        TIniFileWriter writer(fileName_, bufferSizeFor(textBufferSize_));
        for (int i = 0; i < sections_.Count(); ++i) {
            const TIniLines& lines = sections_.Lines(i);
            if (lines.empty())
                continue;
            writer.Write("[");
            writer.Write(sections_.Name(i));
            writer.WriteLine("]");
            for (const std::string& line : lines)
                writer.WriteLine(line);
            writer.WriteLine("");
        }
        writer.Commit();
    }
    modified_ = false;
}

// --- lookups -------------------------------------------------------------------

TIniEngine::KeyPlace TIniEngine::LocateKey(std::string_view section, std::string_view key,
                                           bool create) {
    KeyPlace place;
    int index = sections_.IndexOfFrom(section, currentSectionIndex_);
    if (index < 0) {
        if (create) {
            index = sections_.Add(std::string(section));
            currentSectionIndex_ = index;
            place.section = index;
        }
        return place;
    }
    currentSectionIndex_ = index;
    place.section = index;
    place.line = sections_.FindKey(index, key);
    return place;
}

// --- reads -----------------------------------------------------------------------

std::string TIniEngine::ReadString(std::string_view section, std::string_view key,
                                   std::string_view def) {
    KeyPlace place = LocateKey(section, key, false);
    if (place.line < 0)
        return std::string(def);
    return valueOf(sections_.Lines(place.section)[static_cast<size_t>(place.line)]);
}

int32_t TIniEngine::ReadInteger(std::string_view section, std::string_view key, int32_t def) {
    std::string text = ReadString(section, key, "");
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text = std::string("$").append(text, 2, 255);
    int32_t value = def;
    return iniTextToInt(text, value) ? value : def;
}

bool TIniEngine::ReadBool(std::string_view section, std::string_view key, bool def) {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

namespace {

// A typed read: the key's text through a locale conversion, or def when the
// key is missing, empty or does not convert.
template <typename T, typename Convert>
T readConverted(const std::string& text, const std::locale& locale, T def, Convert convert) {
    T value = def;
    return (!text.empty() && convert(text, locale, value)) ? value : def;
}

} // namespace

TDate TIniEngine::ReadDate(std::string_view section, std::string_view key, TDate def) {
    return readConverted(ReadString(section, key, ""), locale_, def, iniTextToDate);
}

TTime TIniEngine::ReadTime(std::string_view section, std::string_view key, TTime def) {
    return readConverted(ReadString(section, key, ""), locale_, def, iniTextToTime);
}

TDateTime TIniEngine::ReadDateTime(std::string_view section, std::string_view key, TDateTime def) {
    return readConverted(ReadString(section, key, ""), locale_, def, iniTextToDateTime);
}

double TIniEngine::ReadFloat(std::string_view section, std::string_view key, double def) {
    return readConverted(ReadString(section, key, ""), locale_, def, iniTextToFloat);
}

bool TIniEngine::SectionExists(std::string_view section) {
    return sections_.IndexOf(section) >= 0;
}

bool TIniEngine::ValueExists(std::string_view section, std::string_view key) {
    int index = sections_.IndexOf(section);
    if (index < 0)
        return false;
    for (const std::string& line : sections_.Lines(index)) {
        std::string_view name;
        if (!iniLineName(line, name) || name.empty())
            continue;
        if (dropCommentLines_ && name.front() == ';')
            continue;
        if (iniSameText(name, key))
            return true;
    }
    return false;
}

void TIniEngine::ReadSection(std::string_view section, TStrings& target) {
    int index = sections_.IndexOf(section);
    if (index < 0)
        return;
    for (const std::string& line : sections_.Lines(index)) {
        std::string_view name;
        if (!iniLineName(line, name) || name.empty())
            continue;
        if (dropCommentLines_ && name.front() == ';')
            continue;
        target.emplace_back(name);
    }
}

void TIniEngine::ReadSections(TStrings& target) {
    target.clear();
    target.reserve(static_cast<size_t>(sections_.Count()));
    for (int i = 0; i < sections_.Count(); ++i)
        target.push_back(sections_.Name(i));
}

void TIniEngine::ReadSectionValues(std::string_view section, TStrings& target) {
    // A cleared target reflects a missing section too: it ends up empty.
    if (clearBeforeReadSectionValues_)
        target.clear();
    int index = sections_.IndexOf(section);
    if (index < 0)
        return;
    const TIniLines& lines = sections_.Lines(index);
    target.insert(target.end(), lines.begin(), lines.end());
}

void TIniEngine::ReadAll(TStrings& target) {
    for (int i = 0; i < sections_.Count(); ++i) {
        const TIniLines& lines = sections_.Lines(i);
        if (lines.empty())
            continue;
        target.push_back(std::string("[").append(sections_.Name(i)).append("]"));
        target.insert(target.end(), lines.begin(), lines.end());
        target.emplace_back();
    }
}

// --- writes ----------------------------------------------------------------------

void TIniEngine::WriteString(std::string_view section, std::string_view key,
                             std::string_view value) {
    if (key.empty()) {
        if (!section.empty() || !value.empty())
            EraseSection(section);
        else
            FlushFile();
        return;
    }
    std::string line;
    line.reserve(key.size() + 1 + value.size());
    line.append(key).append("=").append(value);
    KeyPlace place = LocateKey(section, key, true);
    if (place.line >= 0) {
        if (sections_.Lines(place.section)[static_cast<size_t>(place.line)] != line) {
            sections_.ReplaceLine(place.section, place.line, std::move(line));
            modified_ = true;
        }
    } else {
        sections_.AppendLine(place.section, std::move(line));
        modified_ = true;
    }
}

void TIniEngine::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
    WriteString(section, key, int2str(value));
}

void TIniEngine::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void TIniEngine::WriteDate(std::string_view section, std::string_view key, TDate value) {
    WriteString(section, key, iniDateToText(value, locale_));
}

void TIniEngine::WriteTime(std::string_view section, std::string_view key, TTime value) {
    WriteString(section, key, iniTimeToText(value, locale_));
}

void TIniEngine::WriteDateTime(std::string_view section, std::string_view key, TDateTime value) {
    WriteString(section, key, iniDateTimeToText(value, locale_));
}

void TIniEngine::WriteFloat(std::string_view section, std::string_view key, double value) {
    WriteString(section, key, iniFloatToText(value, locale_));
}

void TIniEngine::DeleteKey(std::string_view section, std::string_view key) {
    KeyPlace place = LocateKey(section, key, true);
    if (place.line >= 0) {
        sections_.DeleteLine(place.section, place.line);
        modified_ = true;
    }
}

void TIniEngine::EraseSection(std::string_view section) {
    int index = sections_.IndexOf(section);
    if (index < 0)
        return;
    sections_.Delete(index);
    sections_.setLastFoundIndex(0);
    modified_ = true;
    if (currentSectionIndex_ >= sections_.Count())
        currentSectionIndex_ = 0;
}

void TIniEngine::ClearSections() {
    sections_.Clear();
    currentSectionIndex_ = 0;
}
