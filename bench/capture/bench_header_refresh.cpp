// What keeping the WAV header current costs the recording chain: the chain
// unpaced (virtual card fed from music, wave-in pipe -> RIFF pipe -> file)
// with the header refresh off, at its normal period (1 s) and, as a stress
// case, every 10 ms; runs interleaved, medians of RUNS with their spread,
// the load average printed with them.
//
// Usage: bench_header_refresh [SECONDS] [RUNS] (default 300 s, 7 runs)
#include "BenchChain.h"
#include "bench/common/BenchUtil.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::string loadAverage() {
    std::ifstream f("/proc/loadavg");
    std::string one, five, fifteen;
    f >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

struct Series {
    const char* name;
    uint32_t periodMs;
    std::vector<double> cpu, wall;
};

void print(const Series& s, const Series& base) {
    const auto spread = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return std::make_pair(v.front(), v.back());
    };
    const auto [cpuLo, cpuHi] = spread(s.cpu);
    const auto [wallLo, wallHi] = spread(s.wall);
    std::printf("%-22s cpu median %.3f s [%.3f..%.3f]  wall median %.3f s [%.3f..%.3f]  "
                "ratio to off: cpu %.3fx  wall %.3fx\n",
                s.name, median(s.cpu), cpuLo, cpuHi, median(s.wall), wallLo, wallHi,
                median(s.cpu) / median(base.cpu), median(s.wall) / median(base.wall));
}

} // namespace

int main(int argc, char** argv) {
    const uint32_t seconds = argc > 1 ? uint32_t(std::atoi(argv[1])) : 300;
    const int runs = argc > 2 ? std::max(5, std::atoi(argv[2])) : 7;
    const std::string dir = std::filesystem::temp_directory_path() / "sonvale-bench-refresh";
    std::filesystem::create_directories(dir);
    const std::string in = dir + "/in.wav", raw = dir + "/in.raw", out = dir + "/out.wav";
    if (!makeMusicWav(int(seconds), in))
        return 1;
    {
        std::ifstream f(in, std::ios::binary);
        std::vector<char> wav((std::istreambuf_iterator<char>(f)),
                              std::istreambuf_iterator<char>());
        size_t at = 0, length = 0;
        if (!findWavData(reinterpret_cast<const uint8_t*>(wav.data()), wav.size(), at, length))
            return 1;
        std::ofstream(raw, std::ios::binary).write(&wav[at], std::streamsize(length));
    }
    const uint64_t chunks = uint64_t(seconds) * 10;
    BenchChain chain(raw);
    Series off{"refresh off", 0, {}, {}}, normal{"refresh every 1 s", 1000, {}, {}},
        stress{"refresh every 10 ms", 10, {}, {}};
    std::printf("load before: %s\n", loadAverage().c_str());
    chain.record(out, chunks); // warm-up: page cache, pools
    for (int r = 0; r < runs; ++r) {
        for (Series* s : {&off, &normal, &stress}) {
            const uint32_t period = s->periodMs;
            chain.beforeStart = [&chain, period] {
                chain.waveRiff->device()->headerRefreshMs = period;
            };
            const double c0 = selfCpu(), w0 = wallNow();
            chain.record(out, chunks);
            s->cpu.push_back(selfCpu() - c0);
            s->wall.push_back(wallNow() - w0);
        }
    }
    std::printf("%u s of 44.1 kHz 16-bit stereo per run, %d runs each, interleaved\n", seconds,
                runs);
    print(off, off);
    print(normal, off);
    print(stress, off);
    std::printf("load after: %s\n", loadAverage().c_str());
    std::filesystem::remove_all(dir);
    return 0;
}
