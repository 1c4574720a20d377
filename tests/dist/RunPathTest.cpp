// Run paths of what the build makes and of what it installs: the project's own
// libraries are found through $ORIGIN only, never through the build tree's
// absolute path, and no entry is empty (an empty entry searches the folder
// the program is started from).
#include "dist/DistTestSupport.h"
#include "dist/InstallTree.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace disttest;

namespace {

// Every ELF file in `dir`: its run path, if any, has only entries under $ORIGIN.
// Returns how many ELF files were looked at.
int expectOnlyOriginRunPaths(const std::string& dir) {
    int elves = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (!entry.is_regular_file())
            continue;
        const RunPath rp = readRunPath(entry.path().string());
        if (!rp.isElf)
            continue;
        ++elves;
        for (const std::string& e : rp.entries)
            EXPECT_TRUE(e.rfind("$ORIGIN", 0) == 0 || e.rfind("${ORIGIN}", 0) == 0)
                << entry.path() << " has run path entry \"" << e << "\"";
    }
    return elves;
}

} // namespace

TEST(RunPath, EverythingBuiltFindsItsLibrariesThroughOriginOnly) {
    // The bin folder holds the program, its libraries and every test program.
    EXPECT_GE(expectOnlyOriginRunPaths(kBinDir), 5);

    // The program and mp3play need the platform library beside them.
    for (const char* file : {"sonvale", "mp3play.so"}) {
        const RunPath rp = readRunPath(kBinDir + "/" + file);
        ASSERT_TRUE(rp.isElf) << file;
        EXPECT_EQ(rp.entries, std::vector<std::string>{"$ORIGIN"}) << file;
    }
}

TEST(RunPath, TheInstalledProgramFolderFindsItsLibrariesThroughOriginOnly) {
    const InstallTree& tree = installedTree();
    ASSERT_FALSE(tree.prefix.empty()) << tree.log;
    EXPECT_EQ(expectOnlyOriginRunPaths(tree.programDir), 4);
    EXPECT_EQ(readRunPath(tree.programDir + "/sonvale").entries,
              std::vector<std::string>{"$ORIGIN"});

    // <prefix>/bin/sonvale is a relative link to the program.
    const fs::path link = tree.prefix + "/bin/sonvale";
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), "../lib/sonvale/sonvale");
}
