// What the level meter costs the recording chain: the whole chain unpaced
// (virtual card fed from music, wave-in pipe -> RIFF pipe -> WAV file) with
// the per-block level measurement (block and quarter-block levels) off and
// on, runs interleaved after one warm-up run of each, while a second thread
// reads the quarter-block levels 25 times a second as the window does, in
// both modes alike. Prints the CPU seconds of each run, the medians with
// their spread, the load average, and the ratio on / off (the goal: at most
// 1.02). On a loaded machine the spread of whole runs can hide a 2 %
// difference, so it also prints the measurement alone (one 100 ms block,
// on this thread's CPU clock, median of 7 rounds) against the chain's CPU
// per block with the meter off.
//
// Usage: bench_capture_meter [SECONDS] [RUNS] (default 300 s, 7 runs each)
#include "BenchChain.h"
#include "bench/common/BenchUtil.h"

#include "capture/unaWaveDevice.h"

#include <time.h>

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

namespace {

// The device's level measurement, opened up.
class LevelDevice : public unaWaveSoftwareDevice {
public:
    LevelDevice() { setPcmFormat(44100, 16, 2); }
    ~LevelDevice() override { shutdown(); }
    bool check(const void* data, uint32_t length) { return checkChunk(data, length); }
};

double threadCpu() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Microseconds of CPU one block's measurement takes (median of 7 rounds).
double levelPassMicros() {
    LevelDevice dev;
    dev.setCalcVolume(true);
    std::vector<uint8_t> block(17640);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = uint8_t((i * 2654435761u) >> 13);
    std::vector<double> rounds;
    const int n = 20000;
    for (int r = 0; r < 7; ++r) {
        const double t0 = threadCpu();
        for (int i = 0; i < n; ++i)
            dev.check(block.data(), uint32_t(block.size()));
        rounds.push_back((threadCpu() - t0) * 1e6 / n);
    }
    return median(rounds);
}

} // namespace

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
    const double pass = levelPassMicros();
    const double perBlock = mOff * 1e6 / double(chunks);
    std::printf("the measurement alone: %.3f us a block; the chain without it: %.1f us a block "
                "(%.2f %%)\n",
                pass, perBlock, 100.0 * pass / perBlock);
    std::filesystem::remove_all(dir);
    return 0;
}
