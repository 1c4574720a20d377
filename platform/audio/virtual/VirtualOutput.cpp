// The virtual card's speakers: an output "plays" what was written at the
// format's byte rate times the card's speed, keeps it in the device's
// recordings and feeds it to the monitor the "Stereo Mix" source hears.
// Playing is computed lazily from the clock whenever anyone looks (write,
// drain, playedBytes, the capture thread's pump), under the card's mutex.
#include "platform/audio/virtual/VirtualBackend.h"
#include "platform/audio/virtual/VirtualCardImpl.h"

#include <algorithm>
#include <condition_variable>

namespace {

using Clock = std::chrono::steady_clock;

class VirtualOutput : public AudioOutput, public VirtualOutputImpl {
public:
    explicit VirtualOutput(int deviceId) : deviceId_(deviceId) {}
    ~VirtualOutput() override { close(); }

    MMRESULT open(const WAVEFORMATEX& format) override {
        if (MMRESULT r = checkPcmFormat(&format))
            return r;
        auto& card = VirtualCard::instance().impl();
        std::lock_guard lock(card.mutex);
        if (device_)
            return MMR_ALLOCATED;
        auto dev = card.device(deviceId_);
        if (!dev)
            return MMR_BADDEVICEID;
        device_ = dev;
        format_ = format;
        speed_ = card.speed;
        keepLimit_ = card.config.speakerKeepBytes;
        capacity_ = std::max<size_t>(format.nAvgBytesPerSec / 5 / format.nBlockAlign, 1) *
                    format.nBlockAlign;
        pending_.clear();
        head_ = 0;
        played_ = 0;
        paused_ = false;
        rebase(Clock::now());
        dev->recordings.push_back(KeptRecording{format, {}});
        recording_ = dev->recordings.size() - 1;
        dev->outputs.push_back(this);
        return MMR_NOERROR;
    }

    MMRESULT write(const void* data, uint32_t bytes) override {
        auto& card = VirtualCard::instance().impl();
        std::unique_lock lock(card.mutex);
        if (!device_)
            return MMR_INVALHANDLE;
        if (!data && bytes)
            return MMR_INVALPARAM;
        const uint8_t* p = static_cast<const uint8_t*>(data);
        if (speed_ <= 0 && !paused_ && pending_.size() == head_) {
            // Unpaced and nothing queued: it all plays now, straight from
            // the caller's buffer.
            play(p, bytes);
            return MMR_NOERROR;
        }
        while (bytes > 0) {
            advance(Clock::now());
            size_t queued = pending_.size() - head_;
            // While paused the caller could never free room: take it all.
            size_t room = paused_ ? bytes : (capacity_ > queued ? capacity_ - queued : 0);
            if (room > 0) {
                size_t n = std::min<size_t>(room, bytes);
                compact();
                pending_.insert(pending_.end(), p, p + n);
                p += n;
                bytes -= uint32_t(n);
                continue;
            }
            waitForPlaying(lock, queued - capacity_ / 2);
            if (!device_)
                return MMR_INVALHANDLE;
        }
        advance(Clock::now());
        return MMR_NOERROR;
    }

    MMRESULT pause() override {
        auto& card = VirtualCard::instance().impl();
        std::lock_guard lock(card.mutex);
        if (!device_)
            return MMR_INVALHANDLE;
        advance(Clock::now());
        paused_ = true;
        return MMR_NOERROR;
    }

    MMRESULT resume() override {
        auto& card = VirtualCard::instance().impl();
        std::lock_guard lock(card.mutex);
        if (!device_)
            return MMR_INVALHANDLE;
        if (paused_) {
            paused_ = false;
            rebase(Clock::now());
        }
        return MMR_NOERROR;
    }

    MMRESULT drain() override {
        auto& card = VirtualCard::instance().impl();
        std::unique_lock lock(card.mutex);
        if (!device_)
            return MMR_INVALHANDLE;
        for (;;) {
            advance(Clock::now());
            size_t queued = pending_.size() - head_;
            if (queued == 0)
                return MMR_NOERROR;
            if (paused_)
                return MMR_STILLPLAYING; // nothing would ever play
            waitForPlaying(lock, queued);
            if (!device_)
                return MMR_INVALHANDLE;
        }
    }

    MMRESULT stop() override {
        auto& card = VirtualCard::instance().impl();
        std::lock_guard lock(card.mutex);
        if (!device_)
            return MMR_INVALHANDLE;
        advance(Clock::now());
        pending_.clear();
        head_ = 0;
        played_ = 0;
        rebase(Clock::now());
        return MMR_NOERROR;
    }

    MMRESULT close() override {
        auto& card = VirtualCard::instance().impl();
        std::lock_guard lock(card.mutex);
        if (!device_)
            return MMR_NOERROR;
        advance(Clock::now());
        auto& outs = device_->outputs;
        outs.erase(std::remove(outs.begin(), outs.end(), this), outs.end());
        device_.reset();
        pending_.clear();
        head_ = 0;
        wake_.notify_all();
        return MMR_NOERROR;
    }

    uint64_t playedBytes() const override {
        auto& card = VirtualCard::instance().impl();
        std::lock_guard lock(card.mutex);
        const_cast<VirtualOutput*>(this)->advance(Clock::now());
        return played_;
    }

    // Plays what is due by `now` (card mutex held).
    void advance(Clock::time_point now) override {
        if (!device_ || paused_)
            return;
        size_t queued = pending_.size() - head_;
        if (queued == 0) {
            rebase(now); // an empty device does not bank time
            return;
        }
        size_t due = queued;
        if (speed_ > 0) {
            double elapsed = std::chrono::duration<double>(now - clockStart_).count();
            uint64_t target = playedAtStart_ + uint64_t(elapsed * format_.nAvgBytesPerSec * speed_);
            target -= target % format_.nBlockAlign;
            due = target > played_ ? std::min<uint64_t>(queued, target - played_) : 0;
        }
        if (due == 0)
            return;
        play(pending_.data() + head_, due);
        head_ += due;
        if (head_ == pending_.size()) {
            pending_.clear();
            head_ = 0;
            rebase(now);
        }
    }

private:
    // Hands `bytes` to the speakers: kept in the device's recording and
    // heard by the monitor (card mutex held).
    void play(const uint8_t* p, size_t bytes) {
        if (recording_ < device_->recordings.size()) {
            ChunkedBytes& kept = device_->recordings[recording_].bytes;
            if (kept.size() < keepLimit_)
                kept.append(p, size_t(std::min<uint64_t>(bytes, keepLimit_ - kept.size())));
        }
        VirtualCard::Impl::feedMonitor(*device_, format_, p, bytes);
        played_ += bytes;
    }

    void rebase(Clock::time_point now) {
        clockStart_ = now;
        playedAtStart_ = played_;
    }

    void compact() {
        if (head_ > 0 && head_ >= pending_.size() / 2) {
            pending_.erase(pending_.begin(), pending_.begin() + long(head_));
            head_ = 0;
        }
    }

    // Sleeps about as long as `bytes` take to play (card mutex held).
    void waitForPlaying(std::unique_lock<std::mutex>& lock, size_t bytes) {
        double seconds = speed_ > 0 ? double(bytes) / format_.nAvgBytesPerSec / speed_ : 0.0;
        seconds = std::clamp(seconds, 0.001, 0.05);
        wake_.wait_for(lock, std::chrono::duration<double>(seconds));
    }

    const int deviceId_;
    // Guarded by the card's mutex.
    std::shared_ptr<VirtualDeviceState> device_;
    WAVEFORMATEX format_{};
    double speed_ = 1.0;
    uint64_t keepLimit_ = UINT64_MAX; // bytes the recording keeps at most
    size_t capacity_ = 0;
    std::vector<uint8_t> pending_;
    size_t head_ = 0;
    uint64_t played_ = 0;
    bool paused_ = false;
    Clock::time_point clockStart_;
    uint64_t playedAtStart_ = 0;
    size_t recording_ = 0;
    std::condition_variable wake_;
};

} // namespace

std::unique_ptr<AudioOutput> createVirtualOutput(int deviceId) {
    return std::make_unique<VirtualOutput>(deviceId);
}
