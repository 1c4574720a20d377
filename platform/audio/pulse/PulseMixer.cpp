// The mixer over the sound server: one device named after the server.
//   - Destination 0 "Speakers" (type 4): the default sink's volume and mute.
//   - Destination 1 "Recording Control" (type 7): a MUX whose items are the
//     server's sources, monitors included, in the server's order; the item
//     set is the server's default source, so choosing a source here makes it
//     the default for every program, as a card's MUX chooses the input of
//     the card. Each source line has a volume and a mute.
// Volumes are linear: 65535 is the server's 100 % (PA_VOLUME_NORM) both
// ways; louder than 100 % reads as 65535.
//
// The model is rebuilt from the server state whenever the source list or
// the default source changes. Control ids are stable while a source exists
// (they are derived from the server's source index), so a change notified
// for a control finds the same line in a model read before or after it.
// Changes made by other programs reach the change callback on the
// connection's notifier thread: a volume or mute as that line's volume
// control, a source
// added or removed, a new default source or the server lost or found again
// as the MUX control.
#include "platform/audio/pulse/PulseBackend.h"
#include "platform/audio/pulse/PulseConnection.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace {

constexpr int kSetTimeoutMs = 2000;

constexpr uint32_t kSpeakerVolumeId = 1;
constexpr uint32_t kSpeakerMuteId = 2;
constexpr uint32_t kMuxId = 3;
constexpr uint32_t kSourceControlBase = 0x10000000u; // + source index * 2 (+1 mute)
constexpr uint32_t kSourceLineBase = 0x00010000u;    // + position

enum Binding : uint32_t { kSinkVolume = 1, kSinkMute, kMux, kSourceVolume, kSourceMute };

uint32_t sourceVolumeId(uint32_t index) {
    return kSourceControlBase + index * 2;
}

uint32_t toMixer(pa_volume_t v) {
    const uint64_t scaled = (uint64_t(v) * 65535 + PA_VOLUME_NORM / 2) / PA_VOLUME_NORM;
    return uint32_t(std::min<uint64_t>(scaled, 65535));
}

pa_volume_t toServer(int32_t v) {
    return pa_volume_t((uint64_t(uint32_t(v)) * PA_VOLUME_NORM + 32767) / 65535);
}

// A cvolume as one or two mixer channels (the first two of the server's).
std::vector<int32_t> channelsOf(const pa_cvolume& v, uint32_t channels) {
    std::vector<int32_t> out;
    for (uint32_t ch = 0; ch < channels; ++ch)
        out.push_back(int32_t(toMixer(v.channels > ch ? v.values[ch] : v.values[0])));
    return out;
}

// The mixer's channel values on the server's channels; a third and further
// channel take the louder of the two.
pa_cvolume serverVolume(const pa_cvolume& current, const std::vector<int32_t>& v) {
    pa_cvolume out = current;
    if (out.channels == 0)
        out.channels = 1;
    const int32_t louder = v.size() > 1 ? std::max(v[0], v[1]) : v[0];
    for (uint8_t ch = 0; ch < out.channels; ++ch)
        out.values[ch] = toServer(ch < v.size() ? v[ch] : louder);
    return out;
}

MixerLineModel line(uint32_t dest, uint32_t source, bool isSource, uint32_t type,
                    const std::string& name, uint32_t lineId, uint32_t channels,
                    const std::string& product) {
    return makeMixerLine(dest, source, isSource, type, name, name, lineId, channels, product);
}

uint32_t sourceType(const std::string& name, const std::string& description) {
    if (name.size() > 8 && name.compare(name.size() - 8, 8, ".monitor") == 0)
        return MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT; // what the speakers play
    std::string lower = description;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char ch) { return char(std::tolower(ch)); });
    if (lower.find("mic") != std::string::npos)
        return MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
    return MIXERLINE_COMPONENTTYPE_SRC_LINE;
}

MixerDeviceModel buildModel(const PulseState& state) {
    MixerDeviceModel m;
    m.name = pulseDeviceName(state);
    m.caps.wMid = 0xFF;
    m.caps.wPid = 0x10;
    m.caps.vDriverVersion = PA_PROTOCOL_VERSION;
    copyName(m.caps.szPname, m.name);
    m.caps.cDestinations = 2;

    const uint32_t sinkChannels = state.sink.volume.channels == 1 ? 1 : 2;
    MixerDestinationModel speakers;
    speakers.line = line(0, 0, false, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Speakers", 0xFFFF0000u,
                         sinkChannels, m.name);
    speakers.line.info.Target.dwType = MIXERLINE_TARGETTYPE_WAVEOUT;
    speakers.line.controls.push_back(makeMixerControl(
        kSpeakerVolumeId, MIXERCONTROL_CONTROLTYPE_VOLUME, "Volume", sinkChannels, kSinkVolume));
    speakers.line.controls.push_back(
        makeMixerControl(kSpeakerMuteId, MIXERCONTROL_CONTROLTYPE_MUTE, "Mute", 1, kSinkMute));

    MixerDestinationModel wavein;
    wavein.line = line(1, 0, false, MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording Control",
                       0xFFFF0001u, 2, m.name);
    wavein.line.info.Target.dwType = MIXERLINE_TARGETTYPE_WAVEIN;
    wavein.line.info.Target.dwDeviceID = 0; // the one capture device records the default source
    const uint32_t n = uint32_t(state.sources.size());
    wavein.line.info.cConnections = n;
    if (n > 0) {
        MixerControlModel mux =
            makeMixerControl(kMuxId, MIXERCONTROL_CONTROLTYPE_MUX, "Recording Source", 1, kMux);
        mux.info.fdwControl |= MIXERCONTROL_CONTROLF_MULTIPLE;
        mux.info.cMultipleItems = n;
        mux.info.Bounds.dwMaximum = n - 1;
        for (const PulseSource& s : state.sources)
            mux.items.push_back(s.description);
        mux.itemParam1 = kSourceLineBase;
        wavein.line.controls.push_back(mux);
    }
    for (uint32_t k = 0; k < n; ++k) {
        const PulseSource& s = state.sources[k];
        const uint32_t channels = s.volume.channels == 1 ? 1 : 2;
        MixerLineModel src = line(1, k, true, sourceType(s.name, s.description), s.description,
                                  kSourceLineBase + k, channels, m.name);
        src.controls.push_back(makeMixerControl(sourceVolumeId(s.index),
                                                MIXERCONTROL_CONTROLTYPE_VOLUME, "Volume", channels,
                                                kSourceVolume | s.index << 4));
        src.controls.push_back(makeMixerControl(sourceVolumeId(s.index) + 1,
                                                MIXERCONTROL_CONTROLTYPE_MUTE, "Mute", 1,
                                                kSourceMute | s.index << 4));
        wavein.line.itemLineIds.push_back(kSourceLineBase + k);
        wavein.sources.push_back(std::move(src));
    }
    addMixerDestination(m, std::move(speakers));
    addMixerDestination(m, std::move(wavein));
    return m;
}

const PulseSource* findSource(const PulseState& state, uint32_t index) {
    for (const PulseSource& s : state.sources) {
        if (s.index == index)
            return &s;
    }
    return nullptr;
}

class PulseMixerDevice : public MixerDeviceBackend {
public:
    PulseMixerDevice() { rebuild(*PulseConnection::instance().state()); }

    std::shared_ptr<const MixerDeviceModel> model() const override {
        std::lock_guard lock(mutex_);
        return model_;
    }

    // Notifier thread (or first use): a new model when the lines changed.
    void rebuild(const PulseState& state) {
        auto fresh = std::make_shared<const MixerDeviceModel>(buildModel(state));
        std::lock_guard lock(mutex_);
        model_ = std::move(fresh);
    }

    MMRESULT getValues(const MixerControlModel& c, std::vector<int32_t>& v) override {
        auto state = PulseConnection::instance().state();
        const uint32_t kind = c.binding & 0xF, index = c.binding >> 4;
        switch (kind) {
        case kSinkVolume:
            v = channelsOf(state->sink.volume, c.channels);
            return MMR_NOERROR;
        case kSinkMute:
            v = {state->sink.mute ? 1 : 0};
            return MMR_NOERROR;
        case kMux: {
            v.assign(c.info.cMultipleItems, 0);
            // Items are those of the model the caller holds, matched by name.
            const auto& items = c.items;
            for (size_t i = 0; i < items.size() && i < v.size(); ++i) {
                for (const PulseSource& s : state->sources) {
                    if (s.name == state->defaultSource && s.description == items[i])
                        v[i] = 1;
                }
            }
            return MMR_NOERROR;
        }
        case kSourceVolume:
        case kSourceMute: {
            const PulseSource* s = findSource(*state, index);
            if (!s)
                return MMR_MIXER_INVALCONTROL; // the source went away
            if (kind == kSourceVolume)
                v = channelsOf(s->volume, c.channels);
            else
                v = {s->mute ? 1 : 0};
            return MMR_NOERROR;
        }
        default:
            return MMR_MIXER_INVALCONTROL;
        }
    }

    MMRESULT setValues(const MixerControlModel& c, const std::vector<int32_t>& v) override {
        PulseConnection& pulse = PulseConnection::instance();
        auto state = pulse.state();
        const uint32_t kind = c.binding & 0xF, index = c.binding >> 4;
        PulseConnection::Lock lock(pulse);
        pa_context* ctx = pulse.context();
        if (!ctx)
            return MMR_NODRIVER;
        int ok = 0;
        pa_operation* op = nullptr;
        std::function<void(PulseState&)> apply;
        switch (kind) {
        case kSinkVolume: {
            if (state->sink.index == PA_INVALID_INDEX)
                return MMR_MIXER_INVALCONTROL;
            const pa_cvolume cv = serverVolume(state->sink.volume, v);
            op = libpulse().pa_context_set_sink_volume_by_index(
                ctx, state->sink.index, &cv, PulseConnection::successCallback, &ok);
            apply = [cv](PulseState& s) { s.sink.volume = cv; };
            break;
        }
        case kSinkMute: {
            if (state->sink.index == PA_INVALID_INDEX)
                return MMR_MIXER_INVALCONTROL;
            const bool mute = v[0] != 0;
            op = libpulse().pa_context_set_sink_mute_by_index(
                ctx, state->sink.index, mute, PulseConnection::successCallback, &ok);
            apply = [mute](PulseState& s) { s.sink.mute = mute; };
            break;
        }
        case kMux: {
            const auto item = std::find(v.begin(), v.end(), 1);
            if (item == v.end() || size_t(item - v.begin()) >= c.items.size())
                return MMR_MIXER_INVALVALUE;
            const std::string& description = c.items[size_t(item - v.begin())];
            std::string name;
            for (const PulseSource& s : state->sources) {
                if (s.description == description)
                    name = s.name;
            }
            if (name.empty())
                return MMR_MIXER_INVALVALUE; // that source went away
            op = libpulse().pa_context_set_default_source(ctx, name.c_str(),
                                                          PulseConnection::successCallback, &ok);
            apply = [name](PulseState& s) { s.defaultSource = name; };
            break;
        }
        case kSourceVolume:
        case kSourceMute: {
            const PulseSource* s = findSource(*state, index);
            if (!s)
                return MMR_MIXER_INVALCONTROL;
            if (kind == kSourceVolume) {
                const pa_cvolume cv = serverVolume(s->volume, v);
                op = libpulse().pa_context_set_source_volume_by_index(
                    ctx, index, &cv, PulseConnection::successCallback, &ok);
                apply = [index, cv](PulseState& st) {
                    for (PulseSource& src : st.sources) {
                        if (src.index == index)
                            src.volume = cv;
                    }
                };
            } else {
                const bool mute = v[0] != 0;
                op = libpulse().pa_context_set_source_mute_by_index(
                    ctx, index, mute, PulseConnection::successCallback, &ok);
                apply = [index, mute](PulseState& st) {
                    for (PulseSource& src : st.sources) {
                        if (src.index == index)
                            src.mute = mute;
                    }
                };
            }
            break;
        }
        default:
            return MMR_NOTSUPPORTED;
        }
        if (!pulse.finish(op, kSetTimeoutMs))
            return pulse.context() ? MMR_ERROR : MMR_NODRIVER;
        if (!ok)
            return kind == kSourceVolume || kind == kSourceMute ? MMR_MIXER_INVALCONTROL
                                                                : MMR_ERROR;
        pulse.applyOwnChange(apply);
        return MMR_NOERROR;
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<const MixerDeviceModel> model_; // guarded by mutex_
};

class PulseMixerBackend : public MixerBackend {
public:
    uint32_t count() override { return PulseConnection::instance().connect(kConnectMs) ? 1 : 0; }

    std::shared_ptr<MixerDeviceBackend> device(uint32_t index) override {
        if (index != 0 || !PulseConnection::instance().connect(kConnectMs))
            return nullptr;
        std::call_once(once_, [this] {
            device_ = std::make_shared<PulseMixerDevice>();
            PulseConnection::instance().setListener(
                [this](const PulseChanges& changes) { heard(changes); });
        });
        return device_;
    }

private:
    // Notifier thread: the model follows the server, then the callbacks hear it.
    void heard(const PulseChanges& changes) {
        auto state = PulseConnection::instance().state();
        if (changes.connection || changes.sourceList || changes.sink)
            device_->rebuild(*state);
        if (changes.connection || changes.sourceList || changes.defaultSource)
            mixerNotifyChange(AudioBackend::Pulse, 0, kMuxId);
        for (uint32_t index : changes.sourceLevels)
            mixerNotifyChange(AudioBackend::Pulse, 0, sourceVolumeId(index));
        if (changes.sink)
            mixerNotifyChange(AudioBackend::Pulse, 0, kSpeakerVolumeId);
    }

    std::once_flag once_;
    std::shared_ptr<PulseMixerDevice> device_;
};

} // namespace

MixerBackend& pulseMixerBackend() {
    // Lives until the process ends, as the connection's notifier thread that
    // calls it does.
    static PulseMixerBackend* backend = new PulseMixerBackend();
    return *backend;
}
