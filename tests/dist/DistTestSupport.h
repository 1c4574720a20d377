// Shared helpers of the packaging tests: scratch folders, running a tool and
// reading what it printed, the run path of a binary, and starting the program
// as a child process to see whether it comes up. Test thread only.
#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace disttest {

// Where the build put the program, the build folder and the tools of the
// CMake that configured it (set by tests/dist/CMakeLists.txt).
inline const std::string kBinDir = SONVALE_BIN_DIR;
inline const std::string kBuildDir = SONVALE_BUILD_DIR;
inline const std::string kCMake = SONVALE_CMAKE;
inline const std::string kCPack = SONVALE_CPACK;

// The files of the program's folder: the program and what it reads from there.
// A portable folder holds README.md (the home page) too.
inline const std::vector<std::string> kProgramFiles = {
    "sonvale", "libsonvale_platform.so", "mp3enc.so", "mp3play.so", "msg.ini", "sonvale.html"};

// A fresh folder under the system's temporary folder, removed with the object.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; } // no trailing "/"

private:
    std::string path_;
};

struct ToolResult {
    int exitCode = -1;  // -1 when the tool could not be run or ended by a signal
    std::string output; // standard output and standard error together
};

// Runs `argv` (argv[0] looked up in PATH) and collects what it prints.
ToolResult runTool(const std::vector<std::string>& argv);

// True when `name` is an executable found in PATH.
bool haveTool(const std::string& name);

// The RUNPATH or RPATH entries of an ELF file, empty entries included;
// `isElf` is false for a file that is no ELF object.
struct RunPath {
    bool isElf = false;
    bool present = false;
    std::vector<std::string> entries;
};
RunPath readRunPath(const std::string& file);

// A program started as a child with its own environment; killed with the
// object if still running.
class Child {
public:
    // `env` entries "NAME=value" replace or add to the test's environment;
    // "NAME=" alone removes NAME.
    Child(const std::string& program, const std::vector<std::string>& env,
          const std::string& logFile);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }

    // Waits until the program has installed its handler for SIGTERM (done
    // right after the main window is shown, before the message loop runs) or
    // it has ended. True when the handler is in place.
    bool waitUntilUp(std::chrono::milliseconds limit);

    // Full paths of the shared objects the child has mapped.
    std::vector<std::string> mappedObjects() const;

    // Sends SIGTERM and waits for the end; the wait status, or -1 when it did
    // not end within `limit` (then it is killed).
    int terminate(std::chrono::milliseconds limit);

private:
    // True, with the wait status kept, once the child has ended.
    bool reaped();

    pid_t pid_ = -1;
    int status_ = -1;
};

std::string readFile(const std::string& path);
void copyFile(const std::string& from, const std::string& to);
std::string canonical(const std::string& path);

} // namespace disttest
