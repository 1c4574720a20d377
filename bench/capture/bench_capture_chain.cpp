// Whole recording chain, unpaced: the virtual card fed from 600 s of music
// (raw), wave-in pipe -> RIFF pipe -> WAV file. Prints audio seconds written
// per CPU second and MB/s, and the same figures for `sox in.wav out.wav` and
// `cat in.wav > out.wav` on the same data in the same run: medians of RUNS
// interleaved runs after a warm-up one, with their range, and the load.
//
// Usage: bench_capture_chain [SECONDS] [RUNS] (default 600 5)
#include "BenchChain.h"
#include "bench/common/BenchUtil.h"

#include <algorithm>
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

// The median run of a set (by CPU), with the CPU range.
struct Runs {
    std::vector<double> cpu, wall;
    void add(Figures f) {
        cpu.push_back(f.cpu);
        wall.push_back(f.wall);
    }
    Figures median() const { return {::median(cpu), ::median(wall)}; }
};

void print(const char* name, double seconds, double bytes, const Runs& r) {
    const Figures f = r.median();
    std::printf("%-28s cpu %7.3f s (%.3f..%.3f)  wall %7.3f s  %9.0f audio s per cpu s  %8.1f "
                "MB/s (wall)\n",
                name, f.cpu, *std::min_element(r.cpu.begin(), r.cpu.end()),
                *std::max_element(r.cpu.begin(), r.cpu.end()), f.wall, seconds / f.cpu,
                bytes / 1e6 / f.wall);
}

} // namespace

int main(int argc, char** argv) {
    const uint32_t seconds = argc > 1 ? uint32_t(std::atoi(argv[1])) : 600;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const std::string dir = std::filesystem::temp_directory_path() / "sonvale-bench-capture";
    std::filesystem::create_directories(dir);
    // The feed is the WAV file's sample bytes.
    std::string in, raw;
    if (!makeMusicRaw(int(seconds), dir, in, raw))
        return 1;
    const uint64_t chunks = uint64_t(seconds) * 10;
    const double bytes = double(chunks) * 17640.0;

    const std::string out = dir + "/out.wav";
    auto readAll = [](const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        return std::vector<char>(std::istreambuf_iterator<char>(f),
                                 std::istreambuf_iterator<char>());
    };
    const std::vector<char> feed = readAll(raw);
    const size_t header = 80; // the recorder's WAV header
    bool same = true;
    Runs ours, captureOnly, sox, cat;
    // Run 0 warms the caches and is not counted.
    for (int r = 0; r <= runs; ++r) {
        BenchChain chain(raw);
        const double c0 = selfCpu(), w0 = wallNow();
        chain.record(out, chunks);
        const Figures whole{selfCpu() - c0, wallNow() - w0};

        // The file must be the feed, byte for byte.
        const std::vector<char> got = readAll(out);
        same = same && got.size() == header + size_t(bytes) && feed.size() >= size_t(bytes) &&
               std::memcmp(got.data() + header, feed.data(), size_t(bytes)) == 0;

        // The same capture without the file: what the virtual card and the
        // wave-in device cost on their own.
        chain.waveIn->setConsumer(nullptr);
        chain.waveIn->device()->assignStream(false, nullptr, false);
        const double c1 = selfCpu(), w1 = wallNow();
        chain.record("", chunks);
        const Figures alone{selfCpu() - c1, wallNow() - w1};

        const Figures s = runPeer("sox '" + in + "' '" + dir + "/sox.wav'");
        const Figures c = runPeer("cat '" + in + "' > '" + dir + "/cat.wav'");
        if (r == 0)
            continue;
        ours.add(whole);
        captureOnly.add(alone);
        sox.add(s);
        cat.add(c);
    }
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);

    std::printf("%u s of 44.1 kHz 16-bit stereo (%.1f MB), output %s; median of %d (range), load "
                "%.2f %.2f %.2f\n",
                seconds, bytes / 1e6, same ? "identical to the feed" : "DIFFERENT from the feed",
                runs, load[0], load[1], load[2]);
    print("waveIn -> waveRiff -> file", seconds, bytes, ours);
    print("  of which card + wave-in", seconds, bytes, captureOnly);
    print("sox in.wav out.wav", seconds, bytes, sox);
    print("cat in.wav > out.wav", seconds, bytes, cat);
    const Figures o = ours.median(), so = sox.median(), co = captureOnly.median();
    std::printf("ratio to sox: %.2f (audio s per cpu s), %.2f (MB/s, wall); without the card's "
                "own cost: %.2f (audio s per cpu s)\n",
                so.cpu / o.cpu, so.wall / o.wall, so.cpu / (o.cpu - co.cpu));
    std::filesystem::remove_all(dir);
    return same ? 0 : 2;
}
