// Several values packed into one comma-separated INI value.
//
// TCommaSeparatedInfo is an ordered list of text elements with typed access
// (integer, boolean, colour) and CommaText, the whole list as one text:
// elements joined by ","; an element holding a character of code 32 or less,
// a double quote or a comma is written in double quotes with inner quotes
// doubled, and so is an empty last element (so the list reads back with the
// same number of elements). TCSIFont keeps a font record in nine such
// elements: face name, size, bold, italic, underline, strike-out, colour,
// character set, pitch.
//
// Plain values without shared state; one thread at a time.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// An index outside a list.
class EListError : public std::out_of_range {
public:
    using std::out_of_range::out_of_range;
};

// A colour as 0x00RRGGBB. Other values (with high bits set) are kept as they
// are and written in hexadecimal.
using TColor = int32_t;

// Colour to text: a name from the table below where one exists, otherwise
// "$" and eight hexadecimal digits. The table: black, maroon, green, olive,
// navy, purple, teal, gray, silver, red, lime, yellow, blue, fuchsia, aqua,
// white.
std::string ColorToString(TColor color);
// Colour from text: a name of the table (letter case ignored) or an integer
// ("$"-prefixed hexadecimal or decimal). False when it is neither.
bool StringToColor(std::string_view text, TColor& color);

enum TFontStyle : uint8_t {
    fsBold = 1,
    fsItalic = 2,
    fsUnderline = 4,
    fsStrikeOut = 8,
};

enum TFontPitch : uint8_t {
    fpDefault = 0,
    fpVariable = 1,
    fpFixed = 2,
};

// A font as the settings keep it.
struct TIniFont {
    std::string Name;
    int32_t Size = 10;   // points
    uint8_t Style = 0;   // TFontStyle flags
    TColor Color = 0;    // black
    uint8_t Charset = 1; // 1: the default character set
    uint8_t Pitch = fpDefault;
    bool operator==(const TIniFont&) const = default;
};

class TCommaSeparatedInfo {
public:
    TCommaSeparatedInfo() = default;
    explicit TCommaSeparatedInfo(std::string_view commaText) { setCommaText(commaText); }
    virtual ~TCommaSeparatedInfo() = default;

    std::string CommaText() const;
    // Parses text: leading characters of code 1 to 32 are skipped; a quoted
    // element runs to its closing quote (a doubled quote stands for one); an
    // unquoted one up to a character of code 32 or less or a comma; after each
    // element blanks and at most one comma (with blanks after it) are skipped.
    // A NUL byte ends the text.
    void setCommaText(std::string_view text);

    int Count() const { return static_cast<int>(elements_.size()); }
    void Clear() { elements_.clear(); }

    // Reading an index outside the list raises EListError; setting one beyond
    // the end first appends empty elements.
    const std::string& Element(int index) const;
    void setElement(int index, std::string_view text);
    // -1 when the element is not an integer.
    int32_t Integer(int index) const;
    void setInteger(int index, int32_t value);
    // True only for exactly "1"; written as "1" or the empty text.
    bool Boolean(int index) const;
    void setBoolean(int index, bool value);
    // Tried first as hexadecimal digits; failing that (or giving -1) as a
    // colour name or integer; failing that too, 0.
    TColor Color(int index) const;
    void setColor(int index, TColor value);

private:
    std::string& slot(int index);
    std::vector<std::string> elements_;
};

class TCSIFont : public TCommaSeparatedInfo {
public:
    using TCommaSeparatedInfo::TCommaSeparatedInfo;
    // Fills the nine elements from font.
    void setFont(const TIniFont& font);
    // Reads the nine elements into font; raises EListError when the list has
    // fewer than nine (font is then left unchanged). A character set outside
    // 0..255 reads as 1 and a pitch outside 0..2 as the default pitch.
    void getFont(TIniFont& font) const;
};
