// The mixer over ALSA: one device per card ("hw:<card>"), its simple
// elements mapped by mapAlsaMixer; values are read from and written to the
// elements through snd_mixer_selem.
#include "platform/audio/alsa/AlsaBackend.h"
#include "platform/audio/alsa/AlsaCommon.h"
#include "platform/audio/alsa/AlsaMixerMapping.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace {

class AlsaMixerDevice : public MixerDeviceBackend {
public:
    AlsaMixerDevice(snd_mixer_t* mixer, std::vector<snd_mixer_elem_t*> elems,
                    std::vector<AlsaElement> desc, MixerDeviceModel model)
        : mixer_(mixer), elems_(std::move(elems)), desc_(std::move(desc)),
          model_(std::make_shared<const MixerDeviceModel>(std::move(model))) {}
    ~AlsaMixerDevice() override { snd_mixer_close(mixer_); }

    std::shared_ptr<const MixerDeviceModel> model() const override { return model_; }

    MMRESULT getValues(const MixerControlModel& c, std::vector<int32_t>& v) override {
        std::lock_guard lock(mutex_);
        snd_mixer_handle_events(mixer_);
        const size_t i = alsaBindingElement(c.binding);
        if (i >= elems_.size())
            return MMR_MIXER_INVALCONTROL;
        snd_mixer_elem_t* e = elems_[i];
        const AlsaElement& d = desc_[i];
        v.assign(size_t(c.channels) * std::max<uint32_t>(c.info.cMultipleItems, 1), 0);
        for (uint32_t ch = 0; ch < c.channels; ++ch) {
            auto channel = snd_mixer_selem_channel_id_t(ch);
            long value = 0;
            int sw = 0;
            int err = 0;
            switch (alsaBindingKind(c.binding)) {
            case kAlsaPlaybackVolume:
                err = snd_mixer_selem_get_playback_volume(e, channel, &value);
                v[ch] = int32_t(alsaToVolume(value, d.playbackMin, d.playbackMax));
                break;
            case kAlsaPlaybackMute:
                err = snd_mixer_selem_get_playback_switch(e, channel, &sw);
                v[ch] = sw ? 0 : 1;
                break;
            case kAlsaCaptureVolume:
                err = snd_mixer_selem_get_capture_volume(e, channel, &value);
                v[ch] = int32_t(alsaToVolume(value, d.captureMin, d.captureMax));
                break;
            case kAlsaCaptureSelect:
                err = snd_mixer_selem_get_capture_switch(e, channel, &sw);
                v[ch] = sw ? 1 : 0;
                break;
            case kAlsaCaptureMux: {
                unsigned item = 0;
                err = snd_mixer_selem_get_enum_item(e, channel, &item);
                if (err >= 0 && item < c.info.cMultipleItems)
                    v[size_t(ch) * c.info.cMultipleItems + item] = 1;
                break;
            }
            default:
                return MMR_MIXER_INVALCONTROL;
            }
            if (err < 0)
                return alsaResult(err);
        }
        return MMR_NOERROR;
    }

    MMRESULT setValues(const MixerControlModel& c, const std::vector<int32_t>& v) override {
        std::lock_guard lock(mutex_);
        const size_t i = alsaBindingElement(c.binding);
        if (i >= elems_.size())
            return MMR_MIXER_INVALCONTROL;
        snd_mixer_elem_t* e = elems_[i];
        const AlsaElement& d = desc_[i];
        int err = 0;
        switch (alsaBindingKind(c.binding)) {
        case kAlsaPlaybackVolume:
            for (uint32_t ch = 0; ch < c.channels && err >= 0; ++ch)
                err = snd_mixer_selem_set_playback_volume(
                    e, snd_mixer_selem_channel_id_t(ch),
                    volumeToAlsa(uint32_t(v[ch]), d.playbackMin, d.playbackMax));
            break;
        case kAlsaPlaybackMute:
            err = snd_mixer_selem_set_playback_switch_all(e, v[0] ? 0 : 1);
            break;
        case kAlsaCaptureVolume:
            for (uint32_t ch = 0; ch < c.channels && err >= 0; ++ch)
                err = snd_mixer_selem_set_capture_volume(
                    e, snd_mixer_selem_channel_id_t(ch),
                    volumeToAlsa(uint32_t(v[ch]), d.captureMin, d.captureMax));
            break;
        case kAlsaCaptureSelect:
            err = snd_mixer_selem_set_capture_switch_all(e, v[0] ? 1 : 0);
            break;
        case kAlsaCaptureMux:
            for (uint32_t item = 0; item < c.info.cMultipleItems; ++item) {
                if (v[item]) {
                    for (int ch = 0; ch <= SND_MIXER_SCHN_LAST && err >= 0; ++ch) {
                        if (snd_mixer_selem_has_capture_channel(e,
                                                                snd_mixer_selem_channel_id_t(ch)) ||
                            ch == 0)
                            err = snd_mixer_selem_set_enum_item(e, snd_mixer_selem_channel_id_t(ch),
                                                                item);
                    }
                }
            }
            break;
        default:
            return MMR_MIXER_INVALCONTROL;
        }
        return err < 0 ? alsaResult(err) : MMR_NOERROR;
    }

private:
    std::mutex mutex_; // serialises use of mixer_
    snd_mixer_t* mixer_;
    std::vector<snd_mixer_elem_t*> elems_;
    std::vector<AlsaElement> desc_;
    std::shared_ptr<const MixerDeviceModel> model_;
};

std::vector<int> cards() {
    alsaInit();
    std::vector<int> out;
    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0)
        out.push_back(card);
    return out;
}

std::shared_ptr<MixerDeviceBackend> openCard(int card) {
    char hw[32];
    snprintf(hw, sizeof hw, "hw:%d", card);
    snd_mixer_t* mixer = nullptr;
    if (snd_mixer_open(&mixer, 0) < 0)
        return nullptr;
    if (snd_mixer_attach(mixer, hw) < 0 || snd_mixer_selem_register(mixer, nullptr, nullptr) < 0 ||
        snd_mixer_load(mixer) < 0) {
        snd_mixer_close(mixer);
        return nullptr;
    }
    std::vector<snd_mixer_elem_t*> elems;
    std::vector<AlsaElement> desc;
    for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer); e; e = snd_mixer_elem_next(e)) {
        if (!snd_mixer_selem_is_active(e))
            continue;
        AlsaElement d;
        d.name = snd_mixer_selem_get_name(e);
        d.index = snd_mixer_selem_get_index(e);
        d.playbackVolume = snd_mixer_selem_has_playback_volume(e);
        d.playbackSwitch = snd_mixer_selem_has_playback_switch(e);
        d.captureVolume = snd_mixer_selem_has_capture_volume(e);
        d.captureSwitch = snd_mixer_selem_has_capture_switch(e);
        if (d.playbackVolume)
            snd_mixer_selem_get_playback_volume_range(e, &d.playbackMin, &d.playbackMax);
        if (d.captureVolume)
            snd_mixer_selem_get_capture_volume_range(e, &d.captureMin, &d.captureMax);
        d.playbackChannels = snd_mixer_selem_is_playback_mono(e) ? 1 : 2;
        d.captureChannels = snd_mixer_selem_is_capture_mono(e) ? 1 : 2;
        if (snd_mixer_selem_is_enumerated(e) && snd_mixer_selem_is_enum_capture(e)) {
            d.captureEnum = true;
            int n = snd_mixer_selem_get_enum_items(e);
            for (int k = 0; k < n; ++k) {
                char name[64] = {};
                snd_mixer_selem_get_enum_item_name(e, unsigned(k), sizeof name - 1, name);
                d.enumItems.push_back(name);
            }
        }
        elems.push_back(e);
        desc.push_back(std::move(d));
    }
    char* cardName = nullptr;
    std::string name = hw;
    if (snd_card_get_name(card, &cardName) == 0 && cardName)
        name = cardName;
    free(cardName);
    MixerDeviceModel model = mapAlsaMixer(name, desc);
    model.name = name;
    // The wave-in destination is recorded by the card's first capture device.
    const auto capture = alsaPcmDevices(SND_PCM_STREAM_CAPTURE);
    const auto own = std::find_if(capture.begin(), capture.end(),
                                  [card](const AlsaPcmDevice& d) { return d.card == card; });
    for (auto& d : model.destinations) {
        if (d.line.info.dwComponentType == MIXERLINE_COMPONENTTYPE_DST_WAVEIN &&
            own != capture.end()) {
            d.line.info.Target.dwType = MIXERLINE_TARGETTYPE_WAVEIN;
            d.line.info.Target.dwDeviceID = uint32_t(own - capture.begin());
        }
    }
    return std::make_shared<AlsaMixerDevice>(mixer, std::move(elems), std::move(desc),
                                             std::move(model));
}

class AlsaMixerBackend : public MixerBackend {
public:
    uint32_t count() override { return uint32_t(cards().size()); }

    std::shared_ptr<MixerDeviceBackend> device(uint32_t index) override {
        auto list = cards();
        if (index >= list.size())
            return nullptr;
        std::lock_guard lock(mutex_);
        auto& cached = cache_[list[index]];
        if (!cached)
            cached = openCard(list[index]);
        return cached;
    }

private:
    std::mutex mutex_;
    std::map<int, std::shared_ptr<MixerDeviceBackend>> cache_; // by card number
};

} // namespace

MixerBackend& alsaMixerBackend() {
    static AlsaMixerBackend backend;
    return backend;
}
