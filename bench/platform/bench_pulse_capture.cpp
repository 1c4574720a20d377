// Capture through the sound server, both sides as whole processes timed
// from exec to exit (wait4), recording the same sine source (mic_a, 440 Hz)
// of a private server this program starts, 44100 Hz 16-bit stereo, for the
// same length, each writing its PCM to a pipe read here:
//  - ours: this program re-run as a child that records 100 ms buffers
//    through the wave-in service and writes them to its standard output;
//  - parecord --raw from the same source, stopped with SIGINT once it has
//    written as much (it is what a user stops with Ctrl+C).
// parecord runs twice, with the server's default fragments and with ours
// (50 ms). The first round warms the caches and is not counted; the order
// alternates between rounds. Both outputs are checked: the right length, and the
// source's frequency in them. Prints medians of the CPU per minute of audio
// with their range, the median of the per-pair ratios and the load (goal:
// ours at most 1.2x parecord).
//
// usage: bench_pulse_capture [seconds per run, default 30] [runs, default 5]
// Needs pulseaudio and pulseaudio-utils (parecord).
#include "bench/common/BenchUtil.h"
#include "bench_capture.h"

#include "audio/pulse/PulseServer.h"
#include "platform/audio/AudioBackend.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uint32_t kBytesPerSecond = 176400;

// Records `seconds` of the default source to standard output.
int recordChild(int seconds) {
    setAudioBackend(AudioBackend::Pulse);
    if (waveInGetNumDevs() != 1)
        return 2;
    WAVEFORMATEX f;
    FillPcmFormat(f, 44100, 16, 2);
    bool written = true;
    const CaptureRun run = captureBuffers(
        WAVE_MAPPER, f, kBytesPerSecond / 10, uint64_t(seconds) * 10,
        [&](const char* data, uint32_t n) { written = written && writeAll(1, data, n); });
    return run.ok && written && run.bytes == uint64_t(seconds) * kBytesPerSecond ? 0 : 3;
}

// Frequency of the left channel from its rising zero crossings, skipping
// the first 100 ms (a stream may start with silence).
double leftFrequency(const std::vector<char>& pcm) {
    const size_t frames = pcm.size() / 4;
    int64_t first = -1, last = -1, crossings = 0;
    int16_t prev = 0;
    for (size_t i = 4410; i < frames; ++i) {
        int16_t s;
        std::memcpy(&s, pcm.data() + i * 4, 2);
        if (i > 4410 && prev < 0 && s >= 0) {
            if (first < 0)
                first = int64_t(i);
            last = int64_t(i);
            ++crossings;
        }
        prev = s;
    }
    return crossings < 2 ? 0.0 : double(crossings - 1) * 44100.0 / double(last - first);
}

// Runs one side and checks its output; false (with a message) when it
// failed.
bool runChecked(const char* name, const std::vector<std::string>& argv, int seconds, bool interrupt,
                PipedRun* result) {
    const uint64_t want = uint64_t(seconds) * kBytesPerSecond;
    std::vector<char> pcm;
    pcm.reserve(want);
    const PipedRun run = runPiped(
        argv, want, interrupt, [&](const char* d, size_t n) { pcm.insert(pcm.end(), d, d + n); });
    if (!run.ok || pcm.size() != want) {
        std::fprintf(stderr, "%s failed: %zu of %llu bytes\n", name, pcm.size(),
                     static_cast<unsigned long long>(want));
        return false;
    }
    const double hz = leftFrequency(pcm);
    if (std::abs(hz - PulseServer::kMicAHz) > 5) {
        std::fprintf(stderr, "%s recorded %.1f Hz, not %d Hz\n", name, hz, PulseServer::kMicAHz);
        return false;
    }
    if (std::getenv("SONVALE_BENCH_VERBOSE"))
        std::fprintf(stderr, "%s: cpu %.3f s, wall %.2f s, %.0f context switches\n", name, run.cpu,
                     run.wall, run.switches);
    *result = run;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0)
        return recordChild(std::max(1, std::atoi(argv[2])));
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    PulseServer server; // the children find it through PULSE_SERVER
    std::string why;
    if (!server.start(&why)) {
        std::fprintf(stderr, "no sound server: %s\n", why.c_str());
        return 1;
    }
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
        return 1;
    // A sine source with no reader renders up to a second or two ahead in one
    // piece, which a new stream then gets at once: a stream kept open on it
    // for the whole run keeps it rendering in small pieces, so every run is
    // paced by the clock alone.
    const pid_t keeper = fork();
    if (keeper == 0) {
        execlp("parecord", "parecord", "--raw", "--latency-msec=50", "-d", "mic_a", "/dev/null",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    if (keeper < 0)
        return 1;
    usleep(300000);

    const std::vector<std::string> ours = {self, "--child", std::to_string(seconds)};
    const std::vector<std::string> parecord = {
        "parecord", "--raw", "--rate=44100", "--channels=2", "--format=s16le", "-d", "mic_a"};
    std::vector<std::string> parecord50 = parecord;
    parecord50.push_back("--latency-msec=50");

    std::vector<double> ourCpu, peerCpu, peer50Cpu, ratios, ratios50;
    for (int r = 0; r <= runs; ++r) {
        PipedRun a, b, c;
        const bool ok =
            r % 2 == 0 ? runChecked("ours", ours, seconds, false, &a) &&
                             runChecked("parecord", parecord, seconds, true, &b) &&
                             runChecked("parecord --latency-msec=50", parecord50, seconds, true, &c)
                       : runChecked("parecord --latency-msec=50", parecord50, seconds, true, &c) &&
                             runChecked("parecord", parecord, seconds, true, &b) &&
                             runChecked("ours", ours, seconds, false, &a);
        if (!ok) {
            kill(keeper, SIGINT);
            waitpid(keeper, nullptr, 0);
            return 1; // the server stops and its folder goes with `server`
        }
        if (r == 0)
            continue; // warm-up
        ourCpu.push_back(a.cpu * 60 / seconds);
        peerCpu.push_back(b.cpu * 60 / seconds);
        peer50Cpu.push_back(c.cpu * 60 / seconds);
        ratios.push_back(a.cpu / b.cpu);
        ratios50.push_back(a.cpu / c.cpu);
    }
    kill(keeper, SIGINT);
    waitpid(keeper, nullptr, 0);
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    std::printf("Capture through the sound server, %d s of 44100 Hz 16-bit stereo from a 440 Hz "
                "source, whole processes, median of %d (range), load %.2f %.2f %.2f\n",
                seconds, runs, load[0], load[1], load[2]);
    std::printf("  wave-in service (child, 50 ms fragments): %s ms CPU per audio minute\n",
                medianRange(ourCpu, 1000).c_str());
    std::printf("  parecord --raw (server's 2 s fragments):  %s ms CPU per audio minute\n",
                medianRange(peerCpu, 1000).c_str());
    std::printf("  parecord --raw --latency-msec=50:         %s ms CPU per audio minute\n",
                medianRange(peer50Cpu, 1000).c_str());
    std::printf(
        "  ratio to parecord --raw: %s; to parecord at 50 ms: %s (per pair; goal <= 1.2x)\n",
        medianRange(ratios, 1, "%.2f").c_str(), medianRange(ratios50, 1, "%.2f").c_str());
    return 0;
}
