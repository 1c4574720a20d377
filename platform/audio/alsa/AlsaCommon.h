// Shared pieces of the ALSA backend (private to platform/audio): the one
// place where ALSA error numbers become result codes, device enumeration,
// hardware parameter setup and a wake-up descriptor for poll loops.
//
// Threads: the functions are free of shared state; a snd_pcm_t is used by one
// thread at a time (its owner's).
#pragma once

#include "platform/mmsystem.h"

#include <alsa/asoundlib.h>

#include <string>
#include <vector>

// Silences the library's own error printing (failures are reported by result
// codes only). Called by every entry into ALSA; idempotent.
void alsaInit();

// Maps a negative ALSA/errno value to a result code.
MMRESULT alsaResult(int err);

struct AlsaPcmDevice {
    std::string pcmName;     // "plughw:<card>,<device>", or "default"
    std::string displayName; // "<card name>: <device name>", whole
    int card = -1;           // -1 for "default"
};

// The PCM devices of every card that offer the stream direction, in card and
// device order. Without any card, ALSA's "default" PCM counts as the one
// device when it opens (a sound-server plugin, say); the answer for that case
// is kept for two seconds, since opening it may mean asking a server. Empty
// when there is neither.
std::vector<AlsaPcmDevice> alsaPcmDevices(snd_pcm_stream_t stream);

// The PCM name for device id -1 (the environment's SONVALE_ALSA_CAPTURE or
// SONVALE_ALSA_PLAYBACK, else "default") or for ids 0..n-1. Empty for an
// unknown id.
std::string alsaPcmName(snd_pcm_stream_t stream, int deviceId);

// Opens a PCM in non-blocking mode and sets interleaved access, the PCM
// format (resampling allowed), a period near periodUs and a buffer near
// bufferUs. On success *pcm is open and prepared.
MMRESULT alsaOpenPcm(const std::string& name, snd_pcm_stream_t stream, const WAVEFORMATEX& format,
                     unsigned periodUs, unsigned bufferUs, snd_pcm_t** pcm,
                     snd_pcm_uframes_t* bufferFrames = nullptr);

// An eventfd that makes a poll() return: signal() from any thread, consume()
// on the polling thread.
class WakeFd {
public:
    WakeFd();
    ~WakeFd();
    WakeFd(const WakeFd&) = delete;
    WakeFd& operator=(const WakeFd&) = delete;
    int fd() const { return fd_; }
    void signal();
    bool consume(); // true when it had been signalled
private:
    int fd_;
};

// Waits until the PCM is ready or the wake descriptor fires, at most
// timeoutMs. Returns 1 ready, 0 time-out, 2 woken, negative on error.
int alsaWait(snd_pcm_t* pcm, WakeFd* wake, int timeoutMs);
