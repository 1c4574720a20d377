// Audio output over the sound server: a playback stream to the default sink
// with 400 ms of buffer, asked for in 100 ms pieces (and so, without latency
// adjustment, played through 200 ms of sink latency). Written bytes gather
// in held_ until a piece is whole; then what the server has room for goes
// out in one write, and write waits (on the loop's condition, woken by the
// write and state callbacks) only while a whole piece is still held. So the
// loop thread wakes about twice per piece (the server's request, our write),
// not once per decoded frame, and the writer once per piece; flush (the
// writer has nothing more) and resume send what is held at once, and
// interruptWrite ends a write's wait, keeping what it held. write fails
// with MMR_ERROR after 5 s without room; pause corks the stream and keeps
// what is written meanwhile; drain sends what is held and lets the server
// play out all it holds; stop starts a fresh stream, so nothing queued
// survives it and the played count restarts at 0. The played count never
// goes back on a stream, and once the stream has run dry it runs on through
// the sink's latency, as the sink plays the last of it.
#include "platform/audio/pulse/PulseBackend.h"
#include "platform/audio/pulse/PulseConnection.h"

#include <sys/time.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr int kOpenTimeoutMs = 3000;
constexpr int kStuckMs = 5000;
constexpr uint32_t kBufferMs = 400;
constexpr uint32_t kPieceMs = 100;

class PulseOutput : public AudioOutput {
public:
    explicit PulseOutput(int deviceId) : deviceId_(deviceId) {}
    ~PulseOutput() override { close(); }

    MMRESULT open(const WAVEFORMATEX& format) override {
        if (MMRESULT r = checkPcmFormat(&format))
            return r;
        if (deviceId_ < -1 || deviceId_ > 0)
            return MMR_BADDEVICEID;
        if (stream_)
            return MMR_ALLOCATED;
        PulseConnection& pulse = PulseConnection::instance();
        if (!pulse.connect(kConnectMs))
            return MMR_NODRIVER;
        format_ = format;
        PulseConnection::Lock lock(pulse);
        return connectStream(pulse);
    }

    MMRESULT write(const void* data, uint32_t bytes) override {
        if (!stream_)
            return MMR_INVALHANDLE;
        if (!data && bytes)
            return MMR_INVALPARAM;
        const uint8_t* p = static_cast<const uint8_t*>(data);
        PulseConnection& pulse = PulseConnection::instance();
        PulseConnection::Lock lock(pulse);
        held_.insert(held_.end(), p, p + bytes);
        return paused_ ? MMR_NOERROR : sendHeld(pulse, false);
    }

    MMRESULT flush() override {
        if (!stream_)
            return MMR_INVALHANDLE;
        PulseConnection& pulse = PulseConnection::instance();
        PulseConnection::Lock lock(pulse);
        return paused_ ? MMR_NOERROR : sendHeld(pulse, true);
    }

    void interruptWrite() override {
        PulseConnection& pulse = PulseConnection::instance();
        PulseConnection::Lock lock(pulse);
        interrupted_ = true;
        pulse.signal();
    }

    MMRESULT pause() override {
        if (!stream_)
            return MMR_INVALHANDLE;
        PulseConnection& pulse = PulseConnection::instance();
        PulseConnection::Lock lock(pulse);
        if (!paused_)
            cork(pulse, true);
        paused_ = true;
        return MMR_NOERROR;
    }

    MMRESULT resume() override {
        if (!stream_)
            return MMR_INVALHANDLE;
        PulseConnection& pulse = PulseConnection::instance();
        PulseConnection::Lock lock(pulse);
        if (!paused_)
            return MMR_NOERROR;
        paused_ = false;
        cork(pulse, false);
        return sendHeld(pulse, true);
    }

    MMRESULT drain() override {
        if (!stream_)
            return MMR_INVALHANDLE;
        PulseConnection& pulse = PulseConnection::instance();
        PulseConnection::Lock lock(pulse);
        if (paused_)
            return held_.empty() && playedLocked() >= written_ ? MMR_NOERROR : MMR_STILLPLAYING;
        if (MMRESULT r = sendHeld(pulse, true))
            return r;
        if (failed())
            return MMR_ERROR;
        const uint64_t queued = written_ - std::min(written_, playedLocked());
        const int queuedMs = int(queued * 1000 / std::max<uint32_t>(format_.nAvgBytesPerSec, 1));
        int ok = 0;
        if (!pulse.finish(
                libpulse().pa_stream_drain(stream_, PulseConnection::streamSuccessCallback, &ok),
                queuedMs + kStuckMs) ||
            !ok)
            return MMR_ERROR;
        drainedAt_.store(written_);
        return MMR_NOERROR;
    }

    MMRESULT stop() override {
        if (!stream_)
            return MMR_INVALHANDLE;
        PulseConnection& pulse = PulseConnection::instance();
        PulseConnection::Lock lock(pulse);
        disconnectStream();
        return connectStream(pulse);
    }

    MMRESULT close() override {
        if (!stream_)
            return MMR_NOERROR;
        PulseConnection::Lock lock(PulseConnection::instance());
        disconnectStream();
        return MMR_NOERROR;
    }

    uint64_t playedBytes() const override {
        PulseConnection::Lock lock(PulseConnection::instance());
        return stream_ ? playedLocked() : played_.load();
    }

private:
    bool failed() const {
        const pa_stream_state_t s = libpulse().pa_stream_get_state(stream_);
        return s == PA_STREAM_FAILED || s == PA_STREAM_TERMINATED;
    }

    // Lock held: bytes the server has played, never more than written, and
    // never fewer than counted before on this stream (the stream's time
    // does not go back either).
    uint64_t playedLocked() const {
        pa_usec_t usec = 0;
        uint64_t played = played_.load();
        if (stream_ && !failed() && libpulse().pa_stream_get_time(stream_, &usec) == 0) {
            played = std::max({played, usToBytes(int64_t(usec)), playingOut()});
            played -= played % format_.nBlockAlign;
        }
        played = std::max(played, drainedAt_.load());
        played = std::min(played, written_);
        played_.store(played);
        return played;
    }

    uint64_t usToBytes(int64_t usec) const {
        return usec > 0 ? uint64_t(usec) * format_.nAvgBytesPerSec / 1000000 : 0;
    }

    // Lock held. Once the server has taken everything written and the stream
    // has run dry, its time stands still a sink latency short of the end,
    // though the sink plays that last part out: counted on here from the
    // moment of the server's last timing, so the end is seen when it is
    // heard (without it, only a drain would reach it).
    uint64_t playingOut() const {
        const pa_timing_info* t = libpulse().pa_stream_get_timing_info(stream_);
        if (paused_ || !t || t->read_index < int64_t(written_))
            return 0;
        timeval now{};
        gettimeofday(&now, nullptr);
        const int64_t since = (int64_t(now.tv_sec) - int64_t(t->timestamp.tv_sec)) * 1000000 +
                              (int64_t(now.tv_usec) - int64_t(t->timestamp.tv_usec));
        // Where the sink is, in µs past the last byte the server read.
        const int64_t past = std::max<int64_t>(since, 0) - int64_t(t->sink_usec);
        const uint64_t read = uint64_t(t->read_index);
        return past >= 0 ? read + usToBytes(past) : read - std::min(read, usToBytes(-past));
    }

    // Lock held.
    MMRESULT connectStream(PulseConnection& pulse) {
        pa_context* c = pulse.context();
        if (!c)
            return MMR_NODRIVER;
        pa_sample_spec ss;
        ss.format = format_.wBitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE;
        ss.rate = format_.nSamplesPerSec;
        ss.channels = uint8_t(format_.nChannels);
        pa_stream* s = libpulse().pa_stream_new(c, "Playback", &ss, nullptr);
        if (!s)
            return PulseConnection::result(libpulse().pa_context_errno(c));
        auto signalAll = [](pa_stream*, void*) { PulseConnection::instance().signal(); };
        libpulse().pa_stream_set_state_callback(s, signalAll, nullptr);
        libpulse().pa_stream_set_write_callback(
            s, [](pa_stream*, size_t, void*) { PulseConnection::instance().signal(); }, nullptr);
        pa_buffer_attr attr;
        std::memset(&attr, 0xFF, sizeof attr);
        attr.tlength = bytesFor(kBufferMs);
        attr.minreq = bytesFor(kPieceMs);
        const auto flags =
            pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
        if (libpulse().pa_stream_connect_playback(s, nullptr, &attr, flags, nullptr, nullptr) < 0) {
            const MMRESULT r = PulseConnection::result(libpulse().pa_context_errno(c));
            libpulse().pa_stream_unref(s);
            return r;
        }
        pulse.wait(
            [s] {
                const pa_stream_state_t st = libpulse().pa_stream_get_state(s);
                return st != PA_STREAM_CREATING && st != PA_STREAM_UNCONNECTED;
            },
            kOpenTimeoutMs);
        stream_ = s;
        if (libpulse().pa_stream_get_state(s) != PA_STREAM_READY) {
            const MMRESULT r = pulse.context()
                                   ? PulseConnection::result(libpulse().pa_context_errno(c))
                                   : MMR_NODRIVER;
            disconnectStream();
            return r == MMR_NOERROR ? MMR_ERROR : r;
        }
        // Pieces no larger than the server asks for, so that what is held
        // back never leaves it short.
        piece_ = bytesFor(kPieceMs);
        if (const pa_buffer_attr* granted = libpulse().pa_stream_get_buffer_attr(s))
            piece_ = std::min(piece_, std::max(granted->minreq, uint32_t(format_.nBlockAlign)));
        written_ = 0;
        played_.store(0);
        drainedAt_.store(0);
        paused_ = false;
        held_.clear();
        return MMR_NOERROR;
    }

    // Lock held.
    void disconnectStream() {
        libpulse().pa_stream_set_state_callback(stream_, nullptr, nullptr);
        libpulse().pa_stream_set_write_callback(stream_, nullptr, nullptr);
        libpulse().pa_stream_disconnect(stream_);
        libpulse().pa_stream_unref(stream_);
        stream_ = nullptr;
        held_.clear();
    }

    void cork(PulseConnection& pulse, bool on) {
        if (failed())
            return;
        int ok = 0;
        pulse.finish(libpulse().pa_stream_cork(stream_, on ? 1 : 0,
                                               PulseConnection::streamSuccessCallback, &ok),
                     kStuckMs);
    }

    uint32_t bytesFor(uint32_t ms) const {
        const auto bytes = uint32_t(usToBytes(int64_t(ms) * 1000));
        return std::max(bytes - bytes % format_.nBlockAlign, uint32_t(format_.nBlockAlign));
    }

    // Lock held. Sends the whole frames held, as far as the server has room;
    // waits for room while a whole piece is left, unless interrupted, or with
    // `all` (flush, resume, drain) until everything is sent.
    MMRESULT sendHeld(PulseConnection& pulse, bool all) {
        for (;;) {
            const size_t whole = held_.size() - held_.size() % format_.nBlockAlign;
            if (whole == 0 || (!all && whole < piece_))
                return MMR_NOERROR;
            if (failed())
                return MMR_ERROR;
            const size_t room = libpulse().pa_stream_writable_size(stream_);
            if (room == size_t(-1))
                return MMR_ERROR;
            if (room == 0) {
                if (!pulse.wait(
                        [this] {
                            return interrupted_ || failed() ||
                                   libpulse().pa_stream_writable_size(stream_) > 0;
                        },
                        kStuckMs))
                    return MMR_ERROR; // no room for seconds: the server is stuck
                if (std::exchange(interrupted_, false) && !all)
                    return MMR_NOERROR;
                continue;
            }
            size_t n = std::min(room, whole);
            n -= n % format_.nBlockAlign;
            if (n == 0)
                n = format_.nBlockAlign;
            if (libpulse().pa_stream_write(stream_, held_.data(), n, nullptr, 0, PA_SEEK_RELATIVE) <
                0)
                return MMR_ERROR;
            held_.erase(held_.begin(), held_.begin() + long(n));
            written_ += n;
        }
    }

    const int deviceId_;
    WAVEFORMATEX format_{};
    // Below: guarded by the loop's lock.
    pa_stream* stream_ = nullptr;
    uint64_t written_ = 0;
    bool paused_ = false;
    uint32_t piece_ = 0;       // bytes held back before a send
    bool interrupted_ = false; // a waiting write is to return
    // Written and not yet sent: less than a piece, all while paused, and a
    // frame's first bytes.
    std::vector<uint8_t> held_;
    mutable std::atomic<uint64_t> played_{0};
    std::atomic<uint64_t> drainedAt_{0};
};

} // namespace

std::unique_ptr<AudioOutput> createPulseOutput(int deviceId) {
    return std::make_unique<PulseOutput>(deviceId);
}
