#include "app/AppPaths.h"

#include <gtest/gtest.h>

using sonvale::app::AppPaths;

namespace {

AppPaths layout(const std::string& program, bool writable, const std::string& xdgConfig,
                const std::string& music) {
    return AppPaths::forProgram(
        program, [writable](const std::string&) { return writable; },
        [xdgConfig](const char* name) {
            if (std::string(name) == "XDG_CONFIG_HOME")
                return xdgConfig;
            if (std::string(name) == "HOME")
                return std::string("/home/ann");
            return std::string();
        },
        [music] { return music; });
}

} // namespace

TEST(AppPaths, PortableInstallKeepsEverythingBesideTheProgram) {
    const AppPaths p = layout("/opt/sv/bin/sonvale", true, "", "");
    EXPECT_TRUE(p.portable);
    EXPECT_EQ(p.programDir, "/opt/sv/bin/");
    EXPECT_EQ(p.iniFile, "/opt/sv/bin/sonvale.ini");
    EXPECT_EQ(p.defaultSaveDir, "/opt/sv/bin/");
    EXPECT_EQ(p.msgIniFile, "/opt/sv/bin/msg.ini");
    EXPECT_EQ(p.helpFile, "/opt/sv/bin/sonvale.html");
    EXPECT_EQ(p.homePage, "/opt/sv/bin/README.md");
    EXPECT_EQ(p.encoderLibrary, "/opt/sv/bin/mp3enc.so");
    EXPECT_EQ(p.playerLibrary, "/opt/sv/bin/mp3play.so");
    // The skin's pictures are a cache: in the user's cache folder, and
    // nowhere when it is not known.
    EXPECT_EQ(p.skinCacheFile, "/home/ann/.cache/sonvale/skin.pictures");
    EXPECT_EQ(AppPaths::forProgram(
                  "/opt/sv/bin/sonvale", [](const std::string&) { return true; },
                  [](const char*) { return std::string(); }, [] { return std::string(); })
                  .skinCacheFile,
              "");

    // An extension of the program is replaced, a dot in a folder name is not.
    EXPECT_EQ(layout("/a.b/sonvale.bin", true, "", "").iniFile, "/a.b/sonvale.ini");
    EXPECT_EQ(layout("/a.b/sonvale", true, "", "").iniFile, "/a.b/sonvale.ini");
}

TEST(AppPaths, ReadOnlyInstallUsesTheUsersFolders) {
    AppPaths p = layout("/usr/lib/sonvale/sonvale", false, "/cfg", "/home/ann/Music");
    EXPECT_FALSE(p.portable);
    EXPECT_EQ(p.iniFile, "/cfg/sonvale/sonvale.ini");
    EXPECT_EQ(p.defaultSaveDir, "/home/ann/Music/");
    EXPECT_EQ(p.playerLibrary, "/usr/lib/sonvale/mp3play.so"); // still beside the program
    EXPECT_EQ(p.homePage, "/usr/share/doc/sonvale/README.md");

    // Unset (or relative) XDG_CONFIG_HOME falls back to ~/.config; no music folder to home.
    p = layout("/usr/lib/sonvale/sonvale", false, "rel", "");
    EXPECT_EQ(p.iniFile, "/home/ann/.config/sonvale/sonvale.ini");
    EXPECT_EQ(p.defaultSaveDir, "/home/ann/");
}

TEST(AppPaths, InstalledProgramUsesTheUsersFoldersEvenWhereItCouldWrite) {
    const AppPaths p = layout("/home/ann/.local/lib/sonvale/sonvale", true, "", "/home/ann/Music");
    EXPECT_FALSE(p.portable);
    EXPECT_EQ(p.iniFile, "/home/ann/.config/sonvale/sonvale.ini");
    EXPECT_EQ(p.helpFile, "/home/ann/.local/lib/sonvale/sonvale.html");
    EXPECT_EQ(p.homePage, "/home/ann/.local/share/doc/sonvale/README.md");
    // A build folder or a copied folder of another name stays portable.
    EXPECT_TRUE(layout("/home/ann/src/build/default/bin/sonvale", true, "", "").portable);
    EXPECT_TRUE(layout("/media/stick/sonvale/sonvale", true, "", "").portable);
}
