// The virtual card's capture: the selected sources of a device summed, each
// scaled by its volume, paced by the clock times the card's speed.
#include "platform/audio/virtual/VirtualBackend.h"
#include "platform/audio/virtual/VirtualCardImpl.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

class VirtualCaptureSource : public CaptureSource {
public:
    VirtualCaptureSource(VirtualCard::Impl& card, std::shared_ptr<VirtualDeviceState> device,
                         const WAVEFORMATEX& format)
        : card_(card), device_(std::move(device)), format_(format), speed_(card.speed) {}

    ~VirtualCaptureSource() override {
        std::lock_guard lock(card_.mutex);
        device_->captureOpen = false;
    }

    MMRESULT start() override {
        started_ = Clock::now();
        producedSinceStart_ = 0;
        if (speed_ > 0) {
            // In real time "Stereo Mix" hears what plays from now on, not
            // what the speakers played before the start.
            std::lock_guard lock(card_.mutex);
            card_.pumpOutputs(*device_, started_);
            device_->monitor.clear();
            device_->monitorPos = 0;
        }
        return MMR_NOERROR;
    }

    void stop() override {}

    void wake() override {
        std::lock_guard lock(wakeMutex_);
        woken_ = true;
        wakeCv_.notify_all();
    }

    bool keepsUnread() const override { return speed_ <= 0; }

    bool readyNow(uint32_t bytes) override {
        if (speed_ <= 0)
            return true; // unpaced: every read is served at once
        const double elapsed = std::chrono::duration<double>(Clock::now() - started_).count();
        const uint64_t due = uint64_t(elapsed * double(format_.nSamplesPerSec) * speed_);
        return due >= producedSinceStart_ + bytes / format_.nBlockAlign;
    }

    long read(void* buffer, uint32_t maxBytes) override {
        const uint32_t block = format_.nBlockAlign;
        uint64_t frames = maxBytes / block;
        if (frames == 0)
            return 0;
        if (speed_ > 0) {
            // Paced like a sound card that completes whole buffers: the read
            // returns once the buffer the caller queued is full, one wake-up
            // per buffer. A stop wakes it early with what is due so far, so
            // the partly filled buffer keeps the sound recorded into it.
            const double rate = double(format_.nSamplesPerSec) * speed_;
            const uint64_t minFrames = frames;
            std::unique_lock lock(wakeMutex_);
            for (;;) {
                const double elapsed =
                    std::chrono::duration<double>(Clock::now() - started_).count();
                const uint64_t due = uint64_t(elapsed * rate);
                const uint64_t avail = due > producedSinceStart_ ? due - producedSinceStart_ : 0;
                if (woken_) {
                    woken_ = false;
                    frames = std::min(frames, avail);
                    if (frames == 0)
                        return 0;
                    break;
                }
                if (avail >= minFrames) {
                    frames = std::min(frames, avail);
                    break;
                }
                // A little past the due time, so one wait is enough.
                const double wait = double(minFrames - avail) / rate + 0.0002;
                wakeCv_.wait_for(lock, std::chrono::duration<double>(wait));
            }
        }
        produce(static_cast<uint8_t*>(buffer), uint32_t(frames));
        producedSinceStart_ += frames;
        return long(frames * block);
    }

private:
    // Mixes `frames` frames of the selected sources into out (card mutex
    // taken here).
    void produce(uint8_t* out, uint32_t frames) {
        const int channels = format_.nChannels;
        std::lock_guard lock(card_.mutex);
        VirtualDeviceState& dev = *device_;
        const bool detached = card_.device(dev.index) != device_;
        int selectedCount = 0, only = -1;
        if (!detached) {
            for (int s = 0; s < kVirtualSources; ++s) {
                bool selected = dev.config.hasMux ? (uint32_t(s) == dev.muxItem && s < 4)
                                                  : (dev.sourceSelected[s] && s != VS_AUXILIARY);
                if (selected) {
                    ++selectedCount;
                    only = s;
                }
            }
        }
        if (selectedCount == 1 && copyRawFeed(dev, only, out, frames)) {
            frame_ += frames;
            return;
        }
        mix_.assign(size_t(frames) * channels, 0.0f);
        for (int s = 0; s < kVirtualSources && selectedCount > 0; ++s) {
            bool selected = dev.config.hasMux ? (uint32_t(s) == dev.muxItem && s < 4)
                                              : (dev.sourceSelected[s] && s != VS_AUXILIARY);
            if (selected)
                addSource(dev, s, frames);
        }
        frame_ += frames;
        toFormat(out, frames, dev);
    }

    // A single raw-fed source at full volume is the feed's bytes as they
    // are: copy them instead of mixing through floats (same bytes, same
    // peaks). False when that does not apply.
    bool copyRawFeed(VirtualDeviceState& dev, int s, uint8_t* out, uint32_t frames) {
        const VirtualFeed* feed = dev.feeds[s].get();
        if (!feed || !feed->raw || dev.sourceVolume[s][0] != 65535 ||
            dev.sourceVolume[s][1] != 65535)
            return false;
        const size_t block = format_.nBlockAlign;
        const size_t total = feed->bytes.size() / block * block;
        const size_t want = size_t(frames) * block;
        if (total == 0) {
            std::memset(out, format_.wBitsPerSample == 8 ? 0x80 : 0, want);
        } else {
            size_t& pos = rawPos_[s];
            for (size_t done = 0; done < want;) {
                if (pos >= total)
                    pos = 0;
                const size_t n = std::min(want - done, total - pos);
                std::memcpy(out + done, feed->bytes.data() + pos, n);
                done += n;
                pos += n;
            }
        }
        int32_t peak[2] = {0, 0};
        blockPeaks(out, want, peak);
        dev.peak[0] = std::min(peak[0], 32767);
        dev.peak[1] = std::min(format_.nChannels == 2 ? peak[1] : peak[0], 32767);
        return true;
    }

    // Largest magnitude per channel of a captured block, on the 16-bit scale
    // (the right channel's is left alone for mono). One loop per format with
    // no per-sample division, so the compiler vectorises it: the raw-feed
    // path runs through here for every byte it captures.
    void blockPeaks(const uint8_t* data, size_t bytes, int32_t peak[2]) const {
        if (format_.wBitsPerSample == 8) {
            // |x - 128| * 256 is largest at the smallest or largest byte.
            const size_t step = format_.nChannels;
            for (size_t c = 0; c < step; ++c) {
                uint8_t lo = 0xFF, hi = 0;
                for (size_t i = c; i < bytes; i += step) {
                    lo = std::min(lo, data[i]);
                    hi = std::max(hi, data[i]);
                }
                if (lo <= hi)
                    peak[c] = std::max(128 - int(lo), int(hi) - 128) * 256;
            }
            return;
        }
        // Samples are little-endian, as on every machine we build for.
        const size_t samples = bytes / 2;
        if (format_.nChannels == 2) {
            int32_t l = 0, r = 0;
            for (size_t i = 0; i + 1 < samples; i += 2) {
                int16_t s[2];
                std::memcpy(s, data + 2 * i, 4);
                l = std::max(l, std::abs(int32_t(s[0])));
                r = std::max(r, std::abs(int32_t(s[1])));
            }
            peak[0] = l;
            peak[1] = r;
            return;
        }
        int32_t m = 0;
        for (size_t i = 0; i < samples; ++i) {
            int16_t s;
            std::memcpy(&s, data + 2 * i, 2);
            m = std::max(m, std::abs(int32_t(s)));
        }
        peak[0] = m;
    }

    void addSource(VirtualDeviceState& dev, int s, uint32_t frames) {
        const int channels = format_.nChannels;
        const float gain[2] = {dev.sourceVolume[s][0] / 65535.0f,
                               dev.sourceVolume[s][1] / 65535.0f};
        const uint32_t rate = format_.nSamplesPerSec;
        if (s == VS_STEREO_MIX && !dev.feeds[s]) {
            card_.pumpOutputs(dev, Clock::now());
            const double step = double(dev.monitorRate) / rate;
            for (uint32_t i = 0; i < frames; ++i) {
                size_t idx = size_t(dev.monitorPos);
                if ((idx + 1) * 2 > dev.monitor.size())
                    break; // nothing more was played: silence
                for (int c = 0; c < channels; ++c)
                    mix_[i * channels + c] += dev.monitor[idx * 2 + c] * gain[c];
                dev.monitorPos += step;
            }
            size_t consumed = std::min(size_t(dev.monitorPos), dev.monitor.size() / 2);
            dev.monitor.eraseFront(consumed * 2);
            dev.monitorPos -= double(consumed);
            return;
        }
        const VirtualFeed* feed = dev.feeds[s].get();
        if (feed && feed->raw) {
            const size_t block = format_.nBlockAlign;
            const size_t total = feed->bytes.size() / block * block;
            if (total == 0)
                return;
            size_t& pos = rawPos_[s];
            for (uint32_t i = 0; i < frames; ++i) {
                if (pos >= total)
                    pos = 0;
                const uint8_t* p = feed->bytes.data() + pos;
                for (int c = 0; c < channels; ++c)
                    mix_[i * channels + c] += sampleAt(p, c) * gain[c];
                pos += block;
            }
            return;
        }
        if (feed) {
            const size_t count = feed->frames.size() / 2;
            for (uint32_t i = 0; i < frames; ++i) {
                size_t idx = size_t((frame_ + i) * feed->rate / rate % count);
                for (int c = 0; c < channels; ++c)
                    mix_[i * channels + c] += feed->frames[idx * 2 + c] * gain[c];
            }
            return;
        }
        for (int c = 0; c < channels; ++c) {
            const double f = kVirtualTones[s][c];
            // Start phase from the absolute frame number (exact over long
            // runs), then a rotating phasor per sample.
            const double phase = 2.0 * M_PI * std::fmod(f * double(frame_), double(rate)) / rate;
            const double step = 2.0 * M_PI * f / rate;
            double re = std::cos(phase), im = std::sin(phase);
            const double cr = std::cos(step), ci = std::sin(step);
            const float g = 0.5f * gain[c];
            for (uint32_t i = 0; i < frames; ++i) {
                mix_[i * channels + c] += float(im) * g;
                const double nr = re * cr - im * ci;
                im = re * ci + im * cr;
                re = nr;
            }
        }
    }

    float sampleAt(const uint8_t* frame, int channel) const {
        if (format_.wBitsPerSample == 8)
            return (float(frame[channel]) - 128.0f) / 128.0f;
        const uint8_t* s = frame + channel * 2;
        return float(int16_t(s[0] | s[1] << 8)) / 32768.0f;
    }

    void toFormat(uint8_t* out, uint32_t frames, VirtualDeviceState& dev) {
        const int channels = format_.nChannels;
        int32_t peak[2] = {0, 0};
        for (uint32_t i = 0; i < frames; ++i) {
            for (int c = 0; c < channels; ++c) {
                float v = std::clamp(mix_[i * channels + c], -1.0f, 1.0f);
                if (format_.wBitsPerSample == 8) {
                    int q = std::clamp(int(std::lrintf(v * 128.0f)) + 128, 0, 255);
                    *out++ = uint8_t(q);
                    peak[c] = std::max(peak[c], std::abs(q - 128) * 256);
                } else {
                    int q = std::clamp(int(std::lrintf(v * 32768.0f)), -32768, 32767);
                    *out++ = uint8_t(q & 0xFF);
                    *out++ = uint8_t((q >> 8) & 0xFF);
                    peak[c] = std::max(peak[c], std::abs(q));
                }
            }
        }
        dev.peak[0] = std::min(peak[0], 32767);
        dev.peak[1] = std::min(channels == 2 ? peak[1] : peak[0], 32767);
    }

    VirtualCard::Impl& card_;
    std::shared_ptr<VirtualDeviceState> device_;
    WAVEFORMATEX format_;
    const double speed_; // the card's speed when the device was opened
    // Capture thread only.
    Clock::time_point started_;
    uint64_t producedSinceStart_ = 0;
    uint64_t frame_ = 0;
    size_t rawPos_[kVirtualSources] = {};
    std::vector<float> mix_;
    // Wake-up of a waiting read.
    std::mutex wakeMutex_;
    std::condition_variable wakeCv_;
    bool woken_ = false;
};

class VirtualWaveInBackend : public WaveInBackend {
public:
    uint32_t count() override {
        auto& impl = VirtualCard::instance().impl();
        std::lock_guard lock(impl.mutex);
        return uint32_t(impl.devices.size());
    }

    MMRESULT caps(int deviceId, WAVEINCAPS* caps, std::string* wholeName) override {
        auto& impl = VirtualCard::instance().impl();
        std::lock_guard lock(impl.mutex);
        auto dev = impl.device(deviceId);
        if (!dev)
            return MMR_BADDEVICEID;
        caps->wMid = 0xFF;
        caps->wPid = uint16_t(1 + dev->index);
        caps->vDriverVersion = 0x0100;
        *wholeName = dev->config.name;
        caps->dwFormats = 0xFFF;
        caps->wChannels = 2;
        return MMR_NOERROR;
    }

    MMRESULT open(int deviceId, const WAVEFORMATEX& format, bool query,
                  std::unique_ptr<CaptureSource>* source, uint32_t* readBytes) override {
        auto& impl = VirtualCard::instance().impl();
        std::lock_guard lock(impl.mutex);
        auto dev = impl.device(deviceId);
        if (!dev)
            return MMR_BADDEVICEID;
        if (query)
            return MMR_NOERROR;
        if (dev->captureOpen)
            return MMR_ALLOCATED;
        dev->captureOpen = true;
        // Constructed with the card's mutex held: the source locks it only later.
        *source = std::make_unique<VirtualCaptureSource>(impl, dev, format);
        *readBytes = std::max<uint32_t>(format.nAvgBytesPerSec / 10, format.nBlockAlign);
        return MMR_NOERROR;
    }
};

} // namespace

WaveInBackend& virtualWaveInBackend() {
    static VirtualWaveInBackend backend;
    return backend;
}
