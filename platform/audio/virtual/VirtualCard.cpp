#include "platform/audio/virtual/VirtualCardImpl.h"

#include "platform/files/RegularFile.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr size_t kMonitorSeconds = 2;

const char* env(const std::string& name) {
    const char* v = std::getenv(name.c_str());
    return (v && *v) ? v : nullptr;
}

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t le16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

// Parses the PCM of a WAV file into stereo floats; false when it is not a
// PCM WAV file this card can play.
bool parseWav(std::span<const uint8_t> file, VirtualFeed& feed) {
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 ||
        std::memcmp(file.data() + 8, "WAVE", 4) != 0)
        return false;
    uint16_t channels = 0, bits = 0;
    uint32_t rate = 0;
    const uint8_t* data = nullptr;
    size_t dataSize = 0;
    size_t pos = 12;
    while (pos + 8 <= file.size()) {
        const uint8_t* h = file.data() + pos;
        size_t size = le32(h + 4);
        size_t avail = std::min(size, file.size() - pos - 8);
        if (std::memcmp(h, "fmt ", 4) == 0 && avail >= 16) {
            if (le16(h + 8) != WAVE_FORMAT_PCM)
                return false;
            channels = le16(h + 10);
            rate = le32(h + 12);
            bits = le16(h + 22);
        } else if (std::memcmp(h, "data", 4) == 0 && !data) {
            data = h + 8;
            dataSize = avail;
        }
        pos += 8 + size + (size & 1);
    }
    if (!data || (channels != 1 && channels != 2) || (bits != 8 && bits != 16) || rate == 0)
        return false;
    size_t block = size_t(channels) * bits / 8;
    size_t frames = dataSize / block;
    feed.frames.resize(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < 2; ++c) {
            int ch = channels == 2 ? c : 0;
            const uint8_t* s = data + i * block + size_t(ch) * bits / 8;
            float v =
                bits == 8 ? (float(s[0]) - 128.0f) / 128.0f : float(int16_t(le16(s))) / 32768.0f;
            feed.frames[i * 2 + c] = v;
        }
    }
    feed.rate = rate;
    return frames > 0;
}

} // namespace

VirtualFeed::~VirtualFeed() {
    if (raw && !bytes.empty())
        ::munmap(const_cast<uint8_t*>(bytes.data()), bytes.size());
}

std::shared_ptr<const VirtualFeed> loadVirtualFeed(const std::string& path) {
    // A FIFO named as a feed must not hold up the card's set-up.
    const RegularFile file = openRegularFile(path, O_RDONLY);
    if (!file.ok())
        return nullptr;
    void* map = MAP_FAILED;
    if (file.size > 0)
        map = ::mmap(nullptr, size_t(file.size), PROT_READ, MAP_PRIVATE, file.fd, 0);
    ::close(file.fd);
    if (map == MAP_FAILED)
        return nullptr;
    const std::span<const uint8_t> bytes(static_cast<const uint8_t*>(map), size_t(file.size));
    auto feed = std::make_shared<VirtualFeed>();
    if (bytes.size() >= 12 && std::memcmp(bytes.data(), "RIFF", 4) == 0) {
        const bool parsed = parseWav(bytes, *feed);
        ::munmap(map, bytes.size());
        return parsed ? feed : nullptr;
    }
    feed->raw = true;
    feed->bytes = bytes;
    return feed;
}

VirtualDeviceState::VirtualDeviceState() {
    for (auto& v : sourceVolume)
        v[0] = v[1] = 65535;
}

VirtualCardConfig virtualCardConfigFromEnvironment() {
    VirtualCardConfig config;
    if (const char* v = env("SONVALE_VCARD_DEVICES")) {
        if (std::strcmp(v, "2") == 0)
            config.devices.resize(2);
    }
    if (const char* v = env("SONVALE_VCARD_MUX")) {
        std::string s(v);
        for (size_t d = 0, pos = 0; d < config.devices.size(); ++d) {
            size_t comma = s.find(',', pos);
            std::string item =
                s.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
            if (item == "0")
                config.devices[d].hasMux = false;
            else if (item == "1")
                config.devices[d].hasMux = true;
            if (comma != std::string::npos)
                pos = comma + 1; // else the last value applies to the rest
        }
    }
    if (const char* v = env("SONVALE_VCARD_SPEED")) {
        char* end = nullptr;
        double speed = std::strtod(v, &end);
        if (end && *end == 0 && speed >= 0 && speed <= 1000)
            config.speed = speed;
    }
    config.speakerKeepBytes = uint64_t(64) << 20;
    if (const char* v = env("SONVALE_VCARD_SPEAKER_KEEP_MB")) {
        char* end = nullptr;
        const unsigned long long mb = std::strtoull(v, &end, 10);
        if (end && end != v && *end == 0 && *v != '-' && mb < (uint64_t(1) << 40))
            config.speakerKeepBytes = uint64_t(mb) << 20;
    }
    for (size_t d = 0; d < config.devices.size(); ++d) {
        if (const char* v = env("SONVALE_VCARD_NAME_" + std::to_string(d)))
            config.devices[d].name = v;
        for (int s = 0; s < kVirtualSources; ++s) {
            if (const char* v =
                    env("SONVALE_VCARD_FEED_" + std::to_string(d) + "_" + std::to_string(s)))
                config.devices[d].sourceFiles[s] = v;
        }
    }
    return config;
}

VirtualCard& VirtualCard::instance() {
    static VirtualCard card;
    return card;
}

VirtualCard::VirtualCard() : impl_(new Impl) {
    configure(virtualCardConfigFromEnvironment());
}

VirtualCard::~VirtualCard() {
    delete impl_;
}

bool VirtualCard::configure(const VirtualCardConfig& config) {
    if (config.devices.empty() || config.devices.size() > 2 || !(config.speed >= 0))
        return false;
    std::vector<std::shared_ptr<VirtualDeviceState>> devices;
    for (size_t d = 0; d < config.devices.size(); ++d) {
        auto dev = std::make_shared<VirtualDeviceState>();
        dev->index = int(d);
        dev->config = config.devices[d];
        if (dev->config.name.empty())
            dev->config.name = "Virtual Card " + std::to_string(d + 1);
        for (int s = 0; s < kVirtualSources; ++s) {
            if (!dev->config.sourceFiles[s].empty())
                dev->feeds[s] = loadVirtualFeed(dev->config.sourceFiles[s]);
        }
        devices.push_back(std::move(dev));
    }
    std::lock_guard lock(impl_->mutex);
    impl_->config = config;
    impl_->speed = config.speed;
    impl_->devices = std::move(devices);
    ++impl_->generation;
    return true;
}

VirtualCardConfig VirtualCard::config() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->config;
}

void VirtualCard::setSpeed(double speed) {
    if (!(speed >= 0))
        return;
    std::lock_guard lock(impl_->mutex);
    impl_->speed = speed;
    impl_->config.speed = speed;
}

double VirtualCard::speed() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->speed;
}

void VirtualCard::selectSource(int device, int source) {
    std::lock_guard lock(impl_->mutex);
    auto dev = impl_->device(device);
    if (!dev || source < 0 || source >= kVirtualSources)
        return;
    if (dev->config.hasMux) {
        if (source < 4)
            dev->muxItem = uint32_t(source);
        return;
    }
    for (int s = 0; s < kVirtualSources; ++s)
        dev->sourceSelected[s] = (s == source) && s != VS_AUXILIARY;
}

void VirtualCard::setSourceSelected(int device, int source, bool selected) {
    std::lock_guard lock(impl_->mutex);
    auto dev = impl_->device(device);
    if (!dev || source < 0 || source >= VS_AUXILIARY)
        return;
    dev->sourceSelected[source] = selected;
}

void VirtualCard::setSourceVolume(int device, int source, uint16_t left, uint16_t right) {
    std::lock_guard lock(impl_->mutex);
    auto dev = impl_->device(device);
    if (!dev || source < 0 || source >= kVirtualSources)
        return;
    dev->sourceVolume[source][0] = left;
    dev->sourceVolume[source][1] = right;
}

void VirtualCard::setSpeakers(int device, uint16_t left, uint16_t right, bool mute) {
    std::lock_guard lock(impl_->mutex);
    auto dev = impl_->device(device);
    if (!dev)
        return;
    dev->speakerVolume[0] = left;
    dev->speakerVolume[1] = right;
    dev->speakerMute = mute;
}

std::vector<SpeakerRecording> VirtualCard::speakerRecordings(int device) const {
    std::lock_guard lock(impl_->mutex);
    auto dev = impl_->device(device);
    if (!dev)
        return {};
    impl_->pumpOutputs(*dev, std::chrono::steady_clock::now());
    std::vector<SpeakerRecording> out;
    out.reserve(dev->recordings.size());
    for (const KeptRecording& r : dev->recordings)
        out.push_back(SpeakerRecording{r.format, r.bytes.toVector()});
    return out;
}

void VirtualCard::clearSpeakers(int device) {
    std::lock_guard lock(impl_->mutex);
    auto dev = impl_->device(device);
    if (!dev)
        return;
    // Open outputs keep appending to their own entry: keep the entries, drop the bytes.
    for (auto& r : dev->recordings)
        r.bytes.clear();
    dev->monitor.clear();
}

std::shared_ptr<VirtualDeviceState> VirtualCard::Impl::device(int index) const {
    if (index == -1)
        index = 0;
    if (index < 0 || size_t(index) >= devices.size())
        return nullptr;
    return devices[size_t(index)];
}

void VirtualCard::Impl::pumpOutputs(VirtualDeviceState& device,
                                    std::chrono::steady_clock::time_point now) {
    for (VirtualOutputImpl* out : device.outputs)
        out->advance(now);
}

namespace {

// Converts `frames` PCM frames to interleaved stereo floats in -1..1 times
// `gain` (left, right); mono goes to both sides. Tight loops over plain
// pointers, so the compiler can vectorise them (the speakers run through
// here for every byte they play).
void toStereoFloats(const uint8_t* src, size_t frames, const WAVEFORMATEX& format,
                    const float gain[2], float* dst) {
    const bool stereo = format.nChannels == 2;
    if (format.wBitsPerSample == 8) {
        const float l = gain[0] / 128.0f, r = gain[1] / 128.0f;
        const size_t right = stereo ? 1 : 0;
        for (size_t i = 0; i < frames; ++i) {
            const uint8_t* s = src + i * format.nBlockAlign;
            dst[2 * i] = (float(s[0]) - 128.0f) * l;
            dst[2 * i + 1] = (float(s[right]) - 128.0f) * r;
        }
        return;
    }
    const float l = gain[0] / 32768.0f, r = gain[1] / 32768.0f;
    if (stereo && l == r) {
        // Both sides at the same volume (the usual case): one multiply over
        // every sample. Samples are little-endian, as on every machine we
        // build for.
        for (size_t i = 0; i < 2 * frames; ++i) {
            int16_t v;
            std::memcpy(&v, src + 2 * i, 2);
            dst[i] = float(v) * l;
        }
        return;
    }
    if (stereo) {
        for (size_t i = 0; i < frames; ++i) {
            int16_t s[2];
            std::memcpy(s, src + 4 * i, 4);
            dst[2 * i] = float(s[0]) * l;
            dst[2 * i + 1] = float(s[1]) * r;
        }
        return;
    }
    for (size_t i = 0; i < frames; ++i) {
        int16_t s;
        std::memcpy(&s, src + 2 * i, 2);
        dst[2 * i] = float(s) * l;
        dst[2 * i + 1] = float(s) * r;
    }
}

} // namespace

void VirtualCard::Impl::feedMonitor(VirtualDeviceState& device, const WAVEFORMATEX& format,
                                    const uint8_t* data, size_t bytes) {
    if (device.monitorRate != format.nSamplesPerSec) {
        device.monitor.clear();
        device.monitorPos = 0;
        device.monitorRate = format.nSamplesPerSec;
    }
    const size_t block = format.nBlockAlign;
    const float gain[2] = {device.speakerMute ? 0.0f : device.speakerVolume[0] / 65535.0f,
                           device.speakerMute ? 0.0f : device.speakerVolume[1] / 65535.0f};
    const size_t frames = block ? bytes / block : 0;
    // Only the last kMonitorSeconds can ever be heard: skip what would be
    // dropped again at once.
    const size_t keep = size_t(device.monitorRate) * kMonitorSeconds;
    const size_t first = frames > keep ? frames - keep : 0;
    // The monitor holds whole frames and only ever drops whole frames, so
    // both spans start on a frame.
    const auto spans = device.monitor.extend((frames - first) * 2);
    const uint8_t* src = data + first * block;
    toStereoFloats(src, spans.firstCount / 2, format, gain, spans.first);
    toStereoFloats(src + spans.firstCount / 2 * block, spans.secondCount / 2, format, gain,
                   spans.second);
    const size_t limit = size_t(device.monitorRate) * kMonitorSeconds * 2;
    if (device.monitor.size() > limit) {
        size_t drop = (device.monitor.size() - limit) & ~size_t(1);
        device.monitor.eraseFront(drop);
    }
}
