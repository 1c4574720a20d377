// Wave-in over the sound server: one capture device recording the server's
// default source (the mixer's multiplexer chooses it). Open connects a corked
// stream, so a bad format or a missing server fails the open; start replaces
// it with a running one and stop disconnects it, so nothing recorded before
// a stop is read after it. The capture thread copies straight from the
// server's memory blocks into the caller's header. It sleeps on the loop's
// condition until a whole header's worth is there (the read callback checks
// the amount, so a header costs the thread one wake, however the server cuts
// it up), the stream fails, or wake() is called. The stream is not moved by
// the server: when its source goes away, or the server does, the read fails
// and capture ends as a lost ALSA device ends it.
#include "platform/audio/pulse/PulseBackend.h"
#include "platform/audio/pulse/PulseConnection.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int kOpenTimeoutMs = 3000;
// The server's fragment: the size of the capture layer's buffers, so one
// fragment fills one header.
constexpr uint32_t kFragmentMs = 100;

pa_sample_spec sampleSpec(const WAVEFORMATEX& f) {
    pa_sample_spec ss;
    ss.format = f.wBitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE;
    ss.rate = f.nSamplesPerSec;
    ss.channels = uint8_t(f.nChannels);
    return ss;
}

uint32_t fragmentBytes(const WAVEFORMATEX& f) {
    const uint32_t fragment =
        std::max<uint32_t>(f.nAvgBytesPerSec * kFragmentMs / 1000, f.nBlockAlign);
    return fragment - fragment % f.nBlockAlign;
}

// Lock held.
void disconnect(pa_stream* s) {
    libpulse().pa_stream_set_state_callback(s, nullptr, nullptr);
    libpulse().pa_stream_set_read_callback(s, nullptr, nullptr);
    libpulse().pa_stream_disconnect(s);
    libpulse().pa_stream_unref(s);
}

// Lock held: connects a record stream from the default source and waits
// until it runs. The stream is never moved to another source: when its
// source goes away, it fails. `onRead` (loop thread) hears arriving data;
// null wakes every waiter.
MMRESULT connectRecord(PulseConnection& pulse, const WAVEFORMATEX& format, bool corked,
                       pa_stream_request_cb_t onRead, void* reader, pa_stream** out) {
    pa_context* c = pulse.context();
    if (!c)
        return MMR_NODRIVER;
    const pa_sample_spec ss = sampleSpec(format);
    pa_stream* s = libpulse().pa_stream_new(c, "Recording", &ss, nullptr);
    if (!s)
        return PulseConnection::result(libpulse().pa_context_errno(c));
    libpulse().pa_stream_set_state_callback(
        s, [](pa_stream*, void*) { PulseConnection::instance().signal(); }, nullptr);
    if (!onRead)
        onRead = [](pa_stream*, size_t, void*) { PulseConnection::instance().signal(); };
    libpulse().pa_stream_set_read_callback(s, onRead, reader);
    pa_buffer_attr attr;
    std::memset(&attr, 0xFF, sizeof attr); // server defaults for what is not set
    attr.fragsize = fragmentBytes(format);
    // The client's buffer is the largest the server allows (4 MiB): a source
    // with a fixed latency hands over that much at once (two seconds for
    // some), and a buffer of just that size would drop the end of every
    // such piece.
    attr.maxlength = uint32_t(-1);
    const auto flags = pa_stream_flags_t(PA_STREAM_DONT_MOVE | PA_STREAM_ADJUST_LATENCY |
                                         (corked ? PA_STREAM_START_CORKED : PA_STREAM_NOFLAGS));
    if (libpulse().pa_stream_connect_record(s, nullptr, &attr, flags) < 0) {
        const MMRESULT r = PulseConnection::result(libpulse().pa_context_errno(c));
        libpulse().pa_stream_unref(s);
        return r;
    }
    pulse.wait(
        [s] {
            const pa_stream_state_t st = libpulse().pa_stream_get_state(s);
            return st == PA_STREAM_READY || !PA_STREAM_IS_GOOD(st);
        },
        kOpenTimeoutMs);
    if (libpulse().pa_stream_get_state(s) != PA_STREAM_READY) {
        const MMRESULT r = pulse.context() ? PulseConnection::result(libpulse().pa_context_errno(c))
                                           : MMR_NODRIVER;
        disconnect(s);
        return r == MMR_NOERROR ? MMR_ERROR : r;
    }
    *out = s;
    return MMR_NOERROR;
}

class PulseCaptureSource : public CaptureSource {
public:
    PulseCaptureSource(pa_stream* stream, const WAVEFORMATEX& format)
        : stream_(stream), format_(format) {}

    ~PulseCaptureSource() override {
        PulseConnection::Lock lock(PulseConnection::instance());
        drop();
    }

    MMRESULT start() override {
        PulseConnection& pulse = PulseConnection::instance();
        PulseConnection::Lock lock(pulse);
        drop();
        const MMRESULT r = connectRecord(pulse, format_, false, onRead, this, &stream_);
        if (r == MMR_NOERROR) {
            const pa_buffer_attr* attr = libpulse().pa_stream_get_buffer_attr(stream_);
            maxLength_ = attr ? attr->maxlength : 0;
        }
        return r;
    }

    void stop() override {
        PulseConnection::Lock lock(PulseConnection::instance());
        drop();
    }

    // Waits until maxBytes are there (one wake per header), then copies
    // them. Woken early (a command), it returns what has come so far, so a
    // stop keeps everything the server delivered.
    long read(void* buffer, uint32_t maxBytes) override {
        const uint32_t block = format_.nBlockAlign;
        maxBytes -= maxBytes % block;
        if (maxBytes == 0)
            return 0;
        PulseConnection& pulse = PulseConnection::instance();
        PulseConnection::Lock lock(pulse);
        // A header larger than half the client buffer is filled in parts, so
        // the buffer never fills while the thread waits.
        const size_t need =
            std::min<size_t>(maxBytes, maxLength_ ? maxLength_ / 2 : fragmentBytes(format_));
        for (;;) {
            if (failed())
                return -1;
            if (woken_) {
                woken_ = false;
                break;
            }
            if (ready() >= need)
                break;
            want_ = need - carried();
            libpulse().pa_threaded_mainloop_wait(loop());
            want_ = 0;
        }
        auto* out = static_cast<uint8_t*>(buffer);
        // What an earlier read left over comes first.
        uint32_t got = uint32_t(std::min<size_t>(carried(), maxBytes));
        if (got > 0) { // an empty carry has no storage to copy from
            std::memcpy(out, carry_.data() + carryOffset_, got);
            carryOffset_ += got;
        }
        // Then whole fragments. A fragment is never kept across reads: the
        // library waits for every fragment to be let go when the server goes
        // away, holding the loop's lock, so the rest of one is carried here.
        while (got < maxBytes && readable() > 0) {
            countOverrun();
            const void* data = nullptr;
            size_t n = 0;
            if (libpulse().pa_stream_peek(stream_, &data, &n) < 0 || n == 0)
                break;
            n -= n % block;
            const size_t take = std::min<size_t>(n, maxBytes - got);
            // A hole in the stream reads as silence of its length.
            const uint8_t silence = format_.wBitsPerSample == 8 ? 0x80 : 0;
            if (data)
                std::memcpy(out + got, data, take);
            else
                std::memset(out + got, silence, take);
            if (take < n) {
                carry_.resize(n - take);
                if (data)
                    std::memcpy(carry_.data(), static_cast<const uint8_t*>(data) + take, n - take);
                else
                    std::memset(carry_.data(), silence, n - take);
                carryOffset_ = 0;
            }
            got += uint32_t(take);
            libpulse().pa_stream_drop(stream_);
        }
        return long(got);
    }

    void wake() override {
        PulseConnection& pulse = PulseConnection::instance();
        PulseConnection::Lock lock(pulse);
        woken_ = true;
        pulse.signal();
    }

    bool keepsUnread() const override { return true; }

    bool readyNow(uint32_t bytes) override {
        PulseConnection::Lock lock(PulseConnection::instance());
        return !failed() && ready() >= bytes;
    }

    uint32_t overruns() const override { return overruns_; }

private:
    static pa_threaded_mainloop* loop() { return PulseConnection::instance().loop(); }

    // Loop thread: wakes the capture thread once the header it waits for
    // can be filled (not for every fragment).
    static void onRead(pa_stream* s, size_t, void* self) {
        const auto* me = static_cast<const PulseCaptureSource*>(self);
        const size_t n = libpulse().pa_stream_readable_size(s);
        if (me->want_ == 0 || (n != size_t(-1) && n >= me->want_))
            PulseConnection::instance().signal();
    }

    // Lock held: no stream (stopped), or one the server ended.
    bool failed() const {
        return !stream_ || !PA_STREAM_IS_GOOD(libpulse().pa_stream_get_state(stream_));
    }

    // Lock held: bytes the server has delivered and not yet read.
    size_t readable() const {
        const size_t n = libpulse().pa_stream_readable_size(stream_);
        return n == size_t(-1) ? 0 : n;
    }
    size_t ready() const { return readable() + carried(); }

    // Lock held: the client's buffer found (nearly) full means the server
    // dropped sound for want of room, as an overrun: counted once per time
    // it fills.
    void countOverrun() {
        if (maxLength_ == 0)
            return;
        const size_t n = readable();
        if (!full_ && n + fragmentBytes(format_) > maxLength_) {
            full_ = true;
            ++overruns_;
        } else if (full_ && n < maxLength_ / 2) {
            full_ = false;
        }
    }

    // Lock held: lets go of the stream and whatever it still held.
    void drop() {
        carry_.clear();
        carryOffset_ = 0;
        full_ = false;
        if (!stream_)
            return;
        disconnect(stream_);
        stream_ = nullptr;
    }

    size_t carried() const { return carry_.size() - carryOffset_; }

    pa_stream* stream_; // lock held; null while stopped
    WAVEFORMATEX format_;
    // The rest of a fragment larger than the caller's buffer (capture thread).
    std::vector<uint8_t> carry_;
    size_t carryOffset_ = 0;
    bool woken_ = false;     // lock held
    size_t want_ = 0;        // lock held: bytes the waiting read needs; 0 when none waits
    uint32_t maxLength_ = 0; // lock held: the client buffer the server granted
    bool full_ = false;      // capture thread: the buffer was last seen full
    uint32_t overruns_ = 0;  // capture thread
};

class PulseWaveInBackend : public WaveInBackend {
public:
    uint32_t count() override { return PulseConnection::instance().connect(kConnectMs) ? 1 : 0; }

    MMRESULT caps(int deviceId, WAVEINCAPS* caps, std::string* wholeName) override {
        (void)deviceId;
        auto state = PulseConnection::instance().state();
        *wholeName = pulseDeviceName(*state);
        caps->wMid = 0xFF;
        caps->wPid = 0x10;
        caps->vDriverVersion = PA_PROTOCOL_VERSION;
        caps->dwFormats = 0xFFF; // the server converts every standard format
        caps->wChannels = 2;
        return MMR_NOERROR;
    }

    MMRESULT open(int deviceId, const WAVEFORMATEX& format, bool query,
                  std::unique_ptr<CaptureSource>* source, uint32_t* readBytes) override {
        (void)deviceId; // -1 and 0 both record the default source
        PulseConnection& pulse = PulseConnection::instance();
        if (!pulse.connect(kConnectMs))
            return MMR_NODRIVER;
        const pa_sample_spec ss = sampleSpec(format);
        if (!libpulse().pa_sample_spec_valid(&ss))
            return MMR_BADFORMAT;
        if (query)
            return MMR_NOERROR;
        PulseConnection::Lock lock(pulse);
        pa_stream* s = nullptr;
        if (MMRESULT r = connectRecord(pulse, format, true, nullptr, nullptr, &s))
            return r;
        *source = std::make_unique<PulseCaptureSource>(s, format);
        *readBytes = fragmentBytes(format);
        return MMR_NOERROR;
    }
};

} // namespace

WaveInBackend& pulseWaveInBackend() {
    static PulseWaveInBackend backend;
    return backend;
}
