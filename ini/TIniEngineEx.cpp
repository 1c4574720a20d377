#include "ini/TIniEngineEx.h"

#include "core/unaUtils.h"
#include "ini/TSectionList.h"
#include "ini/iniText.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

std::string numberedKey(std::string_view prefix, int number) {
    return std::string(prefix) + int2str(static_cast<int32_t>(number));
}

std::string countKey(std::string_view prefix, bool countKeyPrefixed) {
    return countKeyPrefixed ? std::string(prefix) + "Count" : std::string("Count");
}

// The number n when name is the key numberedKey(prefix, n) (letter case
// aside) and n lies in [first, first + count).
bool numberOfKey(std::string_view name, std::string_view prefix, int first, int32_t count,
                 int32_t& number) {
    // The number is the name's tail: digits, perhaps after a minus sign. A
    // prefix may end in digits itself, so every split in the tail is tried.
    for (size_t at = name.size(); at > 0; --at) {
        const char c = name[at - 1];
        if (!(c >= '0' && c <= '9') && c != '-')
            break;
        const std::string_view tail = name.substr(at - 1);
        if (tail.size() > 11)
            break;
        int64_t n = 0;
        const bool negative = tail.front() == '-';
        const std::string_view digits = tail.substr(negative ? 1 : 0);
        if (digits.empty() || digits.find('-') != std::string_view::npos)
            continue;
        for (char d : digits)
            n = n * 10 + (d - '0');
        n = negative ? -n : n;
        if (n < INT32_MIN || n > INT32_MAX || int2str(int32_t(n)) != tail)
            continue; // not the text numberedKey makes (leading zeros, "-0")
        if (n < first || n - first >= count)
            continue;
        if (iniSameText(name.substr(0, at - 1), prefix)) {
            number = int32_t(n);
            return true;
        }
    }
    return false;
}

} // namespace

int TIniEngineEx::ReadBinaryData(std::string_view section, std::string_view key, void* buffer,
                                 int size) {
    std::string value = ReadString(section, key, "");
    int count = static_cast<int>(value.size() / 2);
    if (count > size)
        count = size;
    if (count <= 0 || buffer == nullptr)
        return 0;
    auto* out = static_cast<unsigned char*>(buffer);
    for (int i = 0; i < count; ++i) {
        int hi = hexDigit(value[static_cast<size_t>(2 * i)]);
        int lo = hexDigit(value[static_cast<size_t>(2 * i + 1)]);
        out[i] = (hi < 0 || lo < 0) ? 0 : static_cast<unsigned char>(hi * 16 + lo);
    }
    return count;
}

void TIniEngineEx::WriteBinaryData(std::string_view section, std::string_view key,
                                   const void* buffer, int size) {
    static const char digits[] = "0123456789ABCDEF";
    std::string value;
    if (size > 0 && buffer != nullptr) {
        const auto* in = static_cast<const unsigned char*>(buffer);
        value.resize(static_cast<size_t>(size) * 2);
        for (int i = 0; i < size; ++i) {
            value[static_cast<size_t>(2 * i)] = digits[in[i] >> 4];
            value[static_cast<size_t>(2 * i + 1)] = digits[in[i] & 15];
        }
    }
    WriteString(section, key, value);
}

int32_t TIniEngineEx::ReadHexInteger(std::string_view section, std::string_view key, int32_t def) {
    std::string text = std::string("$").append(ReadString(section, key, iniHex8(def)));
    int32_t value = 0;
    if (!iniTextToInt(text, value))
        throw EConvertError(
            std::string("'").append(text, 1).append("' is not a valid hexadecimal value"));
    return value;
}

void TIniEngineEx::WriteHexInteger(std::string_view section, std::string_view key, int32_t value) {
    WriteString(section, key, iniHex8(value));
}

void TIniEngineEx::WriteBoolUnlessDefault(std::string_view section, std::string_view key,
                                          bool value, bool def) {
    if (value == def)
        DeleteKey(section, key);
    else
        WriteBool(section, key, value);
}

void TIniEngineEx::ReadFont(std::string_view section, std::string_view key, TIniFont& font) {
    TCSIFont csi(ReadString(section, key, ""));
    csi.getFont(font);
}

void TIniEngineEx::WriteFont(std::string_view section, std::string_view key, const TIniFont& font) {
    TCSIFont csi;
    csi.setFont(font);
    WriteString(section, key, csi.CommaText());
}

void TIniEngineEx::ReadNumberedList(std::string_view section, TStrings& target,
                                    std::string_view def, std::string_view prefix, int first,
                                    bool countKeyPrefixed) {
    const int32_t count = ReadInteger(section, countKey(prefix, countKeyPrefixed), 0);
    for (int32_t i = 0; i < count; ++i)
        target.push_back(ReadString(section, numberedKey(prefix, i + first), def));
}

void TIniEngineEx::WriteNumberedList(std::string_view section, const TStrings& source,
                                     std::string_view prefix, int first, bool countKeyPrefixed) {
    TStrings before;
    {
        // Read the lines whatever the clear option says.
        int index = sectionList().IndexOf(section);
        if (index >= 0)
            before = sectionList().Lines(index);
    }
    const std::string key = countKey(prefix, countKeyPrefixed);
    const int32_t oldCount = ReadInteger(section, key, 0);
    WriteInteger(section, key, static_cast<int32_t>(source.size()));
    const bool modifiedBefore = Modified();
    // The old list's keys that are really there, found from the section's
    // lines: a damaged count (millions) costs no more than the keys present.
    std::vector<int32_t> present;
    if (oldCount > 0) {
        const int index = sectionList().IndexOf(section);
        if (index >= 0) {
            for (const std::string& line : sectionList().Lines(index)) {
                std::string_view name;
                int32_t number = 0;
                if (iniLineName(line, name) && numberOfKey(name, prefix, first, oldCount, number))
                    present.push_back(number);
            }
        }
        std::sort(present.begin(), present.end());
        present.erase(std::unique(present.begin(), present.end()), present.end());
    }
    for (int32_t number : present)
        DeleteKey(section, numberedKey(prefix, number));
    for (size_t i = 0; i < source.size(); ++i)
        WriteString(section, numberedKey(prefix, static_cast<int>(i) + first), source[i]);
    if (!modifiedBefore) {
        int index = sectionList().IndexOf(section);
        bool same = index >= 0 && sectionList().Lines(index) == before;
        setModified(!same);
    }
}

void TIniEngineEx::RenameKey(std::string_view section, std::string_view oldKey,
                             std::string_view newKey) {
    if (oldKey == newKey)
        return;
    KeyPlace place = LocateKey(section, oldKey, false);
    if (place.line < 0)
        return;
    const std::string& line = sectionList().Lines(place.section)[static_cast<size_t>(place.line)];
    std::string value = line.substr(line.find('=') + 1);
    if (iniSameText(oldKey, newKey)) {
        sectionList().ReplaceLine(place.section, place.line, std::string(newKey) + "=" + value);
        setModified(true);
        return;
    }
    WriteString(section, newKey, value);
    DeleteKey(section, oldKey);
}

void TIniEngineEx::RenameSection(std::string_view oldName, std::string_view newName) {
    if (oldName == newName)
        return;
    int index = sectionList().IndexOf(oldName);
    if (index >= 0)
        sectionList().Rename(index, std::string(newName));
    setModified(true);
}

void TIniEngineEx::WriteSectionValues(std::string_view section, const TStrings& source) {
    TSectionList& list = sectionList();
    int index = list.IndexOf(section);
    if (index < 0) {
        index = list.Add(std::string(section));
        list.AssignLines(index, source);
        setModified(true);
        return;
    }
    const TIniLines& lines = list.Lines(index);
    if (lines.size() != source.size()) {
        list.AssignLines(index, source);
        setModified(true);
        return;
    }
    bool changed = false;
    for (size_t i = 0; i < source.size(); ++i) {
        if (lines[i] != source[i]) {
            list.ReplaceLine(index, static_cast<int>(i), source[i]);
            changed = true;
        }
    }
    if (changed)
        setModified(true);
}
