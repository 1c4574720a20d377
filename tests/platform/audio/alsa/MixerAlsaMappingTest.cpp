#include "platform/audio/alsa/AlsaMixerMapping.h"

#include <gtest/gtest.h>

namespace {

AlsaElement playback(const std::string& name, bool mono = false) {
    AlsaElement e;
    e.name = name;
    e.playbackVolume = e.playbackSwitch = true;
    e.playbackMax = 31;
    e.playbackChannels = mono ? 1 : 2;
    return e;
}

AlsaElement capture(const std::string& name, bool volume = true, bool sw = true) {
    AlsaElement e;
    e.name = name;
    e.captureVolume = volume;
    e.captureSwitch = sw;
    e.captureMax = 15;
    return e;
}

AlsaElement captureSource(std::vector<std::string> items) {
    AlsaElement e;
    e.name = "Capture Source";
    e.captureEnum = true;
    e.enumItems = std::move(items);
    return e;
}

const MixerControlModel* find(const MixerLineModel& l, uint32_t type) {
    for (auto& c : l.controls) {
        if (c.info.dwControlType == type)
            return &c;
    }
    return nullptr;
}

TEST(MixerAlsaMapping, ACardWithACaptureSourceEnumeration) {
    std::vector<AlsaElement> e = {playback("Master"),
                                  playback("PCM"),
                                  playback("Beep", true),
                                  capture("Capture", true, true),
                                  captureSource({"Mic", "CD", "Line", "Mix"}),
                                  capture("Mic")};
    MixerDeviceModel m = mapAlsaMixer("Test Card", e);
    EXPECT_STREQ(m.caps.szPname, "Test Card");
    ASSERT_EQ(m.caps.cDestinations, 2u);
    ASSERT_EQ(m.destinations.size(), 2u);

    const auto& spk = m.destinations[0];
    EXPECT_EQ(spk.line.info.dwComponentType, uint32_t(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS));
    const MixerControlModel* vol = find(spk.line, MIXERCONTROL_CONTROLTYPE_VOLUME);
    ASSERT_NE(vol, nullptr);
    EXPECT_EQ(alsaBindingElement(vol->binding), 0u); // Master
    EXPECT_EQ(vol->info.Bounds.dwMaximum, 65535u);
    ASSERT_NE(find(spk.line, MIXERCONTROL_CONTROLTYPE_MUTE), nullptr);
    ASSERT_EQ(spk.sources.size(), 2u); // PCM and Beep
    EXPECT_EQ(spk.sources[0].info.dwComponentType, uint32_t(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT));
    EXPECT_EQ(spk.sources[1].info.cChannels, 1u);
    EXPECT_EQ(spk.line.info.cConnections, 2u);

    const auto& rec = m.destinations[1];
    EXPECT_EQ(rec.line.info.dwComponentType, uint32_t(MIXERLINE_COMPONENTTYPE_DST_WAVEIN));
    const MixerControlModel* mux = find(rec.line, MIXERCONTROL_CONTROLTYPE_MUX);
    ASSERT_NE(mux, nullptr);
    EXPECT_EQ(mux->info.cMultipleItems, 4u);
    EXPECT_EQ(mux->items, (std::vector<std::string>{"Mic", "CD", "Line", "Mix"}));
    EXPECT_TRUE(mux->info.fdwControl & MIXERCONTROL_CONTROLF_UNIFORM);
    EXPECT_TRUE(mux->info.fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE);
    EXPECT_EQ(alsaBindingKind(mux->binding), kAlsaCaptureMux);
    // "Capture" is the destination's own volume, not a source.
    EXPECT_NE(find(rec.line, MIXERCONTROL_CONTROLTYPE_VOLUME), nullptr);
    // One source per item in item order; "Mic" carries its element's controls.
    ASSERT_EQ(rec.sources.size(), 4u);
    EXPECT_STREQ(rec.sources[0].info.szName, "Mic");
    EXPECT_EQ(rec.sources[0].info.dwComponentType,
              uint32_t(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE));
    EXPECT_EQ(rec.sources[1].info.dwComponentType,
              uint32_t(MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC));
    EXPECT_EQ(rec.sources[0].controls.size(), 2u);
    const MixerControlModel* select = find(rec.sources[0], MIXERCONTROL_CONTROLTYPE_MUTE);
    ASSERT_NE(select, nullptr);
    EXPECT_EQ(alsaBindingKind(select->binding), kAlsaCaptureSelect); // true = selected
    EXPECT_EQ(alsaBindingElement(select->binding), 5u);
    EXPECT_EQ(rec.sources[1].controls.size(), 0u);
    for (uint32_t s = 0; s < rec.sources.size(); ++s) {
        EXPECT_EQ(rec.sources[s].info.dwSource, s);
        EXPECT_EQ(rec.sources[s].info.dwDestination, 1u);
        EXPECT_TRUE(rec.sources[s].info.fdwLine & MIXERLINE_LINEF_SOURCE);
        EXPECT_EQ(rec.sources[s].info.cControls, rec.sources[s].controls.size());
    }
    // Control ids are unique across the device.
    std::vector<uint32_t> ids;
    for (auto& d : m.destinations) {
        for (auto& c : d.line.controls)
            ids.push_back(c.info.dwControlID);
        for (auto& s : d.sources)
            for (auto& c : s.controls)
                ids.push_back(c.info.dwControlID);
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
}

TEST(MixerAlsaMapping, WithoutAnEnumerationEachCaptureElementIsASourceWithASelectSwitch) {
    std::vector<AlsaElement> e = {capture("Mic"), capture("Line", true, true),
                                  capture("CD", false, true)};
    MixerDeviceModel m = mapAlsaMixer("Capture Only", e);
    ASSERT_EQ(m.destinations.size(), 1u); // no playback elements: no speakers
    const auto& rec = m.destinations[0];
    EXPECT_EQ(rec.line.info.dwComponentType, uint32_t(MIXERLINE_COMPONENTTYPE_DST_WAVEIN));
    EXPECT_EQ(find(rec.line, MIXERCONTROL_CONTROLTYPE_MUX), nullptr);
    ASSERT_EQ(rec.sources.size(), 3u);
    EXPECT_EQ(rec.sources[2].controls.size(), 1u); // a switch only
    EXPECT_EQ(rec.sources[2].controls[0].info.dwControlType,
              uint32_t(MIXERCONTROL_CONTROLTYPE_MUTE));
    EXPECT_EQ(rec.line.info.dwDestination, 0u);
    EXPECT_EQ(rec.sources[1].info.dwDestination, 0u);
}

TEST(MixerAlsaMapping, PlaybackWithoutMasterAndNoElementsAtAll) {
    MixerDeviceModel m = mapAlsaMixer("Headphones", {playback("Headphone"), playback("PCM")});
    ASSERT_EQ(m.destinations.size(), 1u);
    EXPECT_EQ(
        alsaBindingElement(find(m.destinations[0].line, MIXERCONTROL_CONTROLTYPE_VOLUME)->binding),
        0u);
    EXPECT_EQ(m.destinations[0].sources.size(), 1u);
    MixerDeviceModel empty = mapAlsaMixer("Empty", {});
    EXPECT_EQ(empty.caps.cDestinations, 0u);
    // Long names are cut to the record's fields, always terminated.
    std::string longName(100, 'x');
    MixerDeviceModel cut = mapAlsaMixer(longName, {capture(longName)});
    EXPECT_EQ(std::string(cut.caps.szPname).size(), 31u);
    EXPECT_EQ(std::string(cut.destinations[0].sources[0].info.szShortName).size(), 15u);
    EXPECT_EQ(std::string(cut.destinations[0].sources[0].info.szName).size(), 63u);
}

TEST(MixerAlsaMapping, VolumeScalingCoversTheWholeRangeBothWays) {
    EXPECT_EQ(alsaToVolume(0, 0, 31), 0u);
    EXPECT_EQ(alsaToVolume(31, 0, 31), 65535u);
    EXPECT_EQ(alsaToVolume(-10, -10, 10), 0u);
    EXPECT_EQ(alsaToVolume(99, 0, 31), 65535u); // clamped
    EXPECT_EQ(alsaToVolume(5, 5, 5), 0u);       // empty range
    for (long v = 0; v <= 31; ++v)
        EXPECT_EQ(volumeToAlsa(alsaToVolume(v, 0, 31), 0, 31), v);
    EXPECT_EQ(volumeToAlsa(65535, -4000, 0), 0);
    EXPECT_EQ(volumeToAlsa(0, -4000, 0), -4000);
}

} // namespace
