// Text forms of the typed values kept in INI files: integers in the lenient
// form settings files use, and dates, times, date-times and floating-point
// numbers in the user's regional conventions.
//
// Regional conventions come from a std::locale: the decimal point from its
// numpunct facet, the order of day, month and year and the separators from
// what its time_put facet makes of a probe date ("%x") and time ("%X"). Years
// are always written with four digits and times in 24-hour form, so every
// written text reads back to the same value.
//
// Plain functions without state; callable from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <locale>
#include <stdexcept>
#include <string>
#include <string_view>

// A value that cannot be converted from its text (raised where the engine
// hands conversion errors to its caller, e.g. ReadHexInteger).
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using TDate = std::chrono::year_month_day;
// Time of day, from 0 to 23:59:59.
using TTime = std::chrono::seconds;
// Local date and time without a time zone.
using TDateTime = std::chrono::local_seconds;

// The user's locale from the environment (LANG, LC_*), or the classic "C"
// locale when the environment names one that is not installed.
const std::locale& iniUserLocale();

// Integer text: optional leading blanks, an optional sign, then decimal
// digits, or hexadecimal digits after "$", "x", "X", "0x" or "0X". Decimal
// values must fit 32 signed bits; hexadecimal ones 32 bits, read as two's
// complement ("$FFFFFFFF" is -1). False (value untouched) for an empty text,
// any other character or a value out of range.
bool iniTextToInt(std::string_view text, int32_t& value);

// Eight upper-case hexadecimal digits (two's complement for negatives).
std::string iniHex8(int32_t value);

std::string iniFloatToText(double value, const std::locale& loc);
bool iniTextToFloat(std::string_view text, const std::locale& loc, double& value);

std::string iniDateToText(const TDate& value, const std::locale& loc);
bool iniTextToDate(std::string_view text, const std::locale& loc, TDate& value);

std::string iniTimeToText(TTime value, const std::locale& loc);
bool iniTextToTime(std::string_view text, const std::locale& loc, TTime& value);

// The date, one blank, the time.
std::string iniDateTimeToText(TDateTime value, const std::locale& loc);
bool iniTextToDateTime(std::string_view text, const std::locale& loc, TDateTime& value);
