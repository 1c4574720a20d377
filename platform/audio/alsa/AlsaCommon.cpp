#include "platform/audio/alsa/AlsaCommon.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

void quietErrors(const char*, int, const char*, int, const char*, ...) {}

} // namespace

void alsaInit() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(quietErrors); });
}

MMRESULT alsaResult(int err) {
    switch (-err) {
    case 0:
        return MMR_NOERROR;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return MMR_BADDEVICEID;
    case EBUSY:
    case EAGAIN:
        return MMR_ALLOCATED;
    case EINVAL:
        return MMR_BADFORMAT;
    case ENOMEM:
        return MMR_NOMEM;
    case EBADFD:
        return MMR_INVALHANDLE;
    case ENOSYS:
        return MMR_NOTSUPPORTED;
    default:
        return MMR_ERROR;
    }
}

namespace {

// ALSA's "default" PCM as the one device of a machine without cards, when it
// opens. Asked at most every two seconds per direction.
std::vector<AlsaPcmDevice> defaultPcmDevice(snd_pcm_stream_t stream) {
    struct Answer {
        std::chrono::steady_clock::time_point at{};
        bool asked = false;
        std::string config; // ALSA_CONFIG_PATH when asked: another one asks again
        std::vector<AlsaPcmDevice> devices;
    };
    static std::mutex mutex;
    static Answer answers[2];
    std::lock_guard lock(mutex);
    Answer& a = answers[stream == SND_PCM_STREAM_CAPTURE ? 1 : 0];
    const char* configEnv = std::getenv("ALSA_CONFIG_PATH");
    const std::string config = configEnv ? configEnv : "";
    const auto now = std::chrono::steady_clock::now();
    if (a.asked && a.config == config && now - a.at < std::chrono::seconds(2))
        return a.devices;
    a.asked = true;
    a.at = now;
    a.config = config;
    a.devices.clear();
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", stream, SND_PCM_NONBLOCK) == 0) {
        std::string name = "Default";
        snd_pcm_info_t* info;
        snd_pcm_info_alloca(&info);
        if (snd_pcm_info(pcm, info) == 0 && snd_pcm_info_get_name(info) &&
            *snd_pcm_info_get_name(info))
            name += std::string(" (") + snd_pcm_info_get_name(info) + ")";
        snd_pcm_close(pcm);
        a.devices.push_back({"default", name, -1});
    }
    return a.devices;
}

} // namespace

std::vector<AlsaPcmDevice> alsaPcmDevices(snd_pcm_stream_t stream) {
    alsaInit();
    std::vector<AlsaPcmDevice> out;
    bool anyCard = false;
    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0) {
        char hw[32];
        snprintf(hw, sizeof hw, "hw:%d", card);
        anyCard = true;
        snd_ctl_t* ctl = nullptr;
        if (snd_ctl_open(&ctl, hw, SND_CTL_NONBLOCK) < 0)
            continue;
        char* cardName = nullptr;
        snd_card_get_name(card, &cardName);
        snd_pcm_info_t* info;
        snd_pcm_info_alloca(&info);
        int dev = -1;
        while (snd_ctl_pcm_next_device(ctl, &dev) == 0 && dev >= 0) {
            snd_pcm_info_set_device(info, unsigned(dev));
            snd_pcm_info_set_subdevice(info, 0);
            snd_pcm_info_set_stream(info, stream);
            if (snd_ctl_pcm_info(ctl, info) < 0)
                continue;
            char name[48];
            snprintf(name, sizeof name, "plughw:%d,%d", card, dev);
            out.push_back(
                {name, std::string(cardName ? cardName : hw) + ": " + snd_pcm_info_get_name(info),
                 card});
        }
        free(cardName);
        snd_ctl_close(ctl);
    }
    if (!anyCard)
        return defaultPcmDevice(stream);
    return out;
}

std::string alsaPcmName(snd_pcm_stream_t stream, int deviceId) {
    if (deviceId == -1) {
        const char* v = std::getenv(stream == SND_PCM_STREAM_CAPTURE ? "SONVALE_ALSA_CAPTURE"
                                                                     : "SONVALE_ALSA_PLAYBACK");
        return (v && *v) ? v : "default";
    }
    auto devices = alsaPcmDevices(stream);
    if (deviceId < 0 || size_t(deviceId) >= devices.size())
        return {};
    return devices[size_t(deviceId)].pcmName;
}

MMRESULT alsaOpenPcm(const std::string& name, snd_pcm_stream_t stream, const WAVEFORMATEX& format,
                     unsigned periodUs, unsigned bufferUs, snd_pcm_t** out,
                     snd_pcm_uframes_t* bufferFrames) {
    alsaInit();
    snd_pcm_t* pcm = nullptr;
    int err = snd_pcm_open(&pcm, name.c_str(), stream, SND_PCM_NONBLOCK);
    if (err < 0)
        return err == -EINVAL ? MMR_BADDEVICEID : alsaResult(err);
    snd_pcm_hw_params_t* hw;
    snd_pcm_hw_params_alloca(&hw);
    unsigned rate = format.nSamplesPerSec;
    int dir = 0;
    bool ok =
        snd_pcm_hw_params_any(pcm, hw) >= 0 &&
        snd_pcm_hw_params_set_rate_resample(pcm, hw, 1) >= 0 &&
        snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) >= 0 &&
        snd_pcm_hw_params_set_format(
            pcm, hw, format.wBitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE) >= 0 &&
        snd_pcm_hw_params_set_channels(pcm, hw, format.nChannels) >= 0 &&
        snd_pcm_hw_params_set_rate(pcm, hw, rate, 0) >= 0;
    if (!ok) {
        snd_pcm_close(pcm);
        return MMR_BADFORMAT;
    }
    unsigned period = periodUs, buffer = bufferUs;
    snd_pcm_hw_params_set_buffer_time_near(pcm, hw, &buffer, &dir);
    dir = 0;
    snd_pcm_hw_params_set_period_time_near(pcm, hw, &period, &dir);
    err = snd_pcm_hw_params(pcm, hw);
    if (err < 0) {
        snd_pcm_close(pcm);
        return MMR_BADFORMAT;
    }
    if (bufferFrames)
        snd_pcm_hw_params_get_buffer_size(hw, bufferFrames);
    err = snd_pcm_prepare(pcm);
    if (err < 0) {
        snd_pcm_close(pcm);
        return alsaResult(err);
    }
    *out = pcm;
    return MMR_NOERROR;
}

WakeFd::WakeFd() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeFd::~WakeFd() {
    if (fd_ >= 0)
        ::close(fd_);
}

void WakeFd::signal() {
    uint64_t one = 1;
    if (fd_ >= 0)
        (void)!::write(fd_, &one, sizeof one);
}

bool WakeFd::consume() {
    uint64_t value = 0;
    return fd_ >= 0 && ::read(fd_, &value, sizeof value) == sizeof value && value > 0;
}

int alsaWait(snd_pcm_t* pcm, WakeFd* wake, int timeoutMs) {
    int count = snd_pcm_poll_descriptors_count(pcm);
    if (count < 0)
        return count;
    std::vector<pollfd> fds(size_t(count) + 1);
    count = snd_pcm_poll_descriptors(pcm, fds.data(), unsigned(count));
    if (count < 0)
        return count;
    fds.resize(size_t(count));
    if (wake && wake->fd() >= 0)
        fds.push_back({wake->fd(), POLLIN, 0});
    int r = ::poll(fds.data(), fds.size(), timeoutMs);
    if (r < 0)
        return errno == EINTR ? 0 : -errno;
    if (r == 0)
        return 0;
    if (wake && wake->fd() >= 0 && (fds.back().revents & POLLIN)) {
        wake->consume();
        return 2;
    }
    unsigned short revents = 0;
    int e = snd_pcm_poll_descriptors_revents(pcm, fds.data(), unsigned(count), &revents);
    if (e < 0)
        return e;
    if (revents & (POLLERR | POLLNVAL))
        return 1; // let the next read/write report the state
    return (revents & (POLLIN | POLLOUT)) ? 1 : 0;
}
