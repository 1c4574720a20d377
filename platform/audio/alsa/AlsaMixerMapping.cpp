#include "platform/audio/alsa/AlsaMixerMapping.h"

#include <algorithm>
#include <cctype>

namespace {

std::string lower(std::string s) {
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool isPlayback(const AlsaElement& e) {
    return e.playbackVolume || e.playbackSwitch;
}
bool isCapture(const AlsaElement& e) {
    return e.captureVolume || e.captureSwitch;
}

struct Builder {
    uint32_t nextControlId = 1;
    std::string product;

    MixerControlModel control(uint32_t type, const std::string& name, uint32_t channels,
                              uint32_t binding) {
        return makeMixerControl(nextControlId++, type, name, channels, binding);
    }

    MixerLineModel line(uint32_t dest, uint32_t source, bool isSource, uint32_t type,
                        const std::string& name, uint32_t channels) {
        const uint32_t lineId = isSource ? (dest << 16 | source) : (0xFFFF0000u | dest);
        return makeMixerLine(dest, source, isSource, type, name, name, lineId, channels, product);
    }

    void addPlaybackControls(MixerLineModel& l, const AlsaElement& e, size_t i) {
        if (e.playbackVolume)
            l.controls.push_back(control(MIXERCONTROL_CONTROLTYPE_VOLUME, e.name + " Volume",
                                         e.playbackChannels, alsaBinding(kAlsaPlaybackVolume, i)));
        if (e.playbackSwitch)
            l.controls.push_back(control(MIXERCONTROL_CONTROLTYPE_MUTE, e.name + " Mute", 1,
                                         alsaBinding(kAlsaPlaybackMute, i)));
    }

    void addCaptureControls(MixerLineModel& l, const AlsaElement& e, size_t i) {
        if (e.captureVolume)
            l.controls.push_back(control(MIXERCONTROL_CONTROLTYPE_VOLUME, e.name + " Volume",
                                         e.captureChannels, alsaBinding(kAlsaCaptureVolume, i)));
        if (e.captureSwitch)
            l.controls.push_back(control(MIXERCONTROL_CONTROLTYPE_MUTE, e.name + " Select", 1,
                                         alsaBinding(kAlsaCaptureSelect, i)));
    }
};

void finish(MixerDestinationModel& d) {
    d.line.info.cConnections = uint32_t(d.sources.size());
    d.line.info.cControls = uint32_t(d.line.controls.size());
    for (auto& s : d.sources)
        s.info.cControls = uint32_t(s.controls.size());
}

} // namespace

uint32_t alsaComponentType(const std::string& name) {
    const std::string n = lower(name);
    auto has = [&](const char* w) { return n.find(w) != std::string::npos; };
    if (has("mic"))
        return MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
    if (has("line"))
        return MIXERLINE_COMPONENTTYPE_SRC_LINE;
    if (has("cd"))
        return MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC;
    if (has("mix"))
        return MIXERLINE_COMPONENTTYPE_SRC_ANALOG;
    if (has("aux"))
        return MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY;
    if (has("phone"))
        return MIXERLINE_COMPONENTTYPE_SRC_TELEPHONE;
    if (has("pcm") || has("wave"))
        return MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT;
    if (has("synth") || has("midi"))
        return MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER;
    if (has("beep") || has("speaker"))
        return MIXERLINE_COMPONENTTYPE_SRC_PCSPEAKER;
    if (has("iec958") || has("spdif") || has("digital"))
        return MIXERLINE_COMPONENTTYPE_SRC_DIGITAL;
    return MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED;
}

uint32_t alsaToVolume(long value, long min, long max) {
    if (max <= min)
        return value > min ? 65535 : 0;
    value = std::clamp(value, min, max);
    return uint32_t(((long long)(value - min) * 65535 + (max - min) / 2) / (max - min));
}

long volumeToAlsa(uint32_t volume, long min, long max) {
    if (max <= min)
        return min;
    volume = std::min<uint32_t>(volume, 65535);
    return min + long(((long long)volume * (max - min) + 32767) / 65535);
}

MixerDeviceModel mapAlsaMixer(const std::string& cardName,
                              const std::vector<AlsaElement>& elements) {
    MixerDeviceModel m;
    Builder b;
    b.product = cardName;
    copyName(m.caps.szPname, cardName);
    m.caps.vDriverVersion = 0x0100;

    // Speakers.
    size_t master = elements.size();
    for (size_t i = 0; i < elements.size() && master == elements.size(); ++i) {
        if (elements[i].name == "Master" && isPlayback(elements[i]))
            master = i;
    }
    for (size_t i = 0; i < elements.size() && master == elements.size(); ++i) {
        if (elements[i].playbackVolume)
            master = i;
    }
    bool anyPlayback = std::any_of(elements.begin(), elements.end(), isPlayback);
    if (anyPlayback) {
        const uint32_t dest = uint32_t(m.destinations.size());
        MixerDestinationModel d;
        d.line = b.line(dest, 0, false, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers",
                        master < elements.size() ? elements[master].playbackChannels : 2);
        if (master < elements.size())
            b.addPlaybackControls(d.line, elements[master], master);
        for (size_t i = 0; i < elements.size(); ++i) {
            const AlsaElement& e = elements[i];
            if (i == master || !isPlayback(e))
                continue;
            MixerLineModel s = b.line(dest, uint32_t(d.sources.size()), true,
                                      alsaComponentType(e.name), e.name, e.playbackChannels);
            b.addPlaybackControls(s, e, i);
            d.sources.push_back(std::move(s));
        }
        finish(d);
        m.destinations.push_back(std::move(d));
    }

    // Wave-in.
    size_t muxElement = elements.size(), captureMaster = elements.size();
    for (size_t i = 0; i < elements.size(); ++i) {
        if (elements[i].captureEnum && !elements[i].enumItems.empty() &&
            muxElement == elements.size())
            muxElement = i;
        if (elements[i].name == "Capture" && elements[i].captureVolume &&
            captureMaster == elements.size())
            captureMaster = i;
    }
    bool anyCapture =
        muxElement < elements.size() || std::any_of(elements.begin(), elements.end(), isCapture);
    if (anyCapture) {
        const uint32_t dest = uint32_t(m.destinations.size());
        MixerDestinationModel d;
        d.line =
            b.line(dest, 0, false, MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Capture",
                   captureMaster < elements.size() ? elements[captureMaster].captureChannels : 2);
        if (captureMaster < elements.size()) {
            const AlsaElement& e = elements[captureMaster];
            d.line.controls.push_back(b.control(MIXERCONTROL_CONTROLTYPE_VOLUME, "Capture Volume",
                                                e.captureChannels,
                                                alsaBinding(kAlsaCaptureVolume, captureMaster)));
        }
        std::vector<bool> used(elements.size(), false);
        if (captureMaster < elements.size())
            used[captureMaster] = true;
        if (muxElement < elements.size()) {
            const AlsaElement& e = elements[muxElement];
            MixerControlModel mux = b.control(MIXERCONTROL_CONTROLTYPE_MUX, e.name, 1,
                                              alsaBinding(kAlsaCaptureMux, muxElement));
            mux.info.fdwControl |= MIXERCONTROL_CONTROLF_MULTIPLE;
            mux.info.cMultipleItems = uint32_t(e.enumItems.size());
            mux.info.Bounds.dwMaximum = uint32_t(e.enumItems.size() - 1);
            mux.items = e.enumItems;
            mux.itemParam1 = dest << 16; // line id of source 0
            d.line.controls.push_back(std::move(mux));
            for (const std::string& item : e.enumItems) {
                MixerLineModel s = b.line(dest, uint32_t(d.sources.size()), true,
                                          alsaComponentType(item), item, 2);
                for (size_t i = 0; i < elements.size(); ++i) {
                    if (!used[i] && elements[i].name == item && isCapture(elements[i])) {
                        s.info.cChannels = elements[i].captureChannels;
                        b.addCaptureControls(s, elements[i], i);
                        used[i] = true;
                        break;
                    }
                }
                d.sources.push_back(std::move(s));
            }
        }
        for (size_t i = 0; i < elements.size(); ++i) {
            const AlsaElement& e = elements[i];
            if (used[i] || !isCapture(e))
                continue;
            MixerLineModel s = b.line(dest, uint32_t(d.sources.size()), true,
                                      alsaComponentType(e.name), e.name, e.captureChannels);
            b.addCaptureControls(s, e, i);
            d.sources.push_back(std::move(s));
        }
        finish(d);
        m.destinations.push_back(std::move(d));
    }
    m.caps.cDestinations = uint32_t(m.destinations.size());
    return m;
}
