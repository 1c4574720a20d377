#include "ini/TCommaSeparatedInfo.h"

#include "core/unaUtils.h"
#include "ini/iniConvert.h"
#include "ini/iniText.h"

namespace {

struct NamedColor {
    const char* name;
    TColor color;
};

constexpr NamedColor kColors[] = {
    {"black", 0x000000},  {"maroon", 0x800000},  {"green", 0x008000}, {"olive", 0x808000},
    {"navy", 0x000080},   {"purple", 0x800080},  {"teal", 0x008080},  {"gray", 0x808080},
    {"silver", 0xC0C0C0}, {"red", 0xFF0000},     {"lime", 0x00FF00},  {"yellow", 0xFFFF00},
    {"blue", 0x0000FF},   {"fuchsia", 0xFF00FF}, {"aqua", 0x00FFFF},  {"white", 0xFFFFFF},
};

bool needsQuotes(std::string_view s) {
    for (unsigned char c : s)
        if (c <= 32 || c == '"' || c == ',')
            return true;
    return false;
}

EListError indexError(int index) {
    std::string text = "List index out of bounds (";
    text.append(int2str(static_cast<int32_t>(index))).append(")");
    return EListError(text);
}

bool isSkippable(char c) {
    return c != 0 && static_cast<unsigned char>(c) <= 32;
}

} // namespace

std::string ColorToString(TColor color) {
    for (const NamedColor& n : kColors)
        if (n.color == color)
            return n.name;
    return std::string("$").append(iniHex8(color));
}

bool StringToColor(std::string_view text, TColor& color) {
    for (const NamedColor& n : kColors) {
        if (iniSameText(text, n.name)) {
            color = n.color;
            return true;
        }
    }
    int32_t value = 0;
    if (!iniTextToInt(text, value))
        return false;
    color = value;
    return true;
}

std::string TCommaSeparatedInfo::CommaText() const {
    std::string out;
    for (size_t i = 0; i < elements_.size(); ++i) {
        const std::string& e = elements_[i];
        if (i > 0)
            out += ',';
        const bool lastAndEmpty = e.empty() && i + 1 == elements_.size();
        if (lastAndEmpty || needsQuotes(e)) {
            out += '"';
            for (char c : e) {
                if (c == '"')
                    out += '"';
                out += c;
            }
            out += '"';
        } else {
            out += e;
        }
    }
    return out;
}

void TCommaSeparatedInfo::setCommaText(std::string_view text) {
    // The text ends at a NUL byte, as a C string would.
    size_t nul = text.find('\0');
    if (nul != std::string_view::npos)
        text = text.substr(0, nul);
    elements_.clear();
    size_t p = 0;
    const size_t n = text.size();
    while (p < n && isSkippable(text[p]))
        ++p;
    while (p < n) {
        std::string element;
        if (text[p] == '"') {
            ++p;
            while (p < n) {
                if (text[p] == '"') {
                    if (p + 1 < n && text[p + 1] == '"') {
                        element += '"';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                element += text[p++];
            }
        } else {
            size_t start = p;
            while (p<n&& static_cast<unsigned char>(text[p])> 32 && text[p] != ',')
                ++p;
            element.assign(text.substr(start, p - start));
        }
        elements_.push_back(std::move(element));
        while (p < n && isSkippable(text[p]))
            ++p;
        if (p < n && text[p] == ',') {
            ++p;
            while (p < n && isSkippable(text[p]))
                ++p;
        }
    }
}

const std::string& TCommaSeparatedInfo::Element(int index) const {
    if (index < 0 || index >= Count())
        throw indexError(index);
    return elements_[static_cast<size_t>(index)];
}

std::string& TCommaSeparatedInfo::slot(int index) {
    if (index < 0)
        throw indexError(index);
    if (index >= Count())
        elements_.resize(static_cast<size_t>(index) + 1);
    return elements_[static_cast<size_t>(index)];
}

void TCommaSeparatedInfo::setElement(int index, std::string_view text) {
    slot(index) = text;
}

int32_t TCommaSeparatedInfo::Integer(int index) const {
    int32_t value = -1;
    return iniTextToInt(Element(index), value) ? value : -1;
}

void TCommaSeparatedInfo::setInteger(int index, int32_t value) {
    slot(index) = int2str(value);
}

bool TCommaSeparatedInfo::Boolean(int index) const {
    return Element(index) == "1";
}

void TCommaSeparatedInfo::setBoolean(int index, bool value) {
    slot(index).assign(value ? 1 : 0, '1');
}

TColor TCommaSeparatedInfo::Color(int index) const {
    const std::string& e = Element(index);
    int32_t value = 0;
    if (iniTextToInt(std::string("$").append(e), value) && value != -1)
        return value;
    TColor color = 0;
    return StringToColor(e, color) ? color : 0;
}

void TCommaSeparatedInfo::setColor(int index, TColor value) {
    slot(index) = ColorToString(value);
}

void TCSIFont::setFont(const TIniFont& font) {
    Clear();
    setElement(0, font.Name);
    setInteger(1, font.Size);
    setBoolean(2, font.Style & fsBold);
    setBoolean(3, font.Style & fsItalic);
    setBoolean(4, font.Style & fsUnderline);
    setBoolean(5, font.Style & fsStrikeOut);
    setColor(6, font.Color);
    setInteger(7, font.Charset);
    setInteger(8, font.Pitch);
}

void TCSIFont::getFont(TIniFont& font) const {
    TIniFont f;
    f.Name = Element(0);
    f.Size = Integer(1);
    f.Style = static_cast<uint8_t>((Boolean(2) ? fsBold : 0) | (Boolean(3) ? fsItalic : 0) |
                                   (Boolean(4) ? fsUnderline : 0) | (Boolean(5) ? fsStrikeOut : 0));
    f.Color = Color(6);
    int32_t charset = Integer(7);
    f.Charset = static_cast<uint8_t>((charset >= 0 && charset <= 255) ? charset : 1);
    int32_t pitch = Integer(8);
    f.Pitch = static_cast<uint8_t>((pitch >= 0 && pitch <= 2) ? pitch : fpDefault);
    font = std::move(f);
}
