// ALSA capture through the file plugin (a raw infile, a null slave), 44100 Hz
// 16-bit stereo in 100 ms buffers, against `arecord -D <same pcm> -f cd` on
// the same input. Both are whole processes timed from start to exit (ours is
// this program re-run as a child); the first pair warms the caches. Prints
// the medians of both CPU times with their range, the median of the per-run
// ratios and the load (goal: at most 1.1).
//
// usage: bench_alsa_capture [seconds, default 60] [repeats, default 5]
// Needs sox (for the music signal) and arecord.
#include "bench/common/BenchUtil.h"
#include "bench_capture.h"

#include "platform/audio/AudioBackend.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void printRange(const char* name, const std::vector<double>& v) {
    std::printf("  %-18s cpu %.4f s (%.4f..%.4f)\n", name, median(v),
                *std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end()));
}

} // namespace

int main(int argc, char** argv) {
    WAVEFORMATEX f;
    FillPcmFormat(f, 44100, 16, 2);
    if (argc == 3 && std::string(argv[1]) == "--child") {
        // One capture of the given seconds; the parent has set up ALSA.
        const int seconds = std::atoi(argv[2]);
        setAudioBackend(AudioBackend::Alsa);
        CaptureRun run = captureBuffers(WAVE_MAPPER, f, 17640, uint64_t(seconds) * 10);
        return run.ok && run.bytes == uint64_t(seconds) * 176400 ? 0 : 1;
    }
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    char tmpl[] = "/tmp/sonvale-bench-alsa-XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
    const std::string dir = tmpl;
    const std::string wav = dir + "/music.wav", raw = dir + "/music.raw";
    if (!makeMusicWav(seconds, wav) ||
        std::system(("sox " + wav + " -t raw " + raw).c_str()) != 0) {
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
    const std::string peerOut = dir + "/arecord.raw";
    std::vector<double> ours, peers, ratios;
    for (int r = 0; r <= repeats; ++r) {
        const PeerRun run = runProgram({self, "--child", std::to_string(seconds)});
        if (!run.ok) {
            std::fprintf(stderr, "our capture failed\n");
            return 1;
        }
        const PeerRun peer = runShell("arecord -q -D sonvale_bench -f cd -t raw -d " +
                                      std::to_string(seconds) + " " + peerOut);
        if (!peer.ok) {
            std::fprintf(stderr, "arecord failed\n");
            return 1;
        }
        // arecord must have captured the whole input, as ours did.
        std::ifstream got(peerOut, std::ios::binary | std::ios::ate);
        if (long(got.tellg()) != long(seconds) * 176400) {
            std::fprintf(stderr, "arecord captured %ld bytes\n", long(got.tellg()));
            return 1;
        }
        if (r == 0)
            continue;
        ours.push_back(run.cpu);
        peers.push_back(peer.cpu);
        ratios.push_back(run.cpu / peer.cpu);
    }
    std::system(("rm -rf " + dir).c_str());
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    std::printf("ALSA file-plugin capture, %d s of 44100 Hz 16-bit stereo, whole processes, "
                "median of %d (range), load %.2f\n",
                seconds, repeats, load[0]);
    printRange("wave-in service:", ours);
    printRange("arecord -f cd:", peers);
    std::printf("  ratio: %.2fx (per run %.2f..%.2f; goal <= 1.1x)\n", median(ratios),
                *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()));
    return 0;
}
