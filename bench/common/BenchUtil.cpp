#include "bench/common/BenchUtil.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

double cpuSeconds(const rusage& r) {
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

double selfCpu() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return cpuSeconds(r);
}

double childrenCpu() {
    rusage r{};
    getrusage(RUSAGE_CHILDREN, &r);
    return cpuSeconds(r);
}

double wallNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string musicScript() {
    const char* env = std::getenv("SONVALE_MUSIC_SCRIPT");
    return env && *env ? env : SONVALE_MUSIC_SCRIPT_PATH;
}

bool makeMusicWav(int seconds, const std::string& wav) {
    const std::string cmd =
        "sh '" + musicScript() + "' " + std::to_string(seconds) + " '" + wav + "'";
    return std::system(cmd.c_str()) == 0;
}

bool findWavData(const uint8_t* bytes, size_t size, size_t& offset, size_t& length) {
    size_t pos = 12;
    while (pos + 8 <= size) {
        uint32_t chunk;
        std::memcpy(&chunk, bytes + pos + 4, 4);
        if (std::memcmp(bytes + pos, "data", 4) == 0) {
            offset = pos + 8;
            length = std::min(size - offset, size_t(chunk));
            return true;
        }
        pos += 8 + size_t(chunk) + (chunk & 1);
    }
    return false;
}

PeerRun runShell(const std::string& command) {
    PeerRun run;
    const double c0 = childrenCpu(), w0 = wallNow();
    run.ok = std::system(command.c_str()) == 0;
    run.cpu = childrenCpu() - c0;
    run.wall = wallNow() - w0;
    return run;
}

std::vector<char*> execArgs(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    return args;
}

PeerRun runProgram(const std::vector<std::string>& argv, bool silenceStderr) {
    PeerRun run;
    std::vector<char*> args = execArgs(argv);
    const double w0 = wallNow();
    const pid_t pid = fork();
    if (pid == 0) {
        if (silenceStderr) {
            const int devNull = open("/dev/null", O_WRONLY);
            if (devNull >= 0)
                dup2(devNull, 2);
        }
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage r{};
    if (pid < 0 || wait4(pid, &status, 0, &r) != pid)
        return run;
    run.wall = wallNow() - w0;
    run.cpu = cpuSeconds(r);
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

bool makeMusicRaw(int seconds, const std::string& dir, std::string& wav, std::string& raw) {
    wav = dir + "/in.wav";
    raw = dir + "/in.raw";
    if (!makeMusicWav(seconds, wav))
        return false;
    std::ifstream f(wav, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    size_t dataAt = 0, dataLength = 0;
    if (!findWavData(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), dataAt,
                     dataLength))
        return false;
    std::ofstream out(raw, std::ios::binary);
    out.write(&bytes[dataAt], std::streamsize(dataLength));
    return bool(out);
}
