// The in-memory image of an INI file: its sections in file order, each with
// its lines in file order. A line is stored whole: a key line as name, "="
// and value together, any other line (a comment, free text) as it stands.
//
// Owned by one TIniEngine, which is used by one thread at a time (the main
// thread in the application); the list has no locking of its own.
//
// Two things keep lookups cheap: the list remembers the section it found last
// (LastFoundIndex) and starts the next name search there, wrapping around;
// and a section with many lines builds, on its first key lookup, an index from
// key name to the first line holding that key, kept in step by the line
// operations below. That is why lines are changed only through this class.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

using TIniLines = std::vector<std::string>;

class TSectionList {
public:
    TSectionList();
    ~TSectionList();
    TSectionList(const TSectionList&) = delete;
    TSectionList& operator=(const TSectionList&) = delete;

    int Count() const { return static_cast<int>(sections_.size()); }
    const std::string& Name(int index) const;
    const TIniLines& Lines(int index) const;

    // Index of the section called name (letter case ignored), searched from
    // LastFoundIndex to the end and then from the start; a match becomes the
    // new LastFoundIndex. -1 when missing.
    int IndexOf(std::string_view name);
    // The same search started at `start`, without touching LastFoundIndex.
    int IndexOfFrom(std::string_view name, int start) const;

    int LastFoundIndex() const { return lastFoundIndex_; }
    void setLastFoundIndex(int index) { lastFoundIndex_ = index; }

    // Appends a new empty section (even when one of that name exists) and
    // returns its index.
    int Add(std::string name);
    void Rename(int index, std::string name);
    // Removes the section and its lines; the indexes after it move down.
    void Delete(int index);
    // Removes every section and resets LastFoundIndex.
    void Clear();
    // Removes the sections whose flag is set, keeping the order of the rest.
    void DeleteMarked(const std::vector<bool>& marked);

    // Index of the first line of the section that holds "=" and whose text
    // before the first "=" is key (letter case ignored); -1 when none.
    int FindKey(int section, std::string_view key) const;

    void AppendLine(int section, std::string line);
    void ReplaceLine(int section, int line, std::string text);
    void DeleteLine(int section, int line);
    void AssignLines(int section, TIniLines lines);
    void ReserveLines(int section, size_t count);
    // Direct access for code that rewrites a section's lines wholesale (the
    // duplicate-section handler); the key index of the section is dropped.
    TIniLines& MutableLines(int section);

private:
    struct Section;
    std::vector<std::unique_ptr<Section>> sections_;
    int lastFoundIndex_ = 0;
};

// The name part of a line (text before the first "="), and whether it has one.
inline bool iniLineName(std::string_view line, std::string_view& name) {
    size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return false;
    name = line.substr(0, eq);
    return true;
}
