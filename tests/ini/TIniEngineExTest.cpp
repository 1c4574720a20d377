#include "ini/TIniEngineEx.h"

#include "IniTestFiles.h"

#include <gtest/gtest.h>

namespace {

class IniEngineEx : public ::testing::Test {
protected:
    TempFolder folder;
    std::string path = folder.file("ex.ini");

    std::unique_ptr<TIniEngineEx> load(const std::string& bytes) {
        writeBytes(path, bytes);
        return std::make_unique<TIniEngineEx>(path);
    }
};

TStrings sectionValues(TIniEngine& ini, const std::string& section) {
    TStrings lines;
    ini.ReadSectionValues(section, lines);
    return lines;
}

TEST_F(IniEngineEx, BinaryDataRoundTripsAndToleratesBadPairs) {
    auto ini = load("[B]\r\nodd=0aFf1\r\nbad=zz10\r\n");
    const uint8_t bytes[] = {0x00, 0x7F, 0x80, 0xFF, 0x12};
    ini->WriteBinaryData("B", "bytes", bytes, sizeof bytes);
    EXPECT_EQ(ini->ReadString("B", "bytes", ""), "007F80FF12");
    uint8_t back[8] = {};
    EXPECT_EQ(ini->ReadBinaryData("B", "bytes", back, sizeof back), 5);
    EXPECT_EQ(0, memcmp(back, bytes, sizeof bytes));
    EXPECT_EQ(ini->ReadBinaryData("B", "bytes", back, 2), 2); // bounded by the buffer
    EXPECT_EQ(ini->ReadBinaryData("B", "odd", back, sizeof back), 2);
    EXPECT_EQ(back[0], 0x0A);
    EXPECT_EQ(back[1], 0xFF);
    EXPECT_EQ(ini->ReadBinaryData("B", "bad", back, sizeof back), 2);
    EXPECT_EQ(back[0], 0x00);
    EXPECT_EQ(back[1], 0x10);
    EXPECT_EQ(ini->ReadBinaryData("B", "missing", back, sizeof back), 0);
    ini->WriteBinaryData("B", "none", bytes, 0);
    EXPECT_EQ(sectionValues(*ini, "B").back(), "none=");
}

TEST_F(IniEngineEx, HexIntegersUseEightDigitsAndRaiseOnJunk) {
    auto ini = load("[H]\r\nempty=\r\njunk=12G\r\nshort=1f\r\n");
    ini->WriteHexInteger("H", "neg", -2);
    ini->WriteHexInteger("H", "pos", 0xABC);
    EXPECT_EQ(ini->ReadString("H", "neg", ""), "FFFFFFFE");
    EXPECT_EQ(ini->ReadString("H", "pos", ""), "00000ABC");
    EXPECT_EQ(ini->ReadHexInteger("H", "neg", 0), -2);
    EXPECT_EQ(ini->ReadHexInteger("H", "short", 0), 0x1F);
    EXPECT_EQ(ini->ReadHexInteger("H", "missing", -7), -7);
    EXPECT_THROW(ini->ReadHexInteger("H", "empty", 0), EConvertError);
    EXPECT_THROW(ini->ReadHexInteger("H", "junk", 0), EConvertError);
}

TEST_F(IniEngineEx, WriteBoolUnlessDefaultDeletesDefaults) {
    auto ini = load("[S]\r\nflag=1\r\n");
    ini->WriteBoolUnlessDefault("S", "flag", false, false);
    EXPECT_FALSE(ini->ValueExists("S", "flag"));
    ini->WriteBoolUnlessDefault("S", "flag", true, false);
    EXPECT_EQ(ini->ReadString("S", "flag", ""), "1");
}

TEST_F(IniEngineEx, FontsRoundTripThroughOneValue) {
    auto ini = load("[F]\r\nshort=Mono,10\r\n");
    TIniFont font;
    font.Name = "DejaVu Sans, \"Book\"";
    font.Size = 11;
    font.Style = fsBold | fsStrikeOut;
    font.Color = 0xFF0000;
    font.Charset = 0;
    font.Pitch = fpFixed;
    ini->WriteFont("F", "font", font);
    EXPECT_EQ(ini->ReadString("F", "font", ""), "\"DejaVu Sans, \"\"Book\"\"\",11,1,,,1,red,0,2");
    TIniFont back;
    ini->ReadFont("F", "font", back);
    EXPECT_EQ(back, font);

    TIniFont untouched;
    untouched.Name = "keep";
    EXPECT_THROW(ini->ReadFont("F", "missing", untouched), EListError);
    EXPECT_THROW(ini->ReadFont("F", "short", untouched), EListError);
    EXPECT_EQ(untouched.Name, "keep");
}

TEST_F(IniEngineEx, NumberedListsReadWithDefaultsAndCountKeys) {
    auto ini = load("[L]\r\nItemCount=3\r\nItem1=a\r\nItem3=c\r\nCount=1\r\n0=zero\r\n");
    TStrings list{"kept"};
    ini->ReadNumberedList("L", list, "?", "Item", 1, true);
    EXPECT_EQ(list, (TStrings{"kept", "a", "?", "c"}));
    TStrings plain;
    ini->ReadNumberedList("L", plain, "", "", 0, false);
    EXPECT_EQ(plain, (TStrings{"zero"}));
}

TEST_F(IniEngineEx, UnchangedNumberedListLeavesTheFileUntouched) {
    auto ini = load("[R]\r\nother=1\r\nFileCount=2\r\nFile0=/a\r\nFile1=/b\r\n");
    ini->WriteNumberedList("R", TStrings{"/a", "/b"}, "File", 0, true);
    EXPECT_FALSE(ini->Modified());
    EXPECT_EQ(sectionValues(*ini, "R"),
              (TStrings{"other=1", "FileCount=2", "File0=/a", "File1=/b"}));

    ini->WriteNumberedList("R", TStrings{"/b", "/a"}, "File", 0, true);
    EXPECT_TRUE(ini->Modified());
    ini->setModified(false);
    ini->WriteNumberedList("R", TStrings{"/x"}, "File", 0, true);
    EXPECT_TRUE(ini->Modified());
    EXPECT_EQ(sectionValues(*ini, "R"), (TStrings{"other=1", "FileCount=1", "File0=/x"}));
}

TEST_F(IniEngineEx, NumberedListWithDamagedCountReplacesOnlyItsOwnKeysAtOnce) {
    // A count of two thousand million over three keys: the old keys go
    // without a walk through the whole count; keys that only look numbered
    // (leading zero, another prefix, past the old count) stay.
    auto ini = load("[R]\r\nFileCount=2000000000\r\nfile1=a\r\nFile01=b\r\nFile2000000001=c\r\n"
                    "File9=d\r\nFiles3=e\r\nFile-1=f\r\n");
    ini->WriteNumberedList("R", TStrings{"x"}, "File", 1, true);
    EXPECT_EQ(sectionValues(*ini, "R"), (TStrings{"FileCount=1", "File01=b", "File2000000001=c",
                                                  "Files3=e", "File-1=f", "File1=x"}));
    // A prefix ending in digits and a list numbered from below zero.
    auto other = load("[N]\r\nA2Count=3\r\nA2-1=x\r\nA20=y\r\nA21=z\r\nA22=w\r\n");
    other->WriteNumberedList("N", TStrings{}, "A2", -1, true);
    EXPECT_EQ(sectionValues(*other, "N"), (TStrings{"A2Count=0", "A22=w"}));
}

TEST_F(IniEngineEx, NumberedListMovesKeysToTheEndOfTheSection) {
    auto ini = load("[R]\r\nCount=1\r\n0=x\r\nafter=1\r\n");
    ini->WriteNumberedList("R", TStrings{"x"}, "", 0, false);
    EXPECT_TRUE(ini->Modified());
    EXPECT_EQ(sectionValues(*ini, "R"), (TStrings{"Count=1", "after=1", "0=x"}));
}

TEST_F(IniEngineEx, RenameKeyMovesOrRecasesTheLine) {
    auto ini = load("[K]\r\nold=1\r\nmid=2\r\nnew=3\r\ncase=4\r\n");
    ini->RenameKey("K", "old", "old");
    ini->RenameKey("K", "nothing", "x");
    EXPECT_FALSE(ini->Modified());
    ini->RenameKey("K", "old", "new"); // replaces the line of "new"
    EXPECT_EQ(sectionValues(*ini, "K"), (TStrings{"mid=2", "new=1", "case=4"}));
    ini->RenameKey("K", "mid", "fresh"); // appended at the end
    EXPECT_EQ(sectionValues(*ini, "K"), (TStrings{"new=1", "case=4", "fresh=2"}));
    ini->RenameKey("K", "case", "CASE"); // stays in place
    EXPECT_EQ(sectionValues(*ini, "K"), (TStrings{"new=1", "CASE=4", "fresh=2"}));
    EXPECT_TRUE(ini->Modified());
}

TEST_F(IniEngineEx, RenameSectionKeepsPlaceAndMarksModified) {
    auto ini = load("[A]\r\na=1\r\n[B]\r\nb=1\r\n");
    ini->RenameSection("A", "A");
    EXPECT_FALSE(ini->Modified());
    ini->RenameSection("missing", "other");
    EXPECT_TRUE(ini->Modified());
    ini->RenameSection("a", "First");
    TStrings names;
    ini->ReadSections(names);
    EXPECT_EQ(names, (TStrings{"First", "B"}));
    EXPECT_EQ(ini->ReadString("first", "a", ""), "1");
}

TEST_F(IniEngineEx, WriteSectionValuesReplacesOnlyWhatDiffers) {
    auto ini = load("[S]\r\na=1\r\nb=2\r\n");
    ini->WriteSectionValues("S", TStrings{"a=1", "b=2"});
    EXPECT_FALSE(ini->Modified());
    ini->WriteSectionValues("s", TStrings{"a=1", "B=2"});
    EXPECT_TRUE(ini->Modified());
    EXPECT_EQ(ini->ReadString("S", "b", ""), "2");
    ini->WriteSectionValues("S", TStrings{"only"});
    EXPECT_EQ(sectionValues(*ini, "S"), TStrings{"only"});
    ini->WriteSectionValues("New", TStrings{"x=1", "free"});
    EXPECT_EQ(ini->ReadString("New", "x", ""), "1");
    ini->FlushFile();
    EXPECT_EQ(readBytes(path), "[S]\r\nonly\r\n\r\n[New]\r\nx=1\r\nfree\r\n\r\n");
}

} // namespace
