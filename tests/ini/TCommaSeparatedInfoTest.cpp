#include "ini/TCommaSeparatedInfo.h"

#include <gtest/gtest.h>

namespace {

TEST(CommaSeparatedInfo, CommaTextQuotesOnlyWhatNeedsIt) {
    TCommaSeparatedInfo csi;
    csi.setElement(0, "plain");
    csi.setElement(1, "with blank");
    csi.setElement(2, "a,b");
    csi.setElement(3, "say \"hi\"");
    csi.setElement(4, "");
    csi.setElement(5, "tab\there");
    csi.setElement(6, "end");
    EXPECT_EQ(csi.CommaText(),
              "plain,\"with blank\",\"a,b\",\"say \"\"hi\"\"\",,\"tab\there\",end");
    TCommaSeparatedInfo back(csi.CommaText());
    ASSERT_EQ(back.Count(), 7);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(back.Element(i), csi.Element(i));
}

TEST(CommaSeparatedInfo, EmptyElementsAtTheEndSurviveARoundTrip) {
    TCommaSeparatedInfo one;
    one.setElement(0, "");
    EXPECT_EQ(one.CommaText(), "\"\"");
    EXPECT_EQ(TCommaSeparatedInfo(one.CommaText()).Count(), 1);

    TCommaSeparatedInfo flags;
    flags.setBoolean(0, true);
    flags.setBoolean(1, false);
    flags.setBoolean(2, false);
    TCommaSeparatedInfo back(flags.CommaText());
    ASSERT_EQ(back.Count(), 3);
    EXPECT_TRUE(back.Boolean(0));
    EXPECT_FALSE(back.Boolean(2));

    EXPECT_EQ(TCommaSeparatedInfo("").Count(), 0);
}

TEST(CommaSeparatedInfo, ParsingSkipsBlanksAndOneComma) {
    TCommaSeparatedInfo csi("  a ,  b,,c \"q\"\"x\" , \"open");
    ASSERT_EQ(csi.Count(), 6);
    EXPECT_EQ(csi.Element(0), "a");
    EXPECT_EQ(csi.Element(1), "b");
    EXPECT_EQ(csi.Element(2), "");
    EXPECT_EQ(csi.Element(3), "c");
    EXPECT_EQ(csi.Element(4), "q\"x");
    EXPECT_EQ(csi.Element(5), "open"); // an unclosed quote runs to the end
    EXPECT_EQ(TCommaSeparatedInfo(std::string("a,b\0,c", 6)).Count(), 2);
}

TEST(CommaSeparatedInfo, TypedElementsAndIndexErrors) {
    TCommaSeparatedInfo csi("12,x,1,yes,$1F,-3");
    EXPECT_EQ(csi.Integer(0), 12);
    EXPECT_EQ(csi.Integer(1), -1);
    EXPECT_EQ(csi.Integer(4), 31);
    EXPECT_EQ(csi.Integer(5), -3);
    EXPECT_TRUE(csi.Boolean(2));
    EXPECT_FALSE(csi.Boolean(3));
    EXPECT_THROW(csi.Element(6), EListError);
    EXPECT_THROW(csi.Integer(-1), EListError);
    csi.setInteger(8, -5);
    EXPECT_EQ(csi.Count(), 9);
    EXPECT_EQ(csi.Element(7), "");
    EXPECT_EQ(csi.Element(8), "-5");
}

TEST(CommaSeparatedInfo, ColorsAreHexFirstThenNamesThenZero) {
    TCommaSeparatedInfo csi("FF0000,red,$00123456,Navy,FFFFFFFF,nonsense,12,-5");
    EXPECT_EQ(csi.Color(0), 0xFF0000);
    EXPECT_EQ(csi.Color(1), 0xFF0000);
    EXPECT_EQ(csi.Color(2), 0x123456);
    EXPECT_EQ(csi.Color(3), 0x000080);
    EXPECT_EQ(csi.Color(4), 0); // -1 from bare digits is no colour
    EXPECT_EQ(csi.Color(5), 0);
    EXPECT_EQ(csi.Color(6), 0x12); // digits are hexadecimal first
    EXPECT_EQ(csi.Color(7), -5);

    csi.setColor(0, 0x00FF00);
    EXPECT_EQ(csi.Element(0), "lime");
    csi.setColor(0, 0x123456);
    EXPECT_EQ(csi.Element(0), "$00123456");
    EXPECT_EQ(csi.Color(0), 0x123456);
    csi.setColor(0, -1);
    EXPECT_EQ(csi.Element(0), "$FFFFFFFF");
    EXPECT_EQ(csi.Color(0), -1);
    csi.setColor(0, static_cast<TColor>(0x80000005));
    EXPECT_EQ(csi.Color(0), static_cast<TColor>(0x80000005));
}

TEST(CommaSeparatedInfo, FontReadsOddValuesSafely) {
    TCSIFont csi("Sans,abc,1,1,1,1,white,300,7");
    TIniFont font;
    csi.getFont(font);
    EXPECT_EQ(font.Name, "Sans");
    EXPECT_EQ(font.Size, -1);
    EXPECT_EQ(font.Style, fsBold | fsItalic | fsUnderline | fsStrikeOut);
    EXPECT_EQ(font.Color, 0xFFFFFF);
    EXPECT_EQ(font.Charset, 1);
    EXPECT_EQ(font.Pitch, fpDefault);
}

} // namespace
