#include "platform/audio/pulse/PulseBackend.h"
#include "platform/audio/pulse/PulseConnection.h"

#include "platform/audio/pulse/PulseLibrary.h"

const AudioBackendTable& pulseBackendTable() {
    static const AudioBackendTable table{AudioBackend::Pulse, "pulse", pulseWaveInBackend,
                                         pulseMixerBackend, createPulseOutput};
    return table;
}

std::string pulseDeviceName(const PulseState& state) {
    return state.serverName.empty() ? std::string("Sound server") : state.serverName;
}

bool pulseServerAnswers(int timeoutMs) {
    // A private loop on the caller's thread, so asking costs no thread and
    // leaves nothing behind. Never starts a server.
    // Without libpulse there is no server to talk to.
    std::string why;
    if (pulseApi(&why) == nullptr)
        return false;
    pa_mainloop* loop = libpulse().pa_mainloop_new();
    if (!loop)
        return false;
    pa_context* c = libpulse().pa_context_new(libpulse().pa_mainloop_get_api(loop), "Sonvale");
    bool ready = false;
    if (c && libpulse().pa_context_connect(c, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        const pa_usec_t end = libpulse().pa_rtclock_now() + pa_usec_t(timeoutMs) * 1000;
        for (;;) {
            const pa_context_state_t s = libpulse().pa_context_get_state(c);
            if (s == PA_CONTEXT_READY) {
                ready = true;
                break;
            }
            if (!PA_CONTEXT_IS_GOOD(s))
                break;
            const pa_usec_t now = libpulse().pa_rtclock_now();
            if (now >= end)
                break;
            libpulse().pa_mainloop_prepare(loop, int(end - now));
            libpulse().pa_mainloop_poll(loop);
            libpulse().pa_mainloop_dispatch(loop);
        }
        libpulse().pa_context_disconnect(c);
    }
    if (c)
        libpulse().pa_context_unref(c);
    libpulse().pa_mainloop_free(loop);
    return ready;
}
