#include "ini/iniConvert.h"

#include "core/unaUtils.h"

#include <charconv>
#include <ctime>
#include <iterator>
#include <sstream>
#include <vector>

namespace {

// A run of digits in a text, with where it starts and ends.
struct DigitGroup {
    size_t begin = 0;
    size_t end = 0;
    int64_t value = 0;
    size_t length() const { return end - begin; }
};

std::vector<DigitGroup> digitGroups(std::string_view text) {
    std::vector<DigitGroup> groups;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] >= '0' && text[i] <= '9') {
            DigitGroup g;
            g.begin = i;
            while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
                if (g.value < 100000000)
                    g.value = g.value * 10 + (text[i] - '0');
                ++i;
            }
            g.end = i;
            groups.push_back(g);
        } else {
            ++i;
        }
    }
    return groups;
}

std::string timePut(const std::locale& loc, const std::tm& tm, char format) {
    std::ostringstream out;
    out.imbue(loc);
    const auto& facet = std::use_facet<std::time_put<char>>(loc);
    facet.put(std::ostreambuf_iterator<char>(out), out, ' ', &tm, format);
    return out.str();
}

std::string padded(int64_t value, size_t width) {
    std::string s = int2str(static_cast<int64_t>(value));
    if (s.size() < width)
        s.insert(0, width - s.size(), '0');
    return s;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32)
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32)
        s.remove_suffix(1);
    return s;
}

// How a locale writes a date: the literal texts around the three numbers and
// which number is the year, the month and the day.
struct DatePattern {
    std::string literal[4]; // before, between 1-2, between 2-3, after
    char field[3] = {'Y', 'M', 'D'};
    size_t width[3] = {4, 2, 2};
};

DatePattern datePattern(const std::locale& loc) {
    std::tm tm{};
    tm.tm_year = 2033 - 1900;
    tm.tm_mon = 0; // January: month 1
    tm.tm_mday = 2;
    tm.tm_wday = 0;
    tm.tm_yday = 1;
    std::string probe = timePut(loc, tm, 'x');
    auto groups = digitGroups(probe);
    DatePattern p;
    bool seen[3] = {false, false, false};
    bool ok = groups.size() == 3;
    for (size_t k = 0; ok && k < 3; ++k) {
        int64_t v = groups[k].value;
        int slot = (v == 33 || v == 2033) ? 0 : (v == 1 ? 1 : (v == 2 ? 2 : -1));
        if (slot < 0 || seen[slot]) {
            ok = false;
            break;
        }
        seen[slot] = true;
        p.field[k] = "YMD"[slot];
        p.width[k] = slot == 0 ? 4 : groups[k].length();
    }
    if (!ok) {
        // A form without three plain numbers: year-month-day.
        DatePattern iso;
        iso.literal[1].assign(1, '-');
        iso.literal[2].assign(1, '-');
        return iso;
    }
    p.literal[0] = probe.substr(0, groups[0].begin);
    p.literal[1] = probe.substr(groups[0].end, groups[1].begin - groups[0].end);
    p.literal[2] = probe.substr(groups[1].end, groups[2].begin - groups[1].end);
    p.literal[3] = probe.substr(groups[2].end);
    return p;
}

struct TimePattern {
    std::string separator = ":";
    std::string am;
    std::string pm;
};

TimePattern timePattern(const std::locale& loc) {
    std::tm tm{};
    tm.tm_year = 2033 - 1900;
    tm.tm_mday = 2;
    tm.tm_hour = 13;
    tm.tm_min = 44;
    tm.tm_sec = 55;
    std::string probe = timePut(loc, tm, 'X');
    auto groups = digitGroups(probe);
    TimePattern p;
    if (groups.size() >= 2) {
        std::string sep = probe.substr(groups[0].end, groups[1].begin - groups[0].end);
        if (!sep.empty() && trimmed(sep).size() == sep.size())
            p.separator = sep;
    }
    p.pm = std::string(trimmed(timePut(loc, tm, 'p')));
    tm.tm_hour = 1;
    p.am = std::string(trimmed(timePut(loc, tm, 'p')));
    return p;
}

bool containsNoCase(std::string_view text, std::string_view word) {
    if (word.empty() || word.size() > text.size())
        return false;
    for (size_t i = 0; i + word.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < word.size() && std::tolower(static_cast<unsigned char>(text[i + k])) ==
                                      std::tolower(static_cast<unsigned char>(word[k])))
            ++k;
        if (k == word.size())
            return true;
    }
    return false;
}

bool dateFromGroups(const DigitGroup* g, const DatePattern& p, TDate& value) {
    int64_t y = 0, m = 0, d = 0;
    for (int k = 0; k < 3; ++k) {
        switch (p.field[k]) {
        case 'Y':
            y = g[k].value;
            if (g[k].length() <= 2)
                y += y < 69 ? 2000 : 1900;
            break;
        case 'M':
            m = g[k].value;
            break;
        default:
            d = g[k].value;
            break;
        }
    }
    if (y > 9999 || m > 12 || d > 31)
        return false;
    TDate date{std::chrono::year(static_cast<int>(y)), std::chrono::month(static_cast<unsigned>(m)),
               std::chrono::day(static_cast<unsigned>(d))};
    if (!date.ok())
        return false;
    value = date;
    return true;
}

bool timeFromGroups(const DigitGroup* g, size_t count, std::string_view text, const TimePattern& p,
                    TTime& value) {
    if (count < 2 || count > 3)
        return false;
    int64_t h = g[0].value, m = g[1].value, s = count == 3 ? g[2].value : 0;
    bool pm = containsNoCase(text, p.pm.empty() ? "PM" : p.pm) || containsNoCase(text, "PM");
    bool am =
        !pm && (containsNoCase(text, p.am.empty() ? "AM" : p.am) || containsNoCase(text, "AM"));
    if (pm || am) {
        if (h < 1 || h > 12)
            return false;
        if (pm && h < 12)
            h += 12;
        if (am && h == 12)
            h = 0;
    }
    if (h > 23 || m > 59 || s > 59)
        return false;
    value = TTime(h * 3600 + m * 60 + s);
    return true;
}

// Rejects texts that hold anything besides digits, separators, blanks and
// the am/pm words: letters other than those make a text unreadable.
bool onlyDateTimeCharacters(std::string_view text, const TimePattern* p) {
    std::string rest(text);
    for (const std::string& w : {p ? p->am : std::string(), p ? p->pm : std::string(),
                                 std::string(p ? "AM" : ""), std::string(p ? "PM" : "")}) {
        if (w.empty())
            continue;
        for (size_t i = 0; i + w.size() <= rest.size(); ++i)
            if (containsNoCase(std::string_view(rest).substr(i, w.size()), w))
                rest.replace(i, w.size(), w.size(), ' ');
    }
    for (unsigned char c : rest)
        if (c < 0x80 && std::isalpha(c))
            return false;
    return true;
}

} // namespace

const std::locale& iniUserLocale() {
    static const std::locale loc = [] {
        try {
            return std::locale("");
        } catch (const std::exception&) {
            return std::locale::classic();
        }
    }();
    return loc;
}

bool iniTextToInt(std::string_view text, int32_t& value) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= text.size())
        return false;
    uint64_t magnitude = 0;
    const uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 2147483648ull : 2147483647ull);
    for (; i < text.size(); ++i) {
        int digit =
            hex ? hexDigit(text[i]) : ((text[i] >= '0' && text[i] <= '9') ? text[i] - '0' : -1);
        if (digit < 0)
            return false;
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        if (magnitude > limit)
            return false;
    }
    uint32_t bits = static_cast<uint32_t>(magnitude);
    if (negative)
        bits = 0u - bits;
    value = static_cast<int32_t>(bits);
    return true;
}

std::string iniHex8(int32_t value) {
    std::string s = int2str(static_cast<uint32_t>(value), 16);
    if (s.size() < 8)
        s.insert(0, 8 - s.size(), '0');
    return s;
}

std::string iniFloatToText(double value, const std::locale& loc) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    char point = std::use_facet<std::numpunct<char>>(loc).decimal_point();
    if (point != '.')
        for (char& c : text)
            if (c == '.')
                c = point;
    return text;
}

bool iniTextToFloat(std::string_view text, const std::locale& loc, double& value) {
    std::string s(trimmed(text));
    if (s.empty())
        return false;
    char point = std::use_facet<std::numpunct<char>>(loc).decimal_point();
    if (point != '.') {
        // The C form has "." where the locale has its own mark; a "." in
        // such a text is not a number.
        for (char& c : s) {
            if (c == '.')
                return false;
            if (c == point)
                c = '.';
        }
    }
    const char* first = s.data();
    if (*first == '+') {
        ++first;
        if (first == s.data() + s.size() || *first == '-' || *first == '+')
            return false;
    }
    double v = 0;
    auto result = std::from_chars(first, s.data() + s.size(), v);
    if (result.ec != std::errc() || result.ptr != s.data() + s.size())
        return false;
    value = v;
    return true;
}

std::string iniDateToText(const TDate& value, const std::locale& loc) {
    DatePattern p = datePattern(loc);
    std::string out = p.literal[0];
    for (int k = 0; k < 3; ++k) {
        int64_t v = p.field[k] == 'Y'   ? static_cast<int>(value.year())
                    : p.field[k] == 'M' ? static_cast<unsigned>(value.month())
                                        : static_cast<unsigned>(value.day());
        out += padded(v, p.width[k]);
        out += p.literal[k + 1];
    }
    return out;
}

bool iniTextToDate(std::string_view text, const std::locale& loc, TDate& value) {
    auto groups = digitGroups(text);
    if (groups.size() != 3 || !onlyDateTimeCharacters(text, nullptr))
        return false;
    return dateFromGroups(groups.data(), datePattern(loc), value);
}

std::string iniTimeToText(TTime value, const std::locale& loc) {
    TimePattern p = timePattern(loc);
    int64_t t = value.count() % 86400;
    if (t < 0)
        t += 86400;
    return padded(t / 3600, 2) + p.separator + padded(t / 60 % 60, 2) + p.separator +
           padded(t % 60, 2);
}

bool iniTextToTime(std::string_view text, const std::locale& loc, TTime& value) {
    TimePattern p = timePattern(loc);
    auto groups = digitGroups(text);
    if (!onlyDateTimeCharacters(text, &p))
        return false;
    return timeFromGroups(groups.data(), groups.size(), text, p, value);
}

std::string iniDateTimeToText(TDateTime value, const std::locale& loc) {
    auto day = std::chrono::floor<std::chrono::days>(value);
    TDate date{std::chrono::sys_days(day.time_since_epoch())};
    return iniDateToText(date, loc) + " " +
           iniTimeToText(std::chrono::duration_cast<TTime>(value - day), loc);
}

bool iniTextToDateTime(std::string_view text, const std::locale& loc, TDateTime& value) {
    TimePattern tp = timePattern(loc);
    auto groups = digitGroups(text);
    if (groups.size() < 3 || !onlyDateTimeCharacters(text, &tp))
        return false;
    TDate date;
    if (!dateFromGroups(groups.data(), datePattern(loc), date))
        return false;
    TTime time{0};
    if (groups.size() > 3 && !timeFromGroups(groups.data() + 3, groups.size() - 3,
                                             text.substr(groups[3].begin), tp, time))
        return false;
    value =
        TDateTime(std::chrono::local_days(std::chrono::sys_days(date).time_since_epoch())) + time;
    return true;
}
