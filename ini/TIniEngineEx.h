// The INI engine with byte-buffer, hexadecimal, font, numbered-list, rename
// and whole-section operations. Adds no state to TIniEngine; every read and
// write goes through the engine's own operations.
//
// Threads: as TIniEngine, one thread at a time.
#pragma once

#include "ini/TCommaSeparatedInfo.h"
#include "ini/TIniEngine.h"

#include <cstddef>

class TIniEngineEx : public TIniEngine {
public:
    explicit TIniEngineEx(const std::string& fileName) : TIniEngine(fileName) {}

    // Bytes from a value of hexadecimal pairs: half the value's length (an
    // odd last character is ignored), at most size; a pair that is not
    // hexadecimal gives 0. Returns the number of bytes stored.
    virtual int ReadBinaryData(std::string_view section, std::string_view key, void* buffer,
                               int size);
    // Two upper-case hexadecimal digits per byte (size 0 writes an empty value).
    virtual void WriteBinaryData(std::string_view section, std::string_view key, const void* buffer,
                                 int size);

    // Reads a value of hexadecimal digits; raises EConvertError when the value
    // is not hexadecimal (an empty value included). A missing key gives def.
    virtual int32_t ReadHexInteger(std::string_view section, std::string_view key, int32_t def);
    // Eight upper-case hexadecimal digits (two's complement for negatives).
    virtual void WriteHexInteger(std::string_view section, std::string_view key, int32_t value);

    // DeleteKey when value equals def, WriteBool otherwise.
    virtual void WriteBoolUnlessDefault(std::string_view section, std::string_view key, bool value,
                                        bool def);

    // A font kept in one value (TCSIFont layout). ReadFont raises EListError
    // for a missing key or a value of fewer than nine elements, leaving font
    // unchanged.
    virtual void ReadFont(std::string_view section, std::string_view key, TIniFont& font);
    virtual void WriteFont(std::string_view section, std::string_view key, const TIniFont& font);

    // A list kept as a count key ("Count", or prefix + "Count" when
    // countKeyPrefixed) and keys prefix + number, numbered from first.
    // ReadNumberedList appends to target (not emptied first).
    virtual void ReadNumberedList(std::string_view section, TStrings& target, std::string_view def,
                                  std::string_view prefix, int first, bool countKeyPrefixed);
    // Replaces the numbered keys with source's lines (appended at the end of
    // the section). The old keys (numbers first .. first + old count - 1) are
    // looked up among the section's lines, so a damaged count of millions
    // costs no more than the keys present. Writing back an unchanged list
    // whose keys stand at the end of their section leaves Modified as it was.
    virtual void WriteNumberedList(std::string_view section, const TStrings& source,
                                   std::string_view prefix, int first, bool countKeyPrefixed);

    // Moves the old key's value to the new key (replacing that key's line, or
    // appended at the end of the section) and removes the old line. Names
    // equal but for letter case rewrite the line in place under the new name.
    // Nothing when the names are exactly equal or the old key is missing.
    virtual void RenameKey(std::string_view section, std::string_view oldKey,
                           std::string_view newKey);
    // Renames the section in place (no check against an existing section of
    // the new name). Sets Modified whenever the names differ, found or not.
    virtual void RenameSection(std::string_view oldName, std::string_view newName);
    // Makes the section's lines equal to source, replacing only the lines
    // that differ when the counts agree; a missing section is created.
    virtual void WriteSectionValues(std::string_view section, const TStrings& source);
};
