// Audio output over ALSA: a snd_pcm playback stream written in non-blocking
// mode, waiting in poll() with a bounded time so a stuck device fails the
// call instead of hanging it. Pause uses the device's pause when it has one;
// otherwise the device plays out what it holds and then waits (nothing is
// dropped). Bytes written while paused are kept and written on resume.
#include "platform/audio/alsa/AlsaBackend.h"
#include "platform/audio/alsa/AlsaCommon.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

namespace {

constexpr unsigned kPeriodUs = 25000;  // 25 ms
constexpr unsigned kBufferUs = 200000; // 200 ms
constexpr int kWaitMs = 200;
constexpr int kMaxIdleWaits = 25; // 5 s without progress: the device is stuck

class AlsaOutput : public AudioOutput {
public:
    explicit AlsaOutput(int deviceId) : deviceId_(deviceId) {}
    ~AlsaOutput() override { close(); }

    MMRESULT open(const WAVEFORMATEX& format) override {
        if (MMRESULT r = checkPcmFormat(&format))
            return r;
        if (pcm_)
            return MMR_ALLOCATED;
        std::string name = alsaPcmName(SND_PCM_STREAM_PLAYBACK, deviceId_);
        if (name.empty())
            return MMR_BADDEVICEID;
        snd_pcm_uframes_t buffer = 0;
        if (MMRESULT r = alsaOpenPcm(name, SND_PCM_STREAM_PLAYBACK, format, kPeriodUs, kBufferUs,
                                     &pcm_, &buffer))
            return r;
        format_ = format;
        bufferFrames_ = buffer;
        written_ = 0;
        played_.store(0);
        paused_ = false;
        held_.clear();
        return MMR_NOERROR;
    }

    MMRESULT write(const void* data, uint32_t bytes) override {
        if (!pcm_)
            return MMR_INVALHANDLE;
        if (!data && bytes)
            return MMR_INVALPARAM;
        const uint8_t* p = static_cast<const uint8_t*>(data);
        // Bytes wait in held_ while paused, behind earlier held bytes, and
        // when they end in part of a frame (completed by the next write).
        if (paused_ || !held_.empty() || bytes % format_.nBlockAlign != 0) {
            held_.insert(held_.end(), p, p + bytes);
            return paused_ ? MMR_NOERROR : flushHeld();
        }
        return writeFrames(p, bytes);
    }

    MMRESULT pause() override {
        if (!pcm_)
            return MMR_INVALHANDLE;
        if (!paused_ && snd_pcm_state(pcm_) == SND_PCM_STATE_RUNNING)
            hwPaused_ = snd_pcm_pause(pcm_, 1) == 0;
        paused_ = true;
        updatePlayed();
        return MMR_NOERROR;
    }

    MMRESULT resume() override {
        if (!pcm_)
            return MMR_INVALHANDLE;
        if (!paused_)
            return MMR_NOERROR;
        if (hwPaused_)
            snd_pcm_pause(pcm_, 0);
        hwPaused_ = false;
        paused_ = false;
        return flushHeld();
    }

    MMRESULT drain() override {
        if (!pcm_)
            return MMR_INVALHANDLE;
        if (paused_)
            return held_.empty() && delayFrames() == 0 ? MMR_NOERROR : MMR_STILLPLAYING;
        if (MMRESULT r = flushHeld())
            return r;
        if (snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED && delayFrames() > 0)
            snd_pcm_start(pcm_); // fewer frames than the start threshold were written
        int idle = 0;
        snd_pcm_sframes_t last = -1;
        while (snd_pcm_state(pcm_) == SND_PCM_STATE_RUNNING) {
            snd_pcm_sframes_t delay = delayFrames();
            if (delay <= 0)
                break;
            idle = delay == last ? idle + 1 : 0;
            if (idle > kMaxIdleWaits)
                return MMR_ERROR;
            last = delay;
            long us = long(delay) * 1000000L / long(format_.nSamplesPerSec);
            std::this_thread::sleep_for(std::chrono::microseconds(std::min(us, 20000L)));
            updatePlayed();
        }
        played_.store(written_);
        snd_pcm_drop(pcm_);
        snd_pcm_prepare(pcm_);
        return MMR_NOERROR;
    }

    MMRESULT stop() override {
        if (!pcm_)
            return MMR_INVALHANDLE;
        snd_pcm_drop(pcm_);
        snd_pcm_prepare(pcm_);
        held_.clear();
        hwPaused_ = false;
        written_ = 0;
        played_.store(0);
        return MMR_NOERROR;
    }

    MMRESULT close() override {
        if (!pcm_)
            return MMR_NOERROR;
        snd_pcm_drop(pcm_);
        snd_pcm_close(pcm_);
        pcm_ = nullptr;
        held_.clear();
        return MMR_NOERROR;
    }

    uint64_t playedBytes() const override { return played_.load(); }

private:
    snd_pcm_sframes_t delayFrames() {
        snd_pcm_sframes_t delay = 0;
        if (snd_pcm_delay(pcm_, &delay) < 0)
            return 0;
        return delay;
    }

    void updatePlayed() {
        uint64_t pending =
            uint64_t(std::max<snd_pcm_sframes_t>(delayFrames(), 0)) * format_.nBlockAlign;
        played_.store(written_ > pending ? written_ - pending : 0);
    }

    MMRESULT flushHeld() {
        const size_t whole = held_.size() - held_.size() % format_.nBlockAlign;
        if (whole == 0)
            return MMR_NOERROR;
        std::vector<uint8_t> bytes(held_.begin(), held_.begin() + long(whole));
        held_.erase(held_.begin(), held_.begin() + long(whole));
        return writeFrames(bytes.data(), uint32_t(bytes.size()));
    }

    MMRESULT writeFrames(const uint8_t* p, uint32_t bytes) {
        const uint32_t block = format_.nBlockAlign;
        snd_pcm_uframes_t frames = bytes / block;
        int idle = 0;
        while (frames > 0) {
            snd_pcm_sframes_t r = snd_pcm_writei(pcm_, p, frames);
            if (r > 0) {
                p += size_t(r) * block;
                frames -= snd_pcm_uframes_t(r);
                written_ += uint64_t(r) * block;
                idle = 0;
                updatePlayed();
                continue;
            }
            if (r == -EAGAIN || r == 0) {
                int w = alsaWait(pcm_, nullptr, kWaitMs);
                if (w < 0)
                    return alsaResult(w);
                if (w == 0 && ++idle > kMaxIdleWaits)
                    return MMR_ERROR;
                continue;
            }
            if (r == -EPIPE || r == -ESTRPIPE) { // underrun: play on
                if (r == -ESTRPIPE && snd_pcm_resume(pcm_) == 0)
                    continue;
                if (int err = snd_pcm_prepare(pcm_); err < 0)
                    return alsaResult(err);
                continue;
            }
            return alsaResult(int(r));
        }
        return MMR_NOERROR;
    }

    const int deviceId_;
    snd_pcm_t* pcm_ = nullptr;
    WAVEFORMATEX format_{};
    snd_pcm_uframes_t bufferFrames_ = 0;
    uint64_t written_ = 0;
    std::atomic<uint64_t> played_{0};
    bool paused_ = false;
    bool hwPaused_ = false;
    std::vector<uint8_t> held_; // written while paused, or a frame's first bytes
};

} // namespace

std::unique_ptr<AudioOutput> createAlsaOutput(int deviceId) {
    return std::make_unique<AlsaOutput>(deviceId);
}
