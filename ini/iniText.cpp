#include "ini/iniText.h"

#include <cwctype>

namespace {

bool isAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

inline unsigned char asciiLower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

// Decodes one UTF-8 sequence at s[i]; returns its code point and advances i.
// An invalid or truncated sequence yields the single byte, marked by an
// offset above the Unicode range so it never equals a real character.
constexpr char32_t kRawByte = 0x110000;

char32_t nextUnit(std::string_view s, size_t& i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
        ++i;
        return asciiLower(c);
    }
    int extra = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if ((c & 0xE0) == 0xC0) {
        extra = 1;
        cp = c & 0x1F;
        minimum = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        extra = 2;
        cp = c & 0x0F;
        minimum = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        extra = 3;
        cp = c & 0x07;
        minimum = 0x10000;
    } else {
        ++i;
        return kRawByte + c;
    }
    if (i + extra >= s.size()) {
        ++i;
        return kRawByte + c;
    }
    for (int k = 1; k <= extra; ++k) {
        unsigned char cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80) {
            ++i;
            return kRawByte + c;
        }
        cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return kRawByte + c;
    }
    i += extra + 1;
    wint_t lower = std::towlower(static_cast<wint_t>(cp));
    return static_cast<char32_t>(lower);
}

void appendUnit(std::string& out, char32_t u) {
    if (u >= kRawByte) {
        out.push_back(static_cast<char>(u - kRawByte));
    } else if (u < 0x80) {
        out.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (u >> 6)));
        out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else if (u < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (u >> 12)));
        out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (u >> 18)));
        out.push_back(static_cast<char>(0x80 | ((u >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
}

} // namespace

std::string iniFoldText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size())
        appendUnit(out, nextUnit(text, i));
    return out;
}

bool iniSameText(std::string_view a, std::string_view b) {
    if (isAscii(a) && isAscii(b)) {
        if (a.size() != b.size())
            return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (asciiLower(static_cast<unsigned char>(a[i])) !=
                asciiLower(static_cast<unsigned char>(b[i])))
                return false;
        return true;
    }
    return iniFoldText(a) == iniFoldText(b);
}

int iniCompareText(std::string_view a, std::string_view b) {
    if (isAscii(a) && isAscii(b)) {
        size_t n = a.size() < b.size() ? a.size() : b.size();
        for (size_t i = 0; i < n; ++i) {
            unsigned char ca = asciiLower(static_cast<unsigned char>(a[i]));
            unsigned char cb = asciiLower(static_cast<unsigned char>(b[i]));
            if (ca != cb)
                return ca < cb ? -1 : 1;
        }
        return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
    }
    return iniFoldText(a).compare(iniFoldText(b));
}

size_t iniHashText(std::string_view text) {
    // FNV-1a over the folded bytes.
    size_t h = 1469598103934665603ull;
    auto mix = [&h](unsigned char c) {
        h ^= c;
        h *= 1099511628211ull;
    };
    if (isAscii(text)) {
        for (unsigned char c : text)
            mix(asciiLower(c));
    } else {
        for (unsigned char c : iniFoldText(text))
            mix(c);
    }
    return h;
}
