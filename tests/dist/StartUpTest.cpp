// The program started as a user would, headless on the virtual card: a copy of
// the program folder elsewhere runs as a portable install from its own files,
// and the installed program, started through its link in <prefix>/bin, keeps
// its settings in the user's configuration folder.
#include "dist/DistTestSupport.h"
#include "dist/InstallTree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/wait.h>
#include <thread>

namespace fs = std::filesystem;
using namespace disttest;
using namespace std::chrono_literals;

namespace {

// A headless start on the virtual card with a scratch home, so nothing of the
// user's own settings is read or written.
std::vector<std::string> headlessEnvironment(const std::string& home) {
    return {"SONVALE_AUDIO=virtual",
            "QT_QPA_PLATFORM=offscreen",
            "HOME=" + home,
            "XDG_CONFIG_HOME=" + home + "/.config",
            "XDG_RUNTIME_DIR=" + home + "/run",
            "LD_LIBRARY_PATH=",
            "LD_PRELOAD="};
}

// The folder a mapped object of ours was loaded from, or "" when not mapped.
std::string loadedFrom(const std::vector<std::string>& mapped, const std::string& name) {
    for (const auto& path : mapped)
        if (fs::path(path).filename() == name)
            return fs::path(path).parent_path().string();
    return {};
}

// Starts `program`, expects it to come up (a message box at start-up, a missing
// library or a crash keeps it from getting there) and to end cleanly on
// SIGTERM. Returns the shared objects it had mapped once it had loaded its
// run-time libraries (after the window's first frame; at most 30 s).
std::vector<std::string> startAndStop(const std::string& program, const std::string& home) {
    fs::create_directories(home + "/run");
    fs::permissions(home + "/run", fs::perms::owner_all);
    const std::string log = home + "/output.txt";
    Child child(program, headlessEnvironment(home), log);
    const bool up = child.waitUntilUp(30s);
    std::vector<std::string> mapped = child.mappedObjects();
    for (int i = 0; up && i < 1500 && loadedFrom(mapped, "mp3play.so").empty(); ++i) {
        std::this_thread::sleep_for(20ms); // the encoder's library comes first
        mapped = child.mappedObjects();
    }
    EXPECT_TRUE(up) << program << " did not come up; it printed:\n" << readFile(log);
    const int status = child.terminate(15s);
    EXPECT_TRUE(status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << program << " did not end cleanly (wait status " << status << "); it printed:\n"
        << readFile(log);
    return mapped;
}

} // namespace

TEST(StartUp, ACopyOfTheProgramFolderRunsFromItsOwnFiles) {
    ScratchDir scratch;
    const std::string folder = scratch.path() + "/portable";
    fs::create_directories(folder);
    for (const auto& file : kProgramFiles)
        copyFile(kBinDir + "/" + file, folder + "/" + file);
    copyFile(kBinDir + "/README.md", folder + "/README.md");

    const std::string home = scratch.path() + "/home";
    const auto mapped = startAndStop(folder + "/sonvale", home);

    const std::string copy = canonical(folder);
    for (const char* lib : {"libsonvale_platform.so", "mp3enc.so", "mp3play.so"})
        EXPECT_EQ(loadedFrom(mapped, lib), copy) << lib;
    // Portable: nothing went to the user's configuration folder.
    EXPECT_FALSE(fs::exists(home + "/.config/sonvale"));
}

TEST(StartUp, TheInstalledProgramKeepsItsSettingsInTheUsersConfigFolder) {
    const InstallTree& tree = installedTree();
    ASSERT_FALSE(tree.prefix.empty()) << tree.log;
    ScratchDir scratch;
    const std::string home = scratch.path() + "/home";

    const auto mapped = startAndStop(tree.prefix + "/bin/sonvale", home);

    EXPECT_EQ(loadedFrom(mapped, "mp3enc.so"), canonical(tree.programDir));
    EXPECT_TRUE(fs::is_directory(home + "/.config/sonvale"));
    EXPECT_FALSE(fs::exists(tree.programDir + "/sonvale.ini"));
}
