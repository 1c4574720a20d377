#include "ini/TAppIniFile.h"

#include "IniTestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

TEST(AppIniFile, NameReplacesOrAddsTheExtension) {
    EXPECT_EQ(TAppIniFile::IniFileNameFor("/usr/bin/sonvale"), "/usr/bin/sonvale.ini");
    EXPECT_EQ(TAppIniFile::IniFileNameFor("/opt/app/sonvale.bin"), "/opt/app/sonvale.ini");
    EXPECT_EQ(TAppIniFile::IniFileNameFor("/opt/my.app/sonvale"), "/opt/my.app/sonvale.ini");
    EXPECT_EQ(TAppIniFile::IniFileNameFor("/opt/app/.hidden"), "/opt/app/.hidden.ini");
    EXPECT_EQ(TAppIniFile::IniFileNameFor("/opt/app/a.b.c"), "/opt/app/a.b.ini");
}

// Helper for the test below: when started with SONVALE_INI_NAME_OUT set, it
// writes the name the running program computes into that file.
TEST(AppIniFile, HelperWritesItsName) {
    const char* out = std::getenv("SONVALE_INI_NAME_OUT");
    if (!out)
        GTEST_SKIP() << "only run as a helper";
    writeBytes(out, TAppIniFile::AppIniFileName());
}

TEST(AppIniFile, ProgramStartedThroughALinkUsesTheRealProgramName) {
    TempFolder folder;
    const std::filesystem::path self = std::filesystem::canonical("/proc/self/exe");
    const std::string link = folder.file("alias.run");
    std::filesystem::create_symlink(self, link);
    const std::string out = folder.file("name.txt");
    const std::string command = "SONVALE_INI_NAME_OUT='" + out + "' '" + link +
                                "' --gtest_filter=AppIniFile.HelperWritesItsName > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::filesystem::path expected = self;
    expected.replace_extension(".ini");
    EXPECT_EQ(readBytes(out), expected.string());
}

TEST(AppIniFile, ReadsTheFileBesideTheProgram) {
    const std::string name = TAppIniFile::AppIniFileName();
    ASSERT_FALSE(std::filesystem::exists(name)) << "leftover " << name;
    TAppIniFile ini;
    EXPECT_EQ(ini.FileName(), name);
    EXPECT_EQ(ini.ReadInteger("Options", "Skin", 0), 0);
    EXPECT_EQ(ini.ReadString("Version", "Version", "Version 2.0"), "Version 2.0");
}

} // namespace
