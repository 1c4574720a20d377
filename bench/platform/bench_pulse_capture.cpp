// Capture through the sound server: the wave-in service recording the
// server's default source (a sine source of a private server this program
// starts), 44100 Hz 16-bit stereo in 100 ms buffers, against
// `parecord --raw` from the same source in the same format. Runs are
// interleaved; prints the medians, the spread and the load (goal: the
// service's CPU at most 1.2x parecord's).
//
// usage: bench_pulse_capture [seconds per run, default 10] [runs, default 5]
// Needs pulseaudio and pulseaudio-utils (parecord).
#include "bench/common/BenchUtil.h"
#include "bench_capture.h"

#include "audio/pulse/PulseServer.h"
#include "platform/audio/AudioBackend.h"

#include <algorithm>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    PulseServer server;
    std::string why;
    if (!server.start(&why)) {
        std::fprintf(stderr, "no sound server: %s\n", why.c_str());
        return 1;
    }
    setAudioBackend(AudioBackend::Pulse);
    WAVEFORMATEX f;
    FillPcmFormat(f, 44100, 16, 2);
    // Connected before anything is measured, as parecord's start-up is not
    // the point either.
    if (waveInGetNumDevs() != 1)
        return 1;

    std::vector<double> ours, peer;
    double load[3] = {0, 0, 0};
    for (int r = 0; r < runs; ++r) {
        CaptureRun run = captureBuffers(WAVE_MAPPER, f, 17640, uint64_t(seconds) * 10);
        if (!run.ok)
            return 1;
        ours.push_back(run.cpu * 60 / seconds);
        const PeerRun p = runShell("timeout -s INT " + std::to_string(seconds) +
                                   " parecord --raw --rate=44100 --channels=2 --format=s16le "
                                   "-d mic_a /dev/null; true");
        if (!p.ok) {
            std::fprintf(stderr, "parecord failed\n");
            return 1;
        }
        peer.push_back(p.cpu * 60 / seconds);
    }
    getloadavg(load, 3);
    auto spread = [](const std::vector<double>& v) {
        return *std::max_element(v.begin(), v.end()) - *std::min_element(v.begin(), v.end());
    };
    const double a = median(ours), b = median(peer);
    std::printf("Capture through the sound server, %d runs of %d s, 44100 Hz 16-bit stereo\n", runs,
                seconds);
    std::printf("  wave-in service: %.1f ms CPU per minute of audio (median; spread %.1f ms)\n",
                a * 1000, spread(ours) * 1000);
    std::printf("  parecord --raw:  %.1f ms CPU per minute of audio (median; spread %.1f ms)\n",
                b * 1000, spread(peer) * 1000);
    std::printf("  ratio: %.2fx (goal <= 1.2x); load average %.2f %.2f %.2f\n", a / b, load[0],
                load[1], load[2]);
    return 0;
}
