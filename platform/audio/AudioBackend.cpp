// Choice of the audio backend, the backend tables, and the helpers every
// backend shares (name fields, the PCM format check, output creation).
#include "platform/audio/Backends.h"
#include "platform/audio/pulse/PulseBackend.h"
#include "platform/audio/pulse/PulseLibrary.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>

namespace {

std::atomic<int> g_backend{-1}; // -1: not chosen yet
std::mutex g_choosing;          // one choice at a time; a second caller waits for it

constexpr int kServerProbeMs = 250;

std::string backendNameFromEnvironment() {
    const char* v = std::getenv("SONVALE_AUDIO");
    return v ? v : "";
}

AudioBackend backendFromEnvironment() {
    const std::string name = backendNameFromEnvironment();
    if (name == "virtual")
        return AudioBackend::Virtual;
    if (name == "alsa")
        return AudioBackend::Alsa;
    if (name == "pulse") {
        // The sound-server backend needs libpulse, loaded here on first use.
        std::string why;
        return pulseApi(&why) ? AudioBackend::Pulse : AudioBackend::Alsa;
    }
    return pulseServerAnswers(kServerProbeMs) ? AudioBackend::Pulse : AudioBackend::Alsa;
}

} // namespace

AudioBackend audioBackend() {
    if (g_backend.load() < 0) {
        // A second caller waits for the first one's choice (a warm-up's).
        std::lock_guard lock(g_choosing);
        if (g_backend.load() < 0) {
            int none = -1; // a switch made meanwhile stands
            g_backend.compare_exchange_strong(none, int(backendFromEnvironment()));
        }
    }
    return AudioBackend(g_backend.load());
}

void setAudioBackend(AudioBackend backend) {
    g_backend.store(int(backend));
}

void forgetAudioBackendChoice() {
    g_backend.store(-1);
}

AudioWarmUp::AudioWarmUp() {
    // Only a choice that loads libpulse and asks for a server is worth a
    // thread; a named card or the virtual one is ready at once.
    const std::string name = backendNameFromEnvironment();
    if (g_backend.load() >= 0 || name == "virtual" || name == "alsa")
        return;
    try {
        thread_ = std::thread([] {
            const AudioBackendTable& table = backendTable(audioBackend());
            table.waveIn().count();
            table.mixer().count();
        });
    } catch (const std::system_error&) {
        // No thread: the first use makes the backend ready instead.
    }
}

AudioWarmUp::~AudioWarmUp() {
    finish();
}

void AudioWarmUp::finish() {
    if (thread_.joinable())
        thread_.join();
}

const AudioBackendTable& backendTable(AudioBackend backend) {
    switch (backend) {
    case AudioBackend::Virtual:
        return virtualBackendTable();
    case AudioBackend::Pulse:
        return pulseBackendTable();
    case AudioBackend::Alsa:
        break;
    }
    return alsaBackendTable();
}

std::unique_ptr<AudioOutput> createAudioOutput(int deviceId) {
    return backendTable(audioBackend()).createOutput(deviceId);
}

void copyName(char* field, size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

MixerControlModel makeMixerControl(uint32_t id, uint32_t type, const std::string& name,
                                   uint32_t channels, uint32_t binding) {
    MixerControlModel c;
    c.info.cbStruct = sizeof(MIXERCONTROL);
    c.info.dwControlID = id;
    c.info.dwControlType = type;
    copyName(c.info.szShortName, name);
    copyName(c.info.szName, name);
    switch (type) {
    case MIXERCONTROL_CONTROLTYPE_VOLUME:
        c.info.Bounds.dwMinimum = 0;
        c.info.Bounds.dwMaximum = 65535;
        c.info.Metrics.cSteps = 65536;
        break;
    case MIXERCONTROL_CONTROLTYPE_PEAKMETER:
        c.info.Bounds.lMinimum = -32768;
        c.info.Bounds.lMaximum = 32767;
        break;
    default: // switches and lists
        c.info.Bounds.dwMinimum = 0;
        c.info.Bounds.dwMaximum = 1;
        break;
    }
    if (channels == 1)
        c.info.fdwControl |= MIXERCONTROL_CONTROLF_UNIFORM;
    c.channels = channels;
    c.binding = binding;
    return c;
}

MixerLineModel makeMixerLine(uint32_t dest, uint32_t source, bool isSource, uint32_t type,
                             const std::string& shortName, const std::string& name, uint32_t lineId,
                             uint32_t channels, const std::string& product) {
    MixerLineModel l;
    l.info.cbStruct = sizeof(MIXERLINE);
    l.info.dwDestination = dest;
    l.info.dwSource = isSource ? source : 0;
    l.info.dwLineID = lineId;
    l.info.fdwLine = MIXERLINE_LINEF_ACTIVE | (isSource ? uint32_t(MIXERLINE_LINEF_SOURCE) : 0u);
    l.info.dwComponentType = type;
    l.info.cChannels = channels;
    copyName(l.info.szShortName, shortName);
    copyName(l.info.szName, name);
    copyName(l.info.Target.szPname, product);
    return l;
}

void addMixerDestination(MixerDeviceModel& model, MixerDestinationModel destination) {
    destination.line.info.cControls = uint32_t(destination.line.controls.size());
    for (MixerLineModel& source : destination.sources)
        source.info.cControls = uint32_t(source.controls.size());
    model.destinations.push_back(std::move(destination));
}

MMRESULT checkPcmFormat(const WAVEFORMATEX* f) {
    if (!f)
        return MMR_INVALPARAM;
    if (f->wFormatTag != WAVE_FORMAT_PCM || (f->nChannels != 1 && f->nChannels != 2) ||
        (f->wBitsPerSample != 8 && f->wBitsPerSample != 16) || f->nSamplesPerSec < 1000 ||
        f->nSamplesPerSec > 384000 || f->nBlockAlign != f->nChannels * f->wBitsPerSample / 8)
        return MMR_BADFORMAT;
    return MMR_NOERROR;
}
