// Reading and writing the settings file and msg.ini.
//
// Section "Options" holds one key per setting; section "RecordFile" holds the
// list of recordings as "RecordFileCount" and "RecordFile0".."RecordFile<n-1>".
// The options dialog writes every option except "IsRecordNew"; the main window
// writes "IsRecordNew" and the list at exit, and only when something changed.
//
// Each function works on an INI object the caller opened for one pass; failures
// of the INI engine (an unreadable or unwritable file) pass to the caller as
// exceptions. Main thread only.
#pragma once

#include "app/svar.h"

#include <functional>
#include <string>
#include <variant>
#include <vector>

class TIniEngine;

namespace sonvale::app {

inline constexpr const char* kOptionsSection = "Options";
inline constexpr const char* kRecordFileSection = "RecordFile";
inline constexpr const char* kDefaultVersionText = "Version 2.0";

// One persistent option of section "Options": its key, the field of
// TOptions it fills, its default (an integer, 0/1 for a flag; "SaveDir"
// has none here, its default is the program's folder), whether the options
// dialog's OK writes it, the object name of the dialog control that shows
// it (nullptr: the dialog does not show it), and the range a stored integer
// must lie in (a list's item indices; flags and "SaveDir" have none): a
// stored value outside it reads as the default.
struct OptionEntry {
    using Field = std::variant<int32_t svar::TOptions::*, bool svar::TOptions::*,
                               std::string svar::TOptions::*>;
    const char* key;
    Field field;
    int32_t defaultValue;
    bool dialogWrites;
    const char* widget;
    int32_t minValue = 0;
    int32_t maxValue = 1;
};

// Every persistent option, in the order the options dialog writes them
// (which is the order of the keys in a new file).
const std::vector<OptionEntry>& OptionTable();

// Puts the default of every option into `options` ("SaveDir" empty).
void ApplyOptionDefaults(svar::TOptions& options);

// Reads every persistent option with the defaults of a first start;
// `defaultSaveDir` is the default of "SaveDir" (also for an empty value).
// A stored integer outside its range reads as its default. The mixer
// indices not kept in the file come from `current`.
svar::TOptions ReadOptions(TIniEngine& ini, const std::string& defaultSaveDir,
                           const svar::TOptions& current = {});

// Writes every option except "IsRecordNew" (the options dialog's OK).
void WriteOptions(TIniEngine& ini, const svar::TOptions& options);

// The list of recordings. Paths whose file no longer exists are dropped and
// `dropped` is set, so that the list is written back without them. Only the
// "RecordFile<n>" keys present below the count are read (in the order of
// n), so a damaged count costs nothing; positions without a key are
// dropped the same way.
std::vector<std::string> ReadRecordFileList(TIniEngine& ini, bool& dropped,
                                            const std::function<bool(const std::string&)>& exists);

// Writes "IsRecordNew", the count and one key per recording (at exit).
// Keys of a longer earlier list are left in place: the count bounds the read.
void WriteRecordFileList(TIniEngine& ini, bool isRecordNew, const std::vector<std::string>& files);

// The version text of section "Version" in msg.ini ("Version 2.0" when the
// file or the key is missing or cannot be read).
std::string ReadVersionText(const std::string& msgIniFile);

// Stores the integer value of an edit's text in `value` and returns true;
// returns false and leaves `value` alone when the text is not a
// decimal integer in the 32-bit range (blanks around it are allowed).
bool ParseSeconds(const std::string& text, int32_t& value);

} // namespace sonvale::app
