// What the level meter costs the recording chain: the whole chain unpaced
// (virtual card fed from music, wave-in pipe -> RIFF pipe -> WAV file) with
// the per-block level measurement (block and quarter-block levels) off and
// on, runs interleaved after one warm-up run of each, while a second thread
// reads the quarter-block levels 25 times a second as the window does, in
// both modes alike. Prints the CPU seconds of each run, the medians with
// their spread, the load average, and the ratio on / off (the goal: at most
// 1.02).
//
// Usage: bench_capture_meter [SECONDS] [RUNS] (default 300 s, 7 runs each)
#include "BenchChain.h"
#include "bench/common/BenchUtil.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    const uint32_t seconds = argc > 1 ? uint32_t(std::atoi(argv[1])) : 300;
    const int runs = argc > 2 ? std::max(5, std::atoi(argv[2])) : 7;
    const std::string dir = std::filesystem::temp_directory_path() / "sonvale-bench-meter";
    std::filesystem::create_directories(dir);
    // The feed is the WAV file's sample bytes.
    std::string in, raw;
    if (!makeMusicRaw(int(seconds), dir, in, raw))
        return 1;
    const uint64_t chunks = uint64_t(seconds) * 10;

    BenchChain chain(raw);
    const std::string out = dir + "/out.wav";
    std::atomic<bool> reading{true};
    std::atomic<uint64_t> sum{0};
    // The window's meter: reads the last block's quarter levels every 40 ms.
    std::thread reader([&] {
        while (reading.load()) {
            if (auto* d = chain.waveIn->device()) {
                const unaMsAcmStreamDevice::LevelWindows w = d->levelWindows();
                sum += w.level[0][0] + w.level[1][3];
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
    });

    std::vector<double> off, on;
    for (int i = -2; i < runs * 2; ++i) {
        const bool meter = (i + 2) % 2 == 1;
        chain.waveIn->setCalcVolume(meter);
        const double c0 = selfCpu();
        chain.record(out, chunks);
        const double cpu = selfCpu() - c0;
        if (i < 0)
            continue; // warm-up
        (meter ? on : off).push_back(cpu);
        std::printf("run %2d meter %-3s cpu %.3f s\n", i / 2 + 1, meter ? "on" : "off", cpu);
    }
    reading = false;
    reader.join();

    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    auto spread = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.back() - v.front();
    };
    const double mOff = median(off), mOn = median(on);
    std::printf("%u s of 44.1 kHz 16-bit stereo per run, %d runs each, load %.2f %.2f %.2f\n",
                seconds, runs, load[0], load[1], load[2]);
    std::printf("meter off: median cpu %.3f s (spread %.3f)\n", mOff, spread(off));
    std::printf("meter on:  median cpu %.3f s (spread %.3f)\n", mOn, spread(on));
    std::printf("ratio on/off: %.3f (goal <= 1.02)%s\n", mOn / mOff,
                sum.load() == 0 ? "  [no level was read]" : "");
    std::filesystem::remove_all(dir);
    return 0;
}
