#include "platform/AudioTestSupport.h"
#include "platform/MixerTestSupport.h"

#include <string>

namespace {

using MixerVirtual = VirtualCardTest;

TEST_F(MixerVirtual, DestinationsSourcesAndControlsOfACardWithAMux) {
    ASSERT_EQ(mixerGetNumDevs(), 1u);
    MIXERCAPS caps;
    ASSERT_EQ(mixerGetDevCapsA(0u, &caps), MMR_NOERROR);
    EXPECT_STREQ(caps.szPname, "Virtual Card 1");
    ASSERT_EQ(caps.cDestinations, 2u);

    MIXERLINE speakers = mixerDestination(0u, 0);
    EXPECT_EQ(speakers.dwComponentType, uint32_t(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS));
    auto sc = lineControls(0u, speakers);
    MIXERCONTROL vol = controlOfType(sc, MIXERCONTROL_CONTROLTYPE_VOLUME);
    EXPECT_EQ(vol.Bounds.dwMinimum, 0u);
    EXPECT_EQ(vol.Bounds.dwMaximum, 65535u);
    controlOfType(sc, MIXERCONTROL_CONTROLTYPE_MUTE);

    MIXERLINE wavein = mixerDestination(0u, 1);
    EXPECT_EQ(wavein.dwComponentType, uint32_t(MIXERLINE_COMPONENTTYPE_DST_WAVEIN));
    ASSERT_EQ(wavein.cConnections, 4u);
    const char* names[] = {"Microphone", "Line In", "CD Audio", "Stereo Mix"};
    for (uint32_t s = 0; s < 4; ++s) {
        MIXERLINE l = mixerSource(0u, 1, s);
        EXPECT_STREQ(l.szName, names[s]);
        EXPECT_EQ(l.dwSource, s);
        EXPECT_EQ(l.cChannels, 2u);
        EXPECT_EQ(lineControls(0u, l).at(0).dwControlType,
                  uint32_t(MIXERCONTROL_CONTROLTYPE_VOLUME));
    }
    MIXERCONTROL mux = controlOfType(lineControls(0u, wavein), MIXERCONTROL_CONTROLTYPE_MUX);
    EXPECT_EQ(mux.cMultipleItems, 4u);
    EXPECT_TRUE(mux.fdwControl & MIXERCONTROL_CONTROLF_UNIFORM);
    EXPECT_TRUE(mux.fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE);
    std::vector<std::string> items;
    EXPECT_EQ(waveInMux(0u, &items).dwControlID, mux.dwControlID);
    EXPECT_EQ(items, std::vector<std::string>(std::begin(names), std::end(names)));
    EXPECT_EQ(controlValues(0u, mux, 1), (std::vector<int32_t>{1, 0, 0, 0}));

    // Lines are also found by id and by component type.
    MIXERLINE byId{};
    byId.cbStruct = sizeof byId;
    byId.dwLineID = wavein.dwLineID;
    ASSERT_EQ(mixerGetLineInfoA(0u, &byId, MIXER_GETLINEINFOF_LINEID), MMR_NOERROR);
    EXPECT_EQ(byId.dwDestination, 1u);
    MIXERLINE byType{};
    byType.cbStruct = sizeof byType;
    byType.dwComponentType = MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC;
    ASSERT_EQ(mixerGetLineInfoA(0u, &byType, MIXER_GETLINEINFOF_COMPONENTTYPE), MMR_NOERROR);
    EXPECT_STREQ(byType.szName, "CD Audio");
}

TEST_F(MixerVirtual, WithoutAMuxSourcesHaveSelectSwitchesAndOneHasNoControls) {
    configure(0.0, false);
    MIXERLINE wavein = mixerDestination(0u, 1);
    ASSERT_EQ(wavein.cConnections, 5u);
    for (auto& c : lineControls(0u, wavein))
        EXPECT_NE(c.dwControlType, uint32_t(MIXERCONTROL_CONTROLTYPE_MUX));
    MIXERLINE aux = mixerSource(0u, 1, 4);
    EXPECT_EQ(aux.cControls, 0u);
    MIXERLINE line = mixerSource(0u, 1, 1);
    MIXERCONTROL select = controlOfType(lineControls(0u, line), MIXERCONTROL_CONTROLTYPE_MUTE);
    EXPECT_EQ(controlValues(0u, select, 1), (std::vector<int32_t>{0}));
    ASSERT_EQ(setControlValues(0u, select, {-1}, 1), MMR_NOERROR); // any non-zero is true
    EXPECT_EQ(controlValues(0u, select, 1), (std::vector<int32_t>{1}));
}

TEST_F(MixerVirtual, SettingAValueNotifiesEveryOpenHandleOfThatDevice) {
    configure(0.0, true, 2);
    std::vector<std::pair<HMIXER, uint32_t>> seen;
    HMIXER a = nullptr, b = nullptr, other = nullptr;
    ASSERT_EQ(mixerOpen(&a, 0, [&](HMIXER h, uint32_t id) { seen.emplace_back(h, id); }),
              MMR_NOERROR);
    ASSERT_EQ(mixerOpen(&b, 0, [&](HMIXER h, uint32_t id) { seen.emplace_back(h, id); }),
              MMR_NOERROR);
    ASSERT_EQ(mixerOpen(&other, 1, [&](HMIXER h, uint32_t id) { seen.emplace_back(h, id); }),
              MMR_NOERROR);
    MIXERCONTROL mux =
        controlOfType(lineControls(a, mixerDestination(a, 1)), MIXERCONTROL_CONTROLTYPE_MUX);
    ASSERT_EQ(setControlValues(a, mux, {0, 0, 1, 0}, 1), MMR_NOERROR);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].second, mux.dwControlID);
    EXPECT_EQ(controlValues(0u, mux, 1), (std::vector<int32_t>{0, 0, 1, 0}));
    // The second device kept its own selection.
    EXPECT_EQ(controlValues(1u, mux, 1), (std::vector<int32_t>{1, 0, 0, 0}));

    // Addressed by index the change notifies too; a closed handle no more.
    ASSERT_EQ(mixerClose(b), MMR_NOERROR);
    seen.clear();
    MIXERCONTROL vol =
        controlOfType(lineControls(0u, mixerDestination(0u, 0)), MIXERCONTROL_CONTROLTYPE_VOLUME);
    ASSERT_EQ(setControlValues(0u, vol, {1000, 2000}, 2), MMR_NOERROR);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].first, a);
    EXPECT_EQ(mixerClose(b), MMR_INVALHANDLE);
    MIXERCAPS caps;
    EXPECT_EQ(mixerGetDevCapsA(b, &caps), MMR_INVALHANDLE);
    MIXERCAPS caps1;
    ASSERT_EQ(mixerGetDevCapsA(other, &caps1), MMR_NOERROR);
    ASSERT_EQ(mixerGetDevCapsA(a, &caps), MMR_NOERROR);
    EXPECT_STRNE(caps.szPname, caps1.szPname);
    mixerClose(a);
    mixerClose(other);
}

TEST_F(MixerVirtual, ValuesAreCheckedAndOneChannelSetsThemAll) {
    MIXERLINE mic = mixerSource(0u, 1, 0);
    MIXERCONTROL vol = controlOfType(lineControls(0u, mic), MIXERCONTROL_CONTROLTYPE_VOLUME);
    ASSERT_EQ(setControlValues(0u, vol, {12345}, 1), MMR_NOERROR);
    EXPECT_EQ(controlValues(0u, vol, 2), (std::vector<int32_t>{12345, 12345}));
    EXPECT_EQ(setControlValues(0u, vol, {70000, 0}, 2), MMR_MIXER_INVALVALUE);
    EXPECT_EQ(setControlValues(0u, vol, {-1, 0}, 2), MMR_MIXER_INVALVALUE);
    EXPECT_EQ(setControlValues(0u, vol, {1, 2, 3}, 3), MMR_INVALPARAM);
    MIXERCONTROL mux =
        controlOfType(lineControls(0u, mixerDestination(0u, 1)), MIXERCONTROL_CONTROLTYPE_MUX);
    EXPECT_EQ(setControlValues(0u, mux, {0, 0, 0, 0}, 1),
              MMR_MIXER_INVALVALUE); // exactly one source
    EXPECT_EQ(setControlValues(0u, mux, {1, 1, 0, 0}, 1), MMR_MIXER_INVALVALUE);
    MIXERCONTROL peak = controlOfType(lineControls(0u, mixerDestination(0u, 1)),
                                      MIXERCONTROL_CONTROLTYPE_PEAKMETER);
    EXPECT_EQ(setControlValues(0u, peak, {1, 1}, 2), MMR_NOTSUPPORTED);

    MIXERCONTROLDETAILS d{sizeof d, 9999, 1, 0, 4, nullptr};
    int32_t v = 0;
    d.paDetails = &v;
    EXPECT_EQ(mixerGetControlDetailsA(0u, &d, 0), MMR_MIXER_INVALCONTROL);
    d.dwControlID = vol.dwControlID;
    d.paDetails = nullptr;
    EXPECT_EQ(mixerGetControlDetailsA(0u, &d, 0), MMR_INVALPARAM);
    MIXERLINE bad{};
    bad.cbStruct = sizeof bad;
    bad.dwDestination = 1;
    bad.dwSource = 7;
    EXPECT_EQ(mixerGetLineInfoA(0u, &bad, MIXER_GETLINEINFOF_SOURCE), MMR_MIXER_INVALLINE);
    bad.dwDestination = 2;
    EXPECT_EQ(mixerGetLineInfoA(0u, &bad, MIXER_GETLINEINFOF_DESTINATION), MMR_MIXER_INVALLINE);
    EXPECT_EQ(mixerGetLineInfoA(3u, &bad, MIXER_GETLINEINFOF_DESTINATION), MMR_BADDEVICEID);
    bad.cbStruct = 10;
    EXPECT_EQ(mixerGetLineInfoA(0u, &bad, MIXER_GETLINEINFOF_DESTINATION), MMR_INVALPARAM);
    // Asking ALL with a wrong count would overrun the caller's buffer: refused.
    MIXERCONTROL one;
    MIXERLINECONTROLS req{sizeof req, mic.dwLineID, {0}, mic.cControls + 1, sizeof one, &one};
    EXPECT_EQ(mixerGetLineControlsA(0u, &req, MIXER_GETLINECONTROLSF_ALL), MMR_INVALPARAM);
}

TEST_F(MixerVirtual, ReconfiguringRebuildsTheModelAndOldHandlesStayValid) {
    HMIXER h = nullptr;
    ASSERT_EQ(mixerOpen(&h, 0), MMR_NOERROR);
    configure(0.0, false);
    EXPECT_EQ(mixerDestination(0u, 1).cConnections, 5u);
    // The open handle still answers for the device it opened.
    EXPECT_EQ(mixerDestination(h, 1).cConnections, 4u);
    EXPECT_EQ(mixerClose(h), MMR_NOERROR);
}

} // namespace
