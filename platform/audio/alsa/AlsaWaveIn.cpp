// Wave-in over ALSA: a snd_pcm capture stream read by the device's capture
// thread in non-blocking mode, waiting in poll() together with a wake-up
// descriptor so stop and close never wait on the device. An overrun is
// counted and recovered (prepare + start); only a lost device ends capture.
// A read waits until all the frames it asks for are there (the PCM's
// avail_min follows the read's size), so the thread wakes once per queued
// buffer rather than once per period; woken for a command it takes what is
// there. While no buffer is queued nothing reads: the sound waits in ALSA's
// ring buffer, and an owner later than that sees an overrun. The ring holds
// two seconds (or the nearest the device allows): the recorder passes each
// buffer on from this thread, so the ring is what absorbs a stalled
// consumer, as the recorder's 20 queued buffers do once they are back.
#include "platform/audio/alsa/AlsaBackend.h"
#include "platform/audio/alsa/AlsaCommon.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr unsigned kPeriodUs = 20000;
constexpr unsigned kBufferUs = 2000000; // 2 s
// How long a wait may last past the time the frames it waits for are due:
// a device that stops delivering is noticed this often.
constexpr int kWaitMs = 100;

class AlsaCaptureSource : public CaptureSource {
public:
    AlsaCaptureSource(snd_pcm_t* pcm, const WAVEFORMATEX& format, snd_pcm_uframes_t bufferFrames)
        : pcm_(pcm), format_(format), bufferFrames_(bufferFrames) {}
    ~AlsaCaptureSource() override { snd_pcm_close(pcm_); }

    MMRESULT start() override {
        wake_.consume(); // a wake meant for an earlier command
        snd_pcm_state_t state = snd_pcm_state(pcm_);
        if (state != SND_PCM_STATE_PREPARED) {
            snd_pcm_drop(pcm_);
            if (int err = snd_pcm_prepare(pcm_); err < 0)
                return alsaResult(err);
        }
        int err = snd_pcm_start(pcm_);
        return err < 0 ? alsaResult(err) : MMR_NOERROR;
    }

    void stop() override {
        snd_pcm_drop(pcm_);
        snd_pcm_prepare(pcm_);
    }

    long read(void* buffer, uint32_t maxBytes) override {
        const uint32_t block = format_.nBlockAlign;
        const snd_pcm_uframes_t frames = maxBytes / block;
        if (frames == 0)
            return 0;
        bool woken = false;
        for (int attempt = 0; attempt < 4; ++attempt) {
            // Woken for a command (a stop, say): take what has come so far
            // instead of waiting for all of it, so the partly filled header
            // keeps it rather than the stop dropping it.
            snd_pcm_uframes_t ask = frames;
            if (woken) {
                const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_);
                if (avail == 0)
                    return 0;
                if (avail > 0) // negative: the read below reports the state
                    ask = std::min(frames, snd_pcm_uframes_t(avail));
            }
            snd_pcm_sframes_t r = snd_pcm_readi(pcm_, buffer, ask);
            if (r > 0)
                return long(r) * block;
            if (r == 0 || r == -EAGAIN) {
                if (woken)
                    return 0;
                const snd_pcm_uframes_t awaited = awaitFrames(frames);
                const int due =
                    int(uint64_t(awaited) * 1000 / std::max<uint32_t>(format_.nSamplesPerSec, 1));
                int w = alsaWait(pcm_, &wake_, due + kWaitMs);
                if (w == 1 || w == 2) {
                    woken = w == 2;
                    continue;
                }
                if (w < 0 && w != -EPIPE)
                    return -1;
                return 0; // nothing came in time: let the thread look at its commands
            }
            if (r == -EPIPE || r == -ESTRPIPE) {
                ++overruns_;
                if (r == -ESTRPIPE && snd_pcm_resume(pcm_) == 0)
                    continue;
                if (snd_pcm_prepare(pcm_) < 0 || snd_pcm_start(pcm_) < 0)
                    return -1;
                continue;
            }
            return -1; // device gone or broken
        }
        return 0;
    }

    void wake() override { wake_.signal(); }
    // ALSA's ring buffer keeps what is not read; an owner later than it
    // holds shows as an overrun at the next read.
    bool keepsUnread() const override { return true; }

    bool readyNow(uint32_t bytes) override {
        const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_);
        return avail > 0 && snd_pcm_uframes_t(avail) >= bytes / format_.nBlockAlign;
    }
    uint32_t overruns() const override { return overruns_; }

private:
    // Makes a wait end once `frames` can be read, at most half the ALSA
    // buffer so an overrun stays as far away as with short periods. Returns
    // the frames the wait is for.
    snd_pcm_uframes_t awaitFrames(snd_pcm_uframes_t frames) {
        const snd_pcm_uframes_t most = std::max<snd_pcm_uframes_t>(bufferFrames_ / 2, 1);
        frames = std::clamp<snd_pcm_uframes_t>(frames, 1, most);
        if (frames == availMin_)
            return frames;
        snd_pcm_sw_params_t* sw;
        snd_pcm_sw_params_alloca(&sw);
        if (snd_pcm_sw_params_current(pcm_, sw) == 0 &&
            snd_pcm_sw_params_set_avail_min(pcm_, sw, frames) == 0 &&
            snd_pcm_sw_params(pcm_, sw) == 0)
            availMin_ = frames;
        return availMin_ ? availMin_ : frames;
    }

    snd_pcm_t* pcm_;
    WAVEFORMATEX format_;
    const snd_pcm_uframes_t bufferFrames_;
    snd_pcm_uframes_t availMin_ = 0; // capture thread; 0: the period, as opened
    WakeFd wake_;
    uint32_t overruns_ = 0; // capture thread
};

class AlsaWaveInBackend : public WaveInBackend {
public:
    uint32_t count() override { return uint32_t(alsaPcmDevices(SND_PCM_STREAM_CAPTURE).size()); }

    MMRESULT caps(int deviceId, WAVEINCAPS* caps, std::string* wholeName) override {
        std::string name;
        if (deviceId == -1) {
            name = "Default (" + alsaPcmName(SND_PCM_STREAM_CAPTURE, -1) + ")";
        } else {
            auto devices = alsaPcmDevices(SND_PCM_STREAM_CAPTURE);
            if (size_t(deviceId) >= devices.size())
                return MMR_BADDEVICEID;
            name = devices[size_t(deviceId)].displayName;
        }
        *wholeName = name;
        caps->vDriverVersion = SND_LIB_VERSION >> 8;
        caps->dwFormats = 0xFFF; // the plug layer converts every standard format
        caps->wChannels = 2;
        return MMR_NOERROR;
    }

    MMRESULT open(int deviceId, const WAVEFORMATEX& format, bool query,
                  std::unique_ptr<CaptureSource>* source, uint32_t* readBytes) override {
        std::string name = alsaPcmName(SND_PCM_STREAM_CAPTURE, deviceId);
        if (name.empty())
            return MMR_BADDEVICEID;
        snd_pcm_t* pcm = nullptr;
        snd_pcm_uframes_t bufferFrames = 0;
        if (MMRESULT r = alsaOpenPcm(name, SND_PCM_STREAM_CAPTURE, format, kPeriodUs, kBufferUs,
                                     &pcm, &bufferFrames))
            return r;
        if (query) {
            snd_pcm_close(pcm);
            return MMR_NOERROR;
        }
        *source = std::make_unique<AlsaCaptureSource>(pcm, format, bufferFrames);
        *readBytes = std::max<uint32_t>(format.nAvgBytesPerSec / 20, format.nBlockAlign);
        return MMR_NOERROR;
    }
};

} // namespace

WaveInBackend& alsaWaveInBackend() {
    static AlsaWaveInBackend backend;
    return backend;
}
