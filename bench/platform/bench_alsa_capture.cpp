// ALSA capture through the file plugin (a raw infile, a null slave), 44100 Hz
// 16-bit stereo in 100 ms buffers, against `arecord -D <same pcm> -f cd` on
// the same input. Both are whole processes timed from exec to exit (wait4;
// ours is this program re-run as a child), both write what they capture to
// their standard output, piped here and compared with the input byte for
// byte. The first round warms the caches; the order rotates between
// rounds. Prints the medians of the CPU times with their range, the median
// of the per-round ratios and the load (goal: at most 1.1 against arecord as
// it runs by default).
//
// arecord by default reads 125 ms periods (a quarter of its 500 ms buffer);
// our capture layer reads 100 ms blocks into a 2 s ring, so it makes a
// quarter more reads, each a read of the input file and a write of the
// plugin's output file. A third side, arecord told to use our block and
// ring (--period-time=100000 --buffer-time=2000000), shows how much of the
// difference that choice makes.
//
// The file plugin over a null slave is not paced: it returns data as fast as
// it is asked. Both sides ask only as fast as they pass it on: arecord reads
// a period and writes it; our child records as the capture layer does, 20
// buffers of 100 ms queued on the wave-in service, each written out as it
// comes back and queued again on the device's capture thread (the capture
// layer's pass runs there while recording), and the device reads only into
// a queued buffer (ALSA keeps the rest meanwhile).
//
// usage: bench_alsa_capture [seconds, default 60] [repeats, default 5]
// Needs sox (for the music signal) and arecord.
#include "bench/common/BenchUtil.h"
#include "bench_capture.h"

#include "platform/audio/AudioBackend.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Compares a child's output with the input as it arrives.
struct SameAs {
    const std::vector<char>& music;
    size_t at = 0;
    bool same = true;
    void operator()(const char* d, size_t n) {
        same = same && at + n <= music.size() && std::memcmp(music.data() + at, d, n) == 0;
        at += n;
    }
};

// One side's run; false (with a message) when it failed or its output is
// not the input.
bool runChecked(const char* name, const std::vector<std::string>& argv,
                const std::vector<char>& music, PipedRun* run) {
    SameAs check{music};
    *run = runPiped(argv, music.size(), false, std::ref(check));
    if (!run->ok || run->bytes != music.size() || !check.same) {
        std::fprintf(stderr, "%s failed: %llu of %zu bytes, %s\n", name,
                     static_cast<unsigned long long>(run->bytes), music.size(),
                     check.same ? "same as the input" : "not the input");
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    WAVEFORMATEX f;
    FillPcmFormat(f, 44100, 16, 2);
    if (argc == 3 && std::string(argv[1]) == "--child") {
        // One capture of the given seconds; the parent has set up ALSA.
        const int seconds = std::atoi(argv[2]);
        setAudioBackend(AudioBackend::Alsa);
        bool written = true;
        const CaptureRun run = captureBuffers(
            WAVE_MAPPER, f, 17640, uint64_t(seconds) * 10,
            [&](const char* data, uint32_t n) { written = written && writeAll(1, data, n); }, 20,
            true);
        return run.ok && written && run.bytes == uint64_t(seconds) * 176400 ? 0 : 1;
    }
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    char tmpl[] = "/tmp/sonvale-bench-alsa-XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
    const std::string dir = tmpl;
    std::string wav, raw;
    if (!makeMusicRaw(seconds, dir, wav, raw)) {
        std::fprintf(stderr, "could not make the music signal (sox missing?)\n");
        return 1;
    }
    std::ofstream(dir + "/alsa.conf")
        << "pcm.sonvale_bench {\n type file\n slave.pcm { type null }\n"
        << " file \"/dev/null\"\n infile \"" << raw << "\"\n format \"raw\"\n}\n";
    setenv("ALSA_CONFIG_PATH", ("/usr/share/alsa/alsa.conf:" + dir + "/alsa.conf").c_str(), 1);
    setenv("SONVALE_ALSA_CAPTURE", "sonvale_bench", 1);

    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
        return 1;
    std::vector<char> music;
    {
        std::ifstream in(raw, std::ios::binary);
        music.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (music.size() != size_t(seconds) * 176400) {
        std::fprintf(stderr, "the music signal holds %zu bytes\n", music.size());
        return 1;
    }
    const std::vector<std::string> ourArgs = {self, "--child", std::to_string(seconds)};
    const std::vector<std::string> peerArgs = {
        "arecord", "-q",  "-D", "sonvale_bench",        "-f", "cd",
        "-t",      "raw", "-d", std::to_string(seconds)};
    std::vector<std::string> blockArgs = peerArgs;
    blockArgs.insert(blockArgs.end(), {"--period-time=100000", "--buffer-time=2000000"});
    const char* names[3] = {"wave-in service (child)", "arecord -f cd", "arecord, 100 ms periods"};
    const std::vector<std::string>* args[3] = {&ourArgs, &peerArgs, &blockArgs};
    double loadBefore[3] = {0, 0, 0};
    getloadavg(loadBefore, 3);
    // Per side: CPU and context switches; ratios of ours to each arecord.
    std::vector<double> cpu[3], switches[3], ratios[2];
    for (int r = 0; r <= repeats; ++r) {
        PipedRun runs[3];
        for (int i = 0; i < 3; ++i) {
            const int side = (r + i) % 3;
            if (!runChecked(names[side], *args[side], music, &runs[side])) {
                std::system(("rm -rf " + dir).c_str());
                return 1;
            }
        }
        if (r == 0)
            continue;
        for (int side = 0; side < 3; ++side) {
            cpu[side].push_back(runs[side].cpu);
            switches[side].push_back(runs[side].switches);
        }
        ratios[0].push_back(runs[0].cpu / runs[1].cpu);
        ratios[1].push_back(runs[0].cpu / runs[2].cpu);
    }
    std::system(("rm -rf " + dir).c_str());
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    std::printf("ALSA file-plugin capture, %d s of 44100 Hz 16-bit stereo, whole processes, "
                "median of %d (range), load %.2f before, %.2f %.2f %.2f after\n",
                seconds, repeats, loadBefore[0], load[0], load[1], load[2]);
    for (int side = 0; side < 3; ++side)
        std::printf("  %-26s cpu %s s, context switches %s\n",
                    (std::string(names[side]) + ':').c_str(),
                    medianRange(cpu[side], 1, "%.4f").c_str(),
                    medianRange(switches[side], 1, "%.0f").c_str());
    std::printf("  ratio to arecord: %s (per round; goal <= 1.1x)\n",
                medianRange(ratios[0], 1, "%.2f").c_str());
    std::printf("  ratio to arecord with our 100 ms blocks and 2 s ring: %s\n",
                medianRange(ratios[1], 1, "%.2f").c_str());
    return 0;
}
