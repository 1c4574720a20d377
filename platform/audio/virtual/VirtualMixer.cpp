// The virtual card's mixer: the device model built from a device's
// configuration, with values read from and written to the card's state.
#include "platform/audio/virtual/VirtualBackend.h"
#include "platform/audio/virtual/VirtualCardImpl.h"

#include <map>

namespace {

// Bindings: what a control stands for in VirtualDeviceState.
enum Binding : uint32_t {
    kSpeakerVolume = 1,
    kSpeakerMute,
    kMux,
    kPeak,
    kSourceVolume, // + source index << 8
    kSourceSelect, // + source index << 8
};

const char* const kSourceNames[kVirtualSources] = {"Microphone", "Line In", "CD Audio",
                                                   "Stereo Mix", "Auxiliary"};
const char* const kSourceShort[kVirtualSources] = {"Mic", "Line", "CD", "Mix", "Aux"};
const uint32_t kSourceTypes[kVirtualSources] = {
    MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, MIXERLINE_COMPONENTTYPE_SRC_LINE,
    MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, MIXERLINE_COMPONENTTYPE_SRC_ANALOG,
    MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY};

MixerControlModel control(uint32_t& nextId, uint32_t type, const std::string& name,
                          uint32_t channels, uint32_t binding) {
    return makeMixerControl(nextId++, type, name, channels, binding);
}

MixerLineModel line(uint32_t dest, uint32_t source, bool isSource, uint32_t type,
                    const std::string& shortName, const std::string& name, uint32_t lineId,
                    const std::string& product) {
    return makeMixerLine(dest, source, isSource, type, shortName, name, lineId, 2, product);
}

MixerDeviceModel buildModel(const VirtualDeviceState& dev) {
    MixerDeviceModel m;
    const std::string& product = dev.config.name;
    m.name = product;
    m.caps.wMid = 0xFF;
    m.caps.wPid = uint16_t(1 + dev.index);
    m.caps.vDriverVersion = 0x0100;
    copyName(m.caps.szPname, product);
    m.caps.cDestinations = 2;
    uint32_t id = 1;

    MixerDestinationModel speakers;
    speakers.line = line(0, 0, false, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers", "Speakers",
                         0xFFFF0000u, product);
    speakers.line.controls.push_back(
        control(id, MIXERCONTROL_CONTROLTYPE_VOLUME, "Volume", 2, kSpeakerVolume));
    speakers.line.controls.push_back(
        control(id, MIXERCONTROL_CONTROLTYPE_MUTE, "Mute", 1, kSpeakerMute));

    MixerDestinationModel wavein;
    const int sources = dev.config.hasMux ? 4 : kVirtualSources;
    wavein.line = line(1, 0, false, MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording",
                       "Recording Control", 0xFFFF0001u, product);
    wavein.line.info.cConnections = uint32_t(sources);
    // Recorded by the capture device of the same number.
    wavein.line.info.Target.dwType = MIXERLINE_TARGETTYPE_WAVEIN;
    wavein.line.info.Target.dwDeviceID = uint32_t(dev.index);
    if (dev.config.hasMux) {
        MixerControlModel mux =
            control(id, MIXERCONTROL_CONTROLTYPE_MUX, "Recording Source", 1, kMux);
        mux.info.fdwControl |= MIXERCONTROL_CONTROLF_MULTIPLE;
        mux.info.cMultipleItems = 4;
        mux.info.Bounds.dwMaximum = 3;
        for (int s = 0; s < 4; ++s)
            mux.items.push_back(kSourceNames[s]);
        mux.itemParam1 = 0x00010000u; // line id of the first source
        wavein.line.controls.push_back(mux);
    }
    wavein.line.controls.push_back(
        control(id, MIXERCONTROL_CONTROLTYPE_PEAKMETER, "Peak Meter", 2, kPeak));
    for (int s = 0; s < sources; ++s) {
        MixerLineModel src = line(1, uint32_t(s), true, kSourceTypes[s], kSourceShort[s],
                                  kSourceNames[s], 0x00010000u + uint32_t(s), product);
        if (s != VS_AUXILIARY) {
            src.controls.push_back(control(id, MIXERCONTROL_CONTROLTYPE_VOLUME, "Volume", 2,
                                           kSourceVolume | uint32_t(s) << 8));
            if (!dev.config.hasMux)
                src.controls.push_back(control(id, MIXERCONTROL_CONTROLTYPE_MUTE, "Select", 1,
                                               kSourceSelect | uint32_t(s) << 8));
        }
        wavein.sources.push_back(src);
    }
    addMixerDestination(m, std::move(speakers));
    addMixerDestination(m, std::move(wavein));
    return m;
}

class VirtualMixerDevice : public MixerDeviceBackend {
public:
    explicit VirtualMixerDevice(std::shared_ptr<VirtualDeviceState> dev)
        : dev_(std::move(dev)),
          model_(std::make_shared<const MixerDeviceModel>(buildModel(*dev_))) {}

    std::shared_ptr<const MixerDeviceModel> model() const override { return model_; }

    MMRESULT getValues(const MixerControlModel& c, std::vector<int32_t>& v) override {
        auto& card = VirtualCard::instance().impl();
        std::lock_guard lock(card.mutex);
        VirtualDeviceState& d = *dev_;
        const uint32_t kind = c.binding & 0xFF, s = c.binding >> 8;
        switch (kind) {
        case kSpeakerVolume:
            v = {d.speakerVolume[0], d.speakerVolume[1]};
            break;
        case kSpeakerMute:
            v = {d.speakerMute ? 1 : 0};
            break;
        case kMux:
            v.assign(4, 0);
            v[d.muxItem] = 1;
            break;
        case kPeak:
            v = {d.peak[0], d.peak[1]};
            break;
        case kSourceVolume:
            v = {d.sourceVolume[s][0], d.sourceVolume[s][1]};
            break;
        case kSourceSelect:
            v = {d.sourceSelected[s] ? 1 : 0};
            break;
        default:
            return MMR_MIXER_INVALCONTROL;
        }
        return MMR_NOERROR;
    }

    MMRESULT setValues(const MixerControlModel& c, const std::vector<int32_t>& v) override {
        auto& card = VirtualCard::instance().impl();
        std::lock_guard lock(card.mutex);
        VirtualDeviceState& d = *dev_;
        const uint32_t kind = c.binding & 0xFF, s = c.binding >> 8;
        switch (kind) {
        case kSpeakerVolume:
            d.speakerVolume[0] = uint16_t(v[0]);
            d.speakerVolume[1] = uint16_t(v[1]);
            break;
        case kSpeakerMute:
            d.speakerMute = v[0] != 0;
            break;
        case kMux:
            for (uint32_t i = 0; i < v.size(); ++i) {
                if (v[i])
                    d.muxItem = i;
            }
            break;
        case kSourceVolume:
            d.sourceVolume[s][0] = uint16_t(v[0]);
            d.sourceVolume[s][1] = uint16_t(v[1]);
            break;
        case kSourceSelect:
            d.sourceSelected[s] = v[0] != 0;
            break;
        default:
            return MMR_NOTSUPPORTED;
        }
        return MMR_NOERROR;
    }

private:
    std::shared_ptr<VirtualDeviceState> dev_;
    std::shared_ptr<const MixerDeviceModel> model_;
};

class VirtualMixerBackend : public MixerBackend {
public:
    uint32_t count() override {
        auto& card = VirtualCard::instance().impl();
        std::lock_guard lock(card.mutex);
        return uint32_t(card.devices.size());
    }

    std::shared_ptr<MixerDeviceBackend> device(uint32_t index) override {
        auto& card = VirtualCard::instance().impl();
        std::lock_guard lock(card.mutex);
        auto dev = card.device(int(index));
        if (!dev)
            return nullptr;
        // One model per device state: rebuilt after every configure.
        auto& cached = cache_[dev.get()];
        if (!cached || generation_ != card.generation) {
            if (generation_ != card.generation) {
                cache_.clear();
                generation_ = card.generation;
            }
            auto fresh = std::make_shared<VirtualMixerDevice>(dev);
            cache_[dev.get()] = fresh;
            return fresh;
        }
        return cached;
    }

private:
    // Guarded by the card's mutex.
    std::map<const VirtualDeviceState*, std::shared_ptr<VirtualMixerDevice>> cache_;
    uint32_t generation_ = 0;
};

} // namespace

MixerBackend& virtualMixerBackend() {
    static VirtualMixerBackend backend;
    return backend;
}
