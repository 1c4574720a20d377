// The INI file engine: reads a whole INI file into an in-memory image when it
// is created, answers every read from the image, changes only the image on
// every write, and writes the whole image back in one pass when it is
// flushed or destroyed, and then only if something changed.
//
// File format: 8-bit text (UTF-8 here). A CR ends a line (a LF right after it
// belongs to the line end; a LF alone is an ordinary character); a byte 26
// ends the data. A line that starts with "[" and ends with "]" opens a
// section named by the text between them, taken as it stands. Other
// non-empty lines belong to the last opened section; lines before the first
// section and empty lines are dropped. A key line is name "=" value, split at
// the first "="; lines without "=" are kept and written back but never found
// as keys. Names are compared without regard to letter case. Written lines
// end with CR LF, each section is followed by an empty line, and sections
// without lines are not written.
//
// Ownership: the engine owns its section list and every line. Threads: one
// thread at a time (the application uses INI objects on its main thread
// only, and only for the length of one read or write pass).
//
// Errors: a missing file is an empty image. Any failure to open, read,
// create or write the file raises EInOutError with the system's error text;
// construction then fails, or FlushFile fails with Modified still set and
// the old file untouched. Destruction flushes too but cannot report a
// failure: callers that must know call FlushFile before destroying.
#pragma once

#include "ini/TSectionList.h"
#include "ini/iniConvert.h"
#include "ini/iniFileIO.h"

#include <cstdint>
#include <functional>
#include <locale>
#include <string>
#include <string_view>
#include <vector>

using TStrings = std::vector<std::string>;

// Decides which of two sections of the same name survives a load. Gets the
// name and both line lists (the one earlier in the file first; both may be
// changed) and returns true to keep the first, false to keep the second.
using TDuplicateSectionEvent =
    std::function<bool(const std::string& name, TIniLines& first, TIniLines& second)>;

class TIniEngine {
public:
    // Loads fileName (an empty name gives an image not tied to a file).
    // Raises EInOutError when the file exists but cannot be read.
    explicit TIniEngine(const std::string& fileName);
    // Flushes (failures are swallowed here), then frees the image.
    virtual ~TIniEngine();
    TIniEngine(const TIniEngine&) = delete;
    TIniEngine& operator=(const TIniEngine&) = delete;

    // --- state -------------------------------------------------------------
    bool Modified() const { return modified_; }
    void setModified(bool value) { modified_ = value; }
    // Buffer size for reading and writing the file; 28672 after
    // construction; 0 or less uses a small default buffer.
    int32_t TextBufferSize() const { return textBufferSize_; }
    void setTextBufferSize(int32_t value) { textBufferSize_ = value; }
    const std::string& FileName() const { return fileName_; }
    // Flushes pending changes to the old file, empties the image, then loads
    // the new file (when the name is not empty) and clears Modified. When the
    // load fails the image is left empty and untied (FileName empty) so that
    // no later flush can overwrite the unread file, and the error is raised.
    void SetFileName(const std::string& name);
    int32_t CurrentSectionIndex() const { return currentSectionIndex_; }
    const TSectionList& Sections() const { return sections_; }

    // Load options (they act only when a file is loaded).
    bool ClearBeforeReadSectionValues() const { return clearBeforeReadSectionValues_; }
    void setClearBeforeReadSectionValues(bool v) { clearBeforeReadSectionValues_ = v; }
    bool DropCommentLines() const { return dropCommentLines_; }
    void setDropCommentLines(bool v) { dropCommentLines_ = v; }
    bool DropLinesWithoutEquals() const { return dropLinesWithoutEquals_; }
    void setDropLinesWithoutEquals(bool v) { dropLinesWithoutEquals_ = v; }
    bool TrimBlanksAtEquals() const { return trimBlanksAtEquals_; }
    void setTrimBlanksAtEquals(bool v) { trimBlanksAtEquals_ = v; }
    bool StripValueQuotes() const { return stripValueQuotes_; }
    void setStripValueQuotes(bool v) { stripValueQuotes_ = v; }
    bool TrimTrailingBlanks() const { return trimTrailingBlanks_; }
    void setTrimTrailingBlanks(bool v) { trimTrailingBlanks_ = v; }

    // Regional conventions of date, time and float texts; the user's locale
    // after construction.
    const std::locale& FormatLocale() const { return locale_; }
    void setFormatLocale(const std::locale& loc) { locale_ = loc; }

    // Called during a load for every pair of same-named sections; empty: the
    // first one in the file survives.
    TDuplicateSectionEvent OnDuplicateSection;

    // --- loading and flushing ----------------------------------------------
    // Appends the file's sections to the image (a missing file adds nothing)
    // and resolves duplicate sections.
    virtual void LoadFile(const std::string& fileName);
    // Writes the image to FileName when Modified is set and the name is not
    // empty; clears Modified on success.
    virtual void FlushFile();

    // --- reads (never change the image) --------------------------------------
    virtual std::string ReadString(std::string_view section, std::string_view key,
                                   std::string_view def);
    virtual int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def);
    virtual bool ReadBool(std::string_view section, std::string_view key, bool def);
    virtual TDate ReadDate(std::string_view section, std::string_view key, TDate def);
    virtual TTime ReadTime(std::string_view section, std::string_view key, TTime def);
    virtual TDateTime ReadDateTime(std::string_view section, std::string_view key, TDateTime def);
    virtual double ReadFloat(std::string_view section, std::string_view key, double def);
    virtual bool SectionExists(std::string_view section);
    virtual bool ValueExists(std::string_view section, std::string_view key);
    // Appends the key names of the section (not emptying target first).
    virtual void ReadSection(std::string_view section, TStrings& target);
    // Replaces target with every section name, empty sections included.
    virtual void ReadSections(TStrings& target);
    // Appends the section's lines as stored.
    virtual void ReadSectionValues(std::string_view section, TStrings& target);
    // Appends the text FlushFile would write, line by line.
    virtual void ReadAll(TStrings& target);

    // --- writes --------------------------------------------------------------
    virtual void WriteString(std::string_view section, std::string_view key,
                             std::string_view value);
    virtual void WriteInteger(std::string_view section, std::string_view key, int32_t value);
    virtual void WriteBool(std::string_view section, std::string_view key, bool value);
    virtual void WriteDate(std::string_view section, std::string_view key, TDate value);
    virtual void WriteTime(std::string_view section, std::string_view key, TTime value);
    virtual void WriteDateTime(std::string_view section, std::string_view key, TDateTime value);
    virtual void WriteFloat(std::string_view section, std::string_view key, double value);
    virtual void DeleteKey(std::string_view section, std::string_view key);
    virtual void EraseSection(std::string_view section);
    // Discards the whole image; Modified is left as it was.
    virtual void ClearSections();

protected:
    // Finds the section (from CurrentSectionIndex, wrapping around) and the
    // key's line in it. With create, a missing section is appended empty.
    // section is -1 when missing; line is -1 when the key is missing.
    struct KeyPlace {
        int section = -1;
        int line = -1;
    };
    KeyPlace LocateKey(std::string_view section, std::string_view key, bool create);
    TSectionList& sectionList() { return sections_; }

private:
    void processLine(std::string_view raw, int& current);
    void resolveDuplicateSections();

    bool modified_ = false;
    int32_t textBufferSize_ = 28672;
    std::string fileName_;
    int32_t currentSectionIndex_ = 0;
    bool clearBeforeReadSectionValues_ = false;
    bool dropCommentLines_ = false;
    bool dropLinesWithoutEquals_ = false;
    bool trimBlanksAtEquals_ = false;
    bool stripValueQuotes_ = false;
    bool trimTrailingBlanks_ = false;
    std::locale locale_;
    TSectionList sections_;
};
