#include "platform/audio/pulse/PulseBackend.h"
#include "platform/audio/pulse/PulseConnection.h"

#include <pulse/pulseaudio.h>

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
    pa_mainloop* loop = pa_mainloop_new();
    if (!loop)
        return false;
    pa_context* c = pa_context_new(pa_mainloop_get_api(loop), "Sonvale");
    bool ready = false;
    if (c && pa_context_connect(c, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        const pa_usec_t end = pa_rtclock_now() + pa_usec_t(timeoutMs) * 1000;
        for (;;) {
            const pa_context_state_t s = pa_context_get_state(c);
            if (s == PA_CONTEXT_READY) {
                ready = true;
                break;
            }
            if (!PA_CONTEXT_IS_GOOD(s))
                break;
            const pa_usec_t now = pa_rtclock_now();
            if (now >= end)
                break;
            pa_mainloop_prepare(loop, int(end - now));
            pa_mainloop_poll(loop);
            pa_mainloop_dispatch(loop);
        }
        pa_context_disconnect(c);
    }
    if (c)
        pa_context_unref(c);
    pa_mainloop_free(loop);
    return ready;
}
