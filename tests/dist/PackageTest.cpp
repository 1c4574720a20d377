// The desktop files and the Debian package as the distribution's checkers see
// them. Each checker that is not installed skips its test with a message.
#include "dist/DistTestSupport.h"
#include "dist/InstallTree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;
using namespace disttest;

namespace {

const std::string kAppId = "org.sonvale.Sonvale";

#define SKIP_WITHOUT(tool)                                                                         \
    if (!haveTool(tool))                                                                           \
    GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh installs it)"

// Lines of a checker's report that start with one of `levels` ("E", "W"),
// leaving out the tags in `accepted`.
std::vector<std::string> reported(const std::string& report, const std::string& levels,
                                  const std::vector<std::string>& accepted = {}) {
    std::vector<std::string> lines;
    std::istringstream in(report);
    for (std::string l; std::getline(in, l);) {
        if (l.size() < 2 || l[1] != ':' || levels.find(l[0]) == std::string::npos)
            continue;
        bool ok = false;
        for (const auto& tag : accepted)
            ok = ok || l.find(" " + tag) != std::string::npos;
        if (!ok)
            lines.push_back(l);
    }
    return lines;
}

} // namespace

TEST(Package, InstallPutsTheDesktopFilesWhereFreedesktopExpectsThem) {
    const InstallTree& tree = installedTree();
    ASSERT_FALSE(tree.prefix.empty()) << tree.log;
    const std::string share = tree.prefix + "/share";
    for (const std::string& file :
         {"applications/" + kAppId + ".desktop", "metainfo/" + kAppId + ".metainfo.xml",
          std::string("icons/hicolor/scalable/apps/sonvale.svg"),
          std::string("icons/hicolor/16x16/apps/sonvale.png"),
          std::string("icons/hicolor/256x256/apps/sonvale.png"),
          std::string("man/man1/sonvale.1.gz"), std::string("doc/sonvale/copyright"),
          std::string("doc/sonvale/README.md")})
        EXPECT_TRUE(fs::is_regular_file(share + "/" + file)) << file;
    for (const auto& file : kProgramFiles)
        EXPECT_TRUE(fs::is_regular_file(tree.programDir + "/" + file)) << file;
}

TEST(Package, DesktopEntryPassesDesktopFileValidate) {
    SKIP_WITHOUT("desktop-file-validate");
    const InstallTree& tree = installedTree();
    ASSERT_FALSE(tree.prefix.empty()) << tree.log;
    const ToolResult r = runTool(
        {"desktop-file-validate", tree.prefix + "/share/applications/" + kAppId + ".desktop"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.output, "");
}

TEST(Package, MetadataPassesAppstreamValidation) {
    SKIP_WITHOUT("appstreamcli");
    const InstallTree& tree = installedTree();
    ASSERT_FALSE(tree.prefix.empty()) << tree.log;
    const ToolResult r = runTool({"appstreamcli", "validate", "--no-net", "--strict",
                                  tree.prefix + "/share/metainfo/" + kAppId + ".metainfo.xml"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
}

TEST(Package, ManualPageFormatsWithoutWarnings) {
    SKIP_WITHOUT("man");
    const InstallTree& tree = installedTree();
    ASSERT_FALSE(tree.prefix.empty()) << tree.log;
    const ToolResult r = runTool({"man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z",
                                  tree.prefix + "/share/man/man1/sonvale.1.gz"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    for (const char* section : {"ENVIRONMENT", "SONVALE_AUDIO", "SONVALE_VCARD_DEVICES", "FILES"})
        EXPECT_NE(r.output.find(section), std::string::npos) << section;
    EXPECT_EQ(r.output.find("warning"), std::string::npos) << r.output;
}

TEST(Package, DebianPackageBuildsAndPassesLintian) {
    SKIP_WITHOUT("dpkg-shlibdeps");
    ScratchDir out;
    const ToolResult pack =
        runTool({kCPack, "--config", kBuildDir + "/CPackConfig.cmake", "-B", out.path()});
    ASSERT_EQ(pack.exitCode, 0) << pack.output;
    std::string deb;
    for (const auto& entry : fs::directory_iterator(out.path()))
        if (entry.path().extension() == ".deb")
            deb = entry.path().string();
    ASSERT_FALSE(deb.empty()) << pack.output;

    // Library dependencies were found from what the binaries link.
    const ToolResult control = runTool({"dpkg-deb", "--field", deb, "Depends"});
    for (const char* dependency : {"libqt6widgets6", "libasound2", "libmp3lame0", "libmpg123-0"})
        EXPECT_NE(control.output.find(dependency), std::string::npos) << control.output;
    const ToolResult contents = runTool({"dpkg-deb", "--contents", deb});
    for (const char* file : {"./usr/lib/sonvale/sonvale", "./usr/lib/sonvale/mp3enc.so",
                             "./usr/lib/sonvale/mp3play.so", "./usr/lib/sonvale/msg.ini",
                             "./usr/lib/sonvale/sonvale.html", "./usr/bin/sonvale -> "})
        EXPECT_NE(contents.output.find(file), std::string::npos) << file;

    if (!haveTool("lintian"))
        GTEST_SKIP() << "lintian is not installed (scripts/install-deps.sh installs it)";
    // CPack calls ldconfig from the maintainer scripts for any library under
    // /usr/lib, even a private folder; it does no harm.
    const ToolResult lint = runTool({"lintian", "--allow-root", deb});
    EXPECT_EQ(reported(lint.output, "EW", {"maintscript-calls-ldconfig"}),
              std::vector<std::string>{})
        << lint.output;
}
