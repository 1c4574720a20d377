#include "ini/iniText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

// Sets LC_CTYPE for one test and restores it.
class CtypeLocale {
public:
    explicit CtypeLocale(const char* name) : saved_(std::setlocale(LC_CTYPE, nullptr)) {
        active_ = std::setlocale(LC_CTYPE, name) != nullptr;
    }
    ~CtypeLocale() { std::setlocale(LC_CTYPE, saved_.c_str()); }
    bool active() const { return active_; }

private:
    std::string saved_;
    bool active_ = false;
};

TEST(IniText, AsciiFoldsInEveryLocale) {
    EXPECT_TRUE(iniSameText("RecordFileCount", "recordfilecount"));
    EXPECT_TRUE(iniSameText("", ""));
    EXPECT_FALSE(iniSameText("Key", "Key "));
    EXPECT_FALSE(iniSameText("a", "b"));
    EXPECT_LT(iniCompareText("alpha", "BETA"), 0);
    EXPECT_GT(iniCompareText("b", "A"), 0);
    EXPECT_LT(iniCompareText("ab", "ABC"), 0);
    EXPECT_EQ(iniCompareText("MiXeD", "mixed"), 0);
    EXPECT_EQ(iniHashText("MiXeD"), iniHashText("mixed"));
}

TEST(IniText, OtherLettersFoldWithTheUserLocale) {
    CtypeLocale utf8("C.UTF-8");
    if (!utf8.active())
        GTEST_SKIP() << "no UTF-8 locale installed";
    EXPECT_TRUE(iniSameText("\xC3\x84nderung", "\xC3\xA4NDERUNG")); // Ä / ä
    EXPECT_EQ(iniCompareText("\xC3\x84", "\xC3\xA4"), 0);
    EXPECT_EQ(iniHashText("\xC3\x84x"), iniHashText("\xC3\xA4X"));
    EXPECT_FALSE(iniSameText("\xC3\x84", "A"));
}

TEST(IniText, InvalidBytesCompareAsThemselves) {
    const std::string broken = "a\xC3("; // a lead byte without its follower
    const std::string lone = "a\xA9";    // a stray continuation byte
    EXPECT_TRUE(iniSameText(broken, "A\xC3("));
    EXPECT_FALSE(iniSameText(broken, "a\xC3\xA9"));
    EXPECT_FALSE(iniSameText(lone, "a"));
    EXPECT_EQ(iniCompareText(lone, "A\xA9"), 0);
    EXPECT_EQ(iniFoldText(broken), "a\xC3(");
}

} // namespace
