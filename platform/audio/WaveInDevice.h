// An open wave-in device: the buffer queue and the capture thread shared by
// every backend. A backend supplies only a CaptureSource that produces bytes
// of the open format.
//
// The capture thread is a small state machine (stopped / running / closing)
// woken by commands: start and stop are applied by the thread itself, so the
// source is touched by that thread only (ALSA handles are not thread-safe);
// the caller waits until the thread has acknowledged the command. Queue and
// header fields are guarded by `mutex_`.
//
// Threads: the public functions are called by the handle's owner (any one
// thread at a time); the capture thread is private.
#pragma once

#include "platform/audio/RingQueue.h"
#include "platform/audio/WaveIn.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Produces captured bytes for one open device. Every call except wake() comes
// from the capture thread.
class CaptureSource {
public:
    virtual ~CaptureSource() = default;
    // Begins producing (after open or after a stop).
    virtual MMRESULT start() = 0;
    // Stops producing; bytes not yet read are discarded.
    virtual void stop() = 0;
    // Reads up to maxBytes (a multiple of the block size), waiting until some
    // bytes are there or wake() is called. Returns the bytes read (0 when
    // woken or nothing came yet), or a negative value on a fatal error.
    virtual long read(void* buffer, uint32_t maxBytes) = 0;
    // Any thread: makes a waiting read() return soon.
    virtual void wake() = 0;
    // True when sound not read yet stays with the source until it is read:
    // an ALSA ring buffer, the sound server's client buffer (when one fills,
    // the source counts an overrun at the next read), or a source that
    // produces on demand. The thread then reads only into a queued header
    // and, while none is queued, waits without reading. False for a source
    // that produces at its own pace and keeps nothing (the paced virtual
    // card): the thread keeps reading it and drops, counted, what comes
    // while no header is queued.
    virtual bool keepsUnread() const = 0;
    // Capture overruns recovered so far (capture thread).
    virtual uint32_t overruns() const { return 0; }
    // True when a read of `bytes` would return them at once, without waiting
    // (a backlog, or a source faster than real time). The device then holds
    // back the completion signal for a few headers.
    virtual bool readyNow(uint32_t bytes) {
        (void)bytes;
        return false;
    }
};

class WaveInDevice {
public:
    WaveInDevice(std::unique_ptr<CaptureSource> source, const WAVEFORMATEX& format,
                 WaveInSignal signal, uint32_t readBytes);
    ~WaveInDevice(); // stops and joins the capture thread

    // Starts the capture thread and signals the open.
    void begin();

    MMRESULT prepare(WAVEHDR* header);
    MMRESULT unprepare(WAVEHDR* header);
    MMRESULT add(WAVEHDR* header);
    MMRESULT start();
    MMRESULT stop();
    MMRESULT reset();
    // MMR_STILLPLAYING while headers are queued; else ends the thread and
    // signals the close. The object is then ready to be destroyed.
    MMRESULT finish();
    WaveInStats stats();

private:
    enum class Command { None, Start, Stop, Close };

    void run();
    // Signals the completed headers not signalled yet, unless (and `now` is
    // false) the source already has the next header's bytes and fewer
    // headers wait for the owner than are still queued (or fewer than
    // kSignalEvery). True when it signalled (capture thread; mutex_ held via
    // `lock`, released meanwhile).
    bool signalCompletions(std::unique_lock<std::mutex>& lock, bool now);
    MMRESULT command(Command c);
    // Marks the front header done (mutex_ held).
    void completeFront();
    void signal();

    std::unique_ptr<CaptureSource> source_;
    WAVEFORMATEX format_;
    WaveInSignal signal_;
    // Where sound goes while no header is queued (sources that keep nothing
    // only; capture thread only).
    std::vector<uint8_t> staging_;
    // Headers completed by the capture thread and not signalled yet: a burst
    // of headers filled back to back wakes the owner once half of them are
    // done (so it works through that half while the device fills the rest),
    // at least kSignalEvery at a time, instead of once per header (capture
    // thread only).
    static constexpr uint32_t kSignalEvery = 4;
    uint32_t unsignalled_ = 0;

    std::mutex mutex_;
    std::condition_variable cv_;
    RingQueue<WAVEHDR*> queue_;       // guarded by mutex_
    Command pending_ = Command::None; // guarded by mutex_
    MMRESULT commandResult_ = MMR_NOERROR;
    bool running_ = false; // guarded by mutex_ (written by the thread)
    bool closed_ = false;  // guarded by mutex_
    WaveInStats stats_;    // guarded by mutex_
    std::thread thread_;
};
