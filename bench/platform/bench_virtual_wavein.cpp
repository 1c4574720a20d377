// Virtual card wave-in, unpaced: 44100 Hz 16-bit stereo in 100 ms buffers
// from the Microphone tone (and, second run, three sources summed without a
// MUX). Prints audio seconds captured per CPU second.
//
// usage: bench_virtual_wavein [audio seconds, default 600]
#include "bench_capture.h"

#include "platform/audio/AudioBackend.h"
#include "platform/audio/VirtualCard.h"

#include <cstdlib>

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 600.0;
    setAudioBackend(AudioBackend::Virtual);
    WAVEFORMATEX f;
    FillPcmFormat(f, 44100, 16, 2);
    const uint64_t buffers = uint64_t(seconds * 10);

    for (int variant = 0; variant < 2; ++variant) {
        VirtualCardConfig c;
        c.speed = 0;
        c.devices[0].hasMux = variant == 0;
        VirtualCard::instance().configure(c);
        if (variant == 1) {
            for (int s : {VS_MICROPHONE, VS_LINE_IN, VS_CD_AUDIO})
                VirtualCard::instance().setSourceSelected(0, s, true);
        }
        CaptureRun run = captureBuffers(0, f, 17640, buffers);
        if (!run.ok)
            return 1;
        const double audio = double(run.bytes) / f.nAvgBytesPerSec;
        std::printf("%-28s %8.1f s audio  cpu %7.3f s  wall %7.3f s  %9.1f audio s per cpu s\n",
                    variant == 0 ? "virtual wave-in, one tone" : "virtual wave-in, three tones",
                    audio, run.cpu, run.wall, audio / run.cpu);
    }
    return 0;
}
