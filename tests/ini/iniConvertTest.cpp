#include "ini/iniConvert.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using namespace std::chrono;

// A locale with a decimal comma, day.month.year dates and times written
// with dots, as several European locales have them.
class CommaNumbers : public std::numpunct<char> {
protected:
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
};

class DotDates : public std::time_put<char> {
protected:
    iter_type do_put(iter_type out, std::ios_base&, char_type, const std::tm* t, char format,
                     char) const override {
        char buffer[64] = {};
        if (format == 'x')
            std::snprintf(buffer, sizeof buffer, "%02d.%02d.%04d", t->tm_mday, t->tm_mon + 1,
                          t->tm_year + 1900);
        else if (format == 'X')
            std::snprintf(buffer, sizeof buffer, "%02d.%02d.%02d", t->tm_hour, t->tm_min,
                          t->tm_sec);
        for (const char* p = buffer; *p; ++p)
            *out++ = *p;
        return out;
    }
};

std::locale european() {
    return std::locale(std::locale(std::locale::classic(), new CommaNumbers), new DotDates);
}

TEST(IniConvert, FloatsFollowTheLocaleDecimalMark) {
    const std::locale loc = european();
    EXPECT_EQ(iniFloatToText(2.5, loc), "2,5");
    EXPECT_EQ(iniFloatToText(-0.125, std::locale::classic()), "-0.125");
    double v = 0;
    ASSERT_TRUE(iniTextToFloat(" 2,5 ", loc, v));
    EXPECT_EQ(v, 2.5);
    EXPECT_FALSE(iniTextToFloat("2.5", loc, v));
    EXPECT_FALSE(iniTextToFloat("2,5x", loc, v));
    EXPECT_FALSE(iniTextToFloat("", loc, v));
    EXPECT_FALSE(iniTextToFloat("+-1", loc, v));
    ASSERT_TRUE(iniTextToFloat("+1", loc, v));
    EXPECT_EQ(v, 1.0);
    ASSERT_TRUE(iniTextToFloat("1e300", std::locale::classic(), v));
    EXPECT_EQ(v, 1e300);
    const double awkward = 0.1 + 0.2;
    ASSERT_TRUE(iniTextToFloat(iniFloatToText(awkward, loc), loc, v));
    EXPECT_EQ(v, awkward);
}

TEST(IniConvert, DatesFollowTheLocaleOrderWithFourDigitYears) {
    const std::locale loc = european();
    const TDate date{year(2026), month(2), day(28)};
    EXPECT_EQ(iniDateToText(date, loc), "28.02.2026");
    EXPECT_EQ(iniDateToText(date, std::locale::classic()), "02/28/2026");
    TDate back;
    ASSERT_TRUE(iniTextToDate("1.3.2026", loc, back));
    EXPECT_EQ(back, (TDate{year(2026), month(3), day(1)}));
    ASSERT_TRUE(iniTextToDate("28.02.26", loc, back));
    EXPECT_EQ(back, date);
    ASSERT_TRUE(iniTextToDate("12/31/99", std::locale::classic(), back));
    EXPECT_EQ(back, (TDate{year(1999), month(12), day(31)}));
    EXPECT_FALSE(iniTextToDate("31.02.2026", loc, back));
    EXPECT_FALSE(iniTextToDate("28.02", loc, back));
    EXPECT_FALSE(iniTextToDate("Feb 28 2026", loc, back));
}

TEST(IniConvert, TimesAreTwentyFourHourAndReadAmPm) {
    const std::locale loc = european();
    EXPECT_EQ(iniTimeToText(TTime{13 * 3600 + 5 * 60 + 9}, loc), "13.05.09");
    EXPECT_EQ(iniTimeToText(TTime{0}, std::locale::classic()), "00:00:00");
    TTime t{};
    ASSERT_TRUE(iniTextToTime("1:05 PM", std::locale::classic(), t));
    EXPECT_EQ(t, TTime{13 * 3600 + 5 * 60});
    ASSERT_TRUE(iniTextToTime("12:00:01 am", std::locale::classic(), t));
    EXPECT_EQ(t, TTime{1});
    EXPECT_FALSE(iniTextToTime("24:00:00", loc, t));
    EXPECT_FALSE(iniTextToTime("13:60", loc, t));
    EXPECT_FALSE(iniTextToTime("13 PM", loc, t));
    EXPECT_FALSE(iniTextToTime("noon", loc, t));
}

TEST(IniConvert, DateTimesCombineBoth) {
    const std::locale loc = european();
    const TDateTime stamp =
        local_days(year(1999) / 12 / 31) + hours(23) + minutes(59) + seconds(58);
    EXPECT_EQ(iniDateTimeToText(stamp, loc), "31.12.1999 23.59.58");
    TDateTime back;
    ASSERT_TRUE(iniTextToDateTime("31.12.1999 23.59.58", loc, back));
    EXPECT_EQ(back, stamp);
    ASSERT_TRUE(iniTextToDateTime("31.12.1999", loc, back)); // midnight
    EXPECT_EQ(back, TDateTime(local_days(year(1999) / 12 / 31)));
    EXPECT_FALSE(iniTextToDateTime("31.12.1999 25.00", loc, back));
}

TEST(IniConvert, HexTextHasEightUpperCaseDigits) {
    EXPECT_EQ(iniHex8(0), "00000000");
    EXPECT_EQ(iniHex8(0xABC), "00000ABC");
    EXPECT_EQ(iniHex8(-1), "FFFFFFFF");
    EXPECT_EQ(iniHex8(INT32_MIN), "80000000");
}

} // namespace
