// Whole recording chain, unpaced: the virtual card fed from 600 s of music
// (raw), wave-in pipe -> RIFF pipe -> WAV file. Prints audio seconds written
// per CPU second and MB/s, and the same figures for `sox in.wav out.wav` and
// `cat in.wav > out.wav` on the same data in the same run.
//
// Usage: bench_capture_chain [SECONDS] (default 600)
#include "BenchChain.h"
#include "bench/common/BenchUtil.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Figures {
    double cpu, wall;
};

Figures runPeer(const std::string& command) {
    const PeerRun run = runShell(command);
    if (!run.ok)
        std::fprintf(stderr, "failed: %s\n", command.c_str());
    return {run.cpu, run.wall};
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
    if (!makeMusicWav(int(seconds), in))
        return 1;
    // The feed is the WAV file's sample bytes.
    std::vector<char> wav;
    {
        std::ifstream f(in, std::ios::binary);
        wav.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    size_t dataAt = 0, dataLength = 0;
    if (!findWavData(reinterpret_cast<const uint8_t*>(wav.data()), wav.size(), dataAt, dataLength))
        return 1;
    std::ofstream(raw, std::ios::binary).write(&wav[dataAt], std::streamsize(dataLength));
    const uint64_t chunks = uint64_t(seconds) * 10;
    const double bytes = double(chunks) * 17640.0;

    BenchChain chain(raw);
    const std::string out = dir + "/out.wav";
    const double c0 = selfCpu(), w0 = wallNow();
    chain.record(out, chunks);
    const Figures ours{selfCpu() - c0, wallNow() - w0};

    // The file must be the feed, byte for byte.
    std::vector<char> got;
    {
        std::ifstream f(out, std::ios::binary);
        got.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    const size_t header = 80; // the recorder's WAV header
    const bool same = got.size() == header + size_t(bytes) &&
                      std::memcmp(got.data() + header, &wav[dataAt], size_t(bytes)) == 0;

    // The same capture without the file: what the virtual card and the
    // wave-in device cost on their own.
    chain.waveIn->setConsumer(nullptr);
    chain.waveIn->device()->assignStream(false, nullptr, false);
    const double c1 = selfCpu(), w1 = wallNow();
    chain.record("", chunks);
    const Figures captureOnly{selfCpu() - c1, wallNow() - w1};

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
