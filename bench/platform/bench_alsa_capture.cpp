// ALSA capture through the file plugin (a raw infile, a null slave), 44100 Hz
// 16-bit stereo in 100 ms buffers, against `arecord -D <same pcm> -f cd` on
// the same input. Prints both CPU times and their ratio (goal: at most 1.2).
//
// usage: bench_alsa_capture [seconds, default 60] [repeats, default 3]
// Needs sox (for the music signal) and arecord.
#include "bench/common/BenchUtil.h"
#include "bench_capture.h"

#include "platform/audio/AudioBackend.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 3;
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
    setAudioBackend(AudioBackend::Alsa);

    WAVEFORMATEX f;
    FillPcmFormat(f, 44100, 16, 2);
    double best = 1e9, bestPeer = 1e9;
    for (int r = 0; r < repeats; ++r) {
        CaptureRun run = captureBuffers(WAVE_MAPPER, f, 17640, uint64_t(seconds) * 10);
        if (!run.ok || run.bytes != uint64_t(seconds) * 176400)
            return 1;
        best = std::min(best, run.cpu);

        const PeerRun peer = runShell("arecord -q -D sonvale_bench -f cd -t raw -d " +
                                      std::to_string(seconds) + " /dev/null");
        if (!peer.ok) {
            std::fprintf(stderr, "arecord failed\n");
            return 1;
        }
        bestPeer = std::min(bestPeer, peer.cpu);
    }
    std::system(("rm -rf " + dir).c_str());
    std::printf("ALSA file-plugin capture, %d s of 44100 Hz 16-bit stereo (best of %d)\n", seconds,
                repeats);
    std::printf("  wave-in service: cpu %.4f s\n  arecord -f cd:   cpu %.4f s\n  ratio: %.2fx "
                "(goal <= 1.2x)\n",
                best, bestPeer, best / bestPeer);
    return 0;
}
