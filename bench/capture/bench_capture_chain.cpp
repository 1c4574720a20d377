// Whole recording chain, unpaced: the virtual card fed from 600 s of music
// (raw), wave-in pipe -> RIFF pipe -> WAV file. Prints audio seconds written
// per CPU second and MB/s, and the same figures for `sox in.wav out.wav` and
// `cat in.wav > out.wav` on the same data in the same run.
//
// Usage: bench_capture_chain [SECONDS] (default 600)
#include "BenchChain.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

double cpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Figures {
    double cpu, wall;
};

Figures runPeer(const std::string& command) {
    const double c0 = cpuSeconds(RUSAGE_CHILDREN), w0 = now();
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "failed: %s\n", command.c_str());
    return {cpuSeconds(RUSAGE_CHILDREN) - c0, now() - w0};
}

void print(const char* name, double seconds, double bytes, Figures f) {
    std::printf("%-28s cpu %7.3f s  wall %7.3f s  %9.0f audio s per cpu s  %8.1f MB/s (wall)\n",
                name, f.cpu, f.wall, seconds / f.cpu, bytes / 1e6 / f.wall);
}

} // namespace

int main(int argc, char** argv) {
    const uint32_t seconds = argc > 1 ? uint32_t(std::atoi(argv[1])) : 600;
    const std::string dir = std::filesystem::temp_directory_path() / "sonvale-bench-capture";
    std::filesystem::create_directories(dir);
    const std::string in = dir + "/in.wav", raw = dir + "/in.raw";
    const std::string script = std::string(SONVALE_SHARED_DIR) + "/bench/make-music.sh";
    if (std::system(("sh '" + script + "' " + std::to_string(seconds) + " '" + in + "'").c_str()))
        return 1;
    // The feed is the WAV file's sample bytes.
    std::vector<char> wav;
    {
        std::ifstream f(in, std::ios::binary);
        wav.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    size_t dataAt = 12;
    while (dataAt + 8 <= wav.size() && std::memcmp(&wav[dataAt], "data", 4) != 0) {
        uint32_t size;
        std::memcpy(&size, &wav[dataAt + 4], 4);
        dataAt += 8 + size + (size & 1);
    }
    dataAt += 8;
    std::ofstream(raw, std::ios::binary).write(&wav[dataAt], std::streamsize(wav.size() - dataAt));
    const uint64_t chunks = uint64_t(seconds) * 10;
    const double bytes = double(chunks) * 17640.0;

    BenchChain chain(raw);
    const std::string out = dir + "/out.wav";
    const double c0 = cpuSeconds(RUSAGE_SELF), w0 = now();
    chain.record(out, chunks);
    const Figures ours{cpuSeconds(RUSAGE_SELF) - c0, now() - w0};

    // The file must be the feed, byte for byte.
    std::vector<char> got;
    {
        std::ifstream f(out, std::ios::binary);
        got.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    const bool same = got.size() == 44 + size_t(bytes) &&
                      std::memcmp(got.data() + 44, &wav[dataAt], size_t(bytes)) == 0;

    // The same capture without the file: what the virtual card and the
    // wave-in device cost on their own.
    chain.waveIn->setConsumer(nullptr);
    chain.waveIn->device()->assignStream(false, nullptr, false);
    const double c1 = cpuSeconds(RUSAGE_SELF), w1 = now();
    chain.record("", chunks);
    const Figures captureOnly{cpuSeconds(RUSAGE_SELF) - c1, now() - w1};

    const Figures sox = runPeer("sox '" + in + "' '" + dir + "/sox.wav'");
    const Figures cat = runPeer("cat '" + in + "' > '" + dir + "/cat.wav'");

    std::printf("%u s of 44.1 kHz 16-bit stereo (%.1f MB), output %s\n", seconds, bytes / 1e6,
                same ? "identical to the feed" : "DIFFERENT from the feed");
    print("waveIn -> waveRiff -> file", seconds, bytes, ours);
    print("  of which card + wave-in", seconds, bytes, captureOnly);
    print("sox in.wav out.wav", seconds, bytes, sox);
    print("cat in.wav > out.wav", seconds, bytes, cat);
    std::printf("ratio to sox: %.2f (audio s per cpu s), %.2f (MB/s, wall); without the card's "
                "own cost: %.2f (audio s per cpu s)\n",
                sox.cpu / ours.cpu, sox.wall / ours.wall, sox.cpu / (ours.cpu - captureOnly.cpu));
    std::filesystem::remove_all(dir);
    return same ? 0 : 2;
}
