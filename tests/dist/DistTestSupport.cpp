#include "dist/DistTestSupport.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace disttest {

ScratchDir::ScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "sonvale-dist-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

namespace {

std::vector<char*> cArgs(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (auto& s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// The test's environment with `changes` applied ("NAME=value" sets,
// "NAME=" removes).
std::vector<std::string> environmentWith(const std::vector<std::string>& changes) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    for (const auto& change : changes) {
        const auto eq = change.find('=');
        const std::string prefix = change.substr(0, eq + 1);
        std::erase_if(env, [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
        if (eq + 1 < change.size())
            env.push_back(change);
    }
    return env;
}

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const std::string& outFile) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    std::vector<std::string> args = argv;
    std::vector<std::string> envCopy = env;
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, args[0].c_str(), &actions, nullptr, cArgs(args).data(),
                                  cArgs(envCopy).data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

} // namespace

ToolResult runTool(const std::vector<std::string>& argv) {
    ScratchDir dir;
    const std::string out = dir.path() + "/output";
    ToolResult result;
    const pid_t pid = spawn(argv, environmentWith({}), out);
    if (pid < 0)
        return result;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.output = readFile(out);
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    return result;
}

bool haveTool(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (!dir.empty() && ::access((dir + "/" + name).c_str(), X_OK) == 0)
            return true;
    return false;
}

RunPath readRunPath(const std::string& file) {
    RunPath rp;
    std::ifstream in(file, std::ios::binary);
    std::array<char, 4> magic{};
    if (!in.read(magic.data(), magic.size()) || std::memcmp(magic.data(),
                                                            "\x7f"
                                                            "ELF",
                                                            4) != 0)
        return rp;
    rp.isElf = true;
    const ToolResult r = runTool({"readelf", "--dynamic", "--wide", file});
    static const std::regex line(R"(\((?:RUNPATH|RPATH)\)[^\[]*\[([^\]]*)\])");
    std::smatch m;
    if (!std::regex_search(r.output, m, line))
        return rp;
    rp.present = true;
    const std::string value = m[1];
    std::size_t start = 0;
    for (;;) {
        const auto colon = value.find(':', start);
        rp.entries.push_back(value.substr(start, colon - start));
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    return rp;
}

Child::Child(const std::string& program, const std::vector<std::string>& env,
             const std::string& logFile) {
    pid_ = spawn({program}, environmentWith(env), logFile);
}

Child::~Child() {
    if (pid_ > 0 && status_ < 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

bool Child::waitUntilUp(std::chrono::milliseconds limit) {
    if (pid_ <= 0)
        return false;
    const auto end = std::chrono::steady_clock::now() + limit;
    const unsigned long long termBit = 1ULL << (SIGTERM - 1);
    while (std::chrono::steady_clock::now() < end) {
        if (reaped())
            return false; // ended before it came up
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        for (std::string l; std::getline(status, l);)
            if (l.rfind("SigCgt:", 0) == 0 && (std::stoull(l.substr(7), nullptr, 16) & termBit))
                return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

bool Child::reaped() {
    int st = 0;
    if (::waitpid(pid_, &st, WNOHANG) != pid_)
        return false;
    status_ = st;
    return true;
}

std::vector<std::string> Child::mappedObjects() const {
    std::vector<std::string> objects;
    std::ifstream maps("/proc/" + std::to_string(pid_) + "/maps");
    for (std::string l; std::getline(maps, l);) {
        const auto slash = l.find('/');
        if (slash != std::string::npos && l.find(".so", slash) != std::string::npos) {
            const std::string path = l.substr(slash);
            if (std::find(objects.begin(), objects.end(), path) == objects.end())
                objects.push_back(path);
        }
    }
    return objects;
}

int Child::terminate(std::chrono::milliseconds limit) {
    if (pid_ <= 0)
        return -1;
    if (status_ >= 0)
        return status_;
    ::kill(pid_, SIGTERM);
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (reaped())
            return status_;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    status_ = -1;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return -1;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void copyFile(const std::string& from, const std::string& to) {
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

std::string canonical(const std::string& path) {
    std::error_code ec;
    const fs::path p = fs::canonical(path, ec);
    return ec ? path : p.string();
}

} // namespace disttest
