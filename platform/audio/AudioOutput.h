// Audio output service: plays PCM through the selected backend (ALSA or the
// virtual card's speakers). Used by the media player service and by the
// mp3play library.
//
// One object plays one stream at a time. All calls come from one thread at a
// time (the player's own thread); `playedBytes` may be called from any thread.
#pragma once

#include "platform/mmsystem.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>

class AudioOutput {
public:
    virtual ~AudioOutput() = default;

    // Opens the device for a PCM format (8/16 bit, 1/2 channels, any rate).
    // MMR_BADDEVICEID, MMR_BADFORMAT, MMR_ALLOCATED or MMR_ERROR on failure.
    virtual MMRESULT open(const WAVEFORMATEX& format) = 0;
    // Queues bytes for playing; blocks while the device buffer (a few hundred
    // ms) is full (the device paces the caller). An output may hold a short
    // tail back to send it with what comes next (flush sends it). While
    // paused it takes everything without blocking; it is played after
    // resume. MMR_INVALHANDLE when not open; MMR_ERROR when the device made
    // no progress for seconds.
    virtual MMRESULT write(const void* data, uint32_t bytes) = 0;
    // Hands whatever write held back to the device, without waiting for it
    // to be played: the writer calls it when it has nothing more to write.
    virtual MMRESULT flush() { return MMR_NOERROR; }
    // Any thread: a write waiting for room returns now (MMR_NOERROR), keeping
    // what it had not handed over for the next write, flush, resume or drain
    // (stop and close drop it), so that the writing thread can take a
    // command at once. Outputs whose writes wait no longer than a period
    // ignore it.
    virtual void interruptWrite() {}
    // Pause holds the played position; resume continues from it.
    virtual MMRESULT pause() = 0;
    virtual MMRESULT resume() = 0;
    // Waits until everything written has been played. While paused it
    // returns MMR_STILLPLAYING at once (nothing would ever finish).
    virtual MMRESULT drain() = 0;
    // Drops whatever is queued and not yet played.
    virtual MMRESULT stop() = 0;
    // Closes the device, dropping what was not played; closing a closed
    // output succeeds. The object may be opened again.
    virtual MMRESULT close() = 0;
    // Bytes actually played since open (or since the last stop).
    virtual uint64_t playedBytes() const = 0;
};

// How long a player thread whose input has ended may sleep before it looks
// again whether the output has played everything: about the time the
// `pending` bytes still take at `bytesPerSecond`, at least 10 ms and at most
// 250 ms (commands wake the thread earlier).
inline std::chrono::milliseconds drainWait(uint64_t pending, uint32_t bytesPerSecond) {
    const uint64_t ms = bytesPerSecond ? pending * 1000 / bytesPerSecond : 0;
    return std::chrono::milliseconds(std::clamp<uint64_t>(ms, 10, 250));
}

// Creates an output on the current backend (SONVALE_AUDIO or the test's
// choice). Device id -1 is the default device.
std::unique_ptr<AudioOutput> createAudioOutput(int deviceId = -1);
