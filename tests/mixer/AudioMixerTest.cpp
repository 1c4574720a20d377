#include "mixer/TAudio.h"
#include "mixer/tMsMixer.h"

#include "FakeMixerService.h"
#include "MsMixerTestSupport.h"
#include "VirtualCardFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

using Names = std::vector<std::string>;

struct LineState {
    uint16_t left = 0, right = 0, flags = 0;
    bool mute = false;
};

bool read(TAudio& audio, int destination, int position, LineState& s) {
    return audio.GetLineVolume(destination, position, s.left, s.right, s.mute, s.flags);
}

// Change events as (destination, position).
struct ChangeLog {
    std::vector<std::pair<uint16_t, uint16_t>> events;
    void attach(TAudio& audio) {
        audio.OnMixerChange = [this, &audio](TMixerSettings* sender, uint16_t d, uint16_t s) {
            EXPECT_EQ(sender, &audio.Mixer());
            events.emplace_back(d, s);
        };
    }
};

using AudioMixerVirtualTest = MixerCardTest;

TEST_F(AudioMixerVirtualTest, TableListsTheDeviceThenEachDestinationWithItsSources) {
    configureCard({true}, {"Test Card"});
    TAudio audio;
    ASSERT_TRUE(audio.Mixer().Enabled());
    EXPECT_EQ(audio.Version(), "4.1 (32bit)");
    const auto& t = audio.Mixer().table();
    ASSERT_EQ(t.size(), 7u);
    EXPECT_EQ(std::tie(t[0].Destination, t[0].Position), std::make_tuple(int16_t(-1), int16_t(-1)));
    EXPECT_EQ(t[0].Name, "Test Card");
    EXPECT_EQ(t[0].Flags, 0);
    EXPECT_EQ(t[0].VolumeControlID, kNoMixerControl);

    // Speakers: volume and mute.
    EXPECT_EQ(std::tie(t[1].Destination, t[1].Position), std::make_tuple(int16_t(0), int16_t(0)));
    EXPECT_EQ(t[1].Name, "Speakers");
    EXPECT_NE(t[1].VolumeControlID, kNoMixerControl);
    EXPECT_NE(t[1].MuteControlID, kNoMixerControl);
    EXPECT_EQ(t[1].Left, 65535);
    EXPECT_EQ(t[1].Right, 65535);
    EXPECT_EQ(t[1].Flags, 0);
    EXPECT_TRUE(t[1].HasControl);

    // The wave-in destination has a MUX and a peak meter, no volume or mute.
    EXPECT_EQ(t[2].Name, "Recording Control");
    EXPECT_EQ(std::tie(t[2].Destination, t[2].Position), std::make_tuple(int16_t(1), int16_t(0)));
    EXPECT_EQ(t[2].Flags, MIXDETAILS_NOMUTE);
    EXPECT_FALSE(t[2].HasControl);
    EXPECT_NE(t[2].PeakControlID, kNoMixerControl);
    EXPECT_EQ(t[2].PeakChannels, 2);

    const Names sources = {"Microphone", "Line In", "CD Audio", "Stereo Mix"};
    for (int k = 1; k <= 4; ++k) {
        EXPECT_EQ(t[2 + k].Position, k);
        EXPECT_EQ(t[2 + k].Name, sources[k - 1]);
        EXPECT_EQ(t[2 + k].Flags, MIXDETAILS_NOMUTE); // MUX sources have volume only
        EXPECT_EQ(t[2 + k].MuteControlID, kNoMixerControl);
    }
    EXPECT_EQ(audio.GetDestinationNames(), (Names{"Speakers", "Recording Control"}));
    EXPECT_EQ(audio.GetSourceNames(1),
              (Names{"", "Microphone", "Line In", "CD Audio", "Stereo Mix"}));
    EXPECT_EQ(audio.GetSourceNames(0), (Names{"Speakers"}));
    EXPECT_TRUE(audio.GetSourceNames(7).empty());
}

TEST_F(AudioMixerVirtualTest, SourceWithoutControlsKeepsItsPositionWithAnEmptyName) {
    configureCard({false});
    TAudio audio;
    EXPECT_EQ(audio.GetSourceNames(1),
              (Names{"", "Microphone", "Line In", "CD Audio", "Stereo Mix", ""}));
    LineState s;
    EXPECT_FALSE(read(audio, 1, 5, s));
    EXPECT_EQ(audio.ErrorText(), "Volume GetControlError in Mixer");
}

TEST_F(AudioMixerVirtualTest, VolumeWithoutMuteIsSetButItsReadReportsTheMissingMute) {
    configureCard({true});
    TAudio audio;
    EXPECT_TRUE(audio.SetLineVolume(1, 2, 1000, 2000, true));
    LineState s;
    EXPECT_FALSE(read(audio, 1, 2, s));
    EXPECT_EQ(audio.ErrorText(), "Mute GetControlError in Mixer");
    EXPECT_EQ(audio.ErrorCode(), TAudioError::MuteGet);
    EXPECT_EQ(s.left, 1000);
    EXPECT_EQ(s.right, 2000);
    EXPECT_EQ(s.flags, MIXDETAILS_NOMUTE);

    EXPECT_FALSE(read(audio, 1, 0, s)); // the destination has no volume control
    EXPECT_EQ(audio.ErrorText(), "Volume GetControlError in Mixer");
    EXPECT_EQ(audio.ErrorCode(), TAudioError::VolumeGet);
    EXPECT_FALSE(read(audio, 1, 9, s));
    EXPECT_EQ(audio.ErrorCode(), TAudioError::None)
        << "no such line: the text stays, the code goes";
    EXPECT_EQ(audio.ErrorText(), "Volume GetControlError in Mixer");
    EXPECT_FALSE(audio.SetLineVolume(3, 0, 1, 1, false));
}

TEST_F(AudioMixerVirtualTest, SpeakersVolumeAndMuteRoundTrip) {
    configureCard({true});
    TAudio audio;
    EXPECT_TRUE(audio.SetLineVolume(0, 0, 30000, 40000, true));
    LineState s;
    ASSERT_TRUE(read(audio, 0, 0, s));
    EXPECT_EQ(s.left, 30000);
    EXPECT_EQ(s.right, 40000);
    EXPECT_TRUE(s.mute);
    EXPECT_EQ(s.flags, 0);
    EXPECT_TRUE(audio.SetLineVolume(0, 0, 65535, 65535, false));
    ASSERT_TRUE(read(audio, 0, 0, s));
    EXPECT_FALSE(s.mute);
    // The table keeps the values it was built with.
    EXPECT_EQ(audio.Mixer().table()[1].Left, 65535);
}

TEST_F(AudioMixerVirtualTest, CheckBoxModeMuteFlagSelectsTheRecordedSource) {
    configureCard({false});
    TAudio audio;
    LineState s;
    ASSERT_TRUE(read(audio, 1, 1, s));
    EXPECT_TRUE(s.mute); // Microphone selected at start
    EXPECT_TRUE(audio.SetLineVolume(1, 2, 65535, 65535, true));
    EXPECT_TRUE(audio.SetLineVolume(1, 1, 65535, 65535, false));
    EXPECT_NEAR(recordedFrequency(0), 1000, 40); // Line In alone
}

TEST_F(AudioMixerVirtualTest, DeviceIdChoosesTheDeviceEveryAccessGoesTo) {
    configureCard({true, true}, {"First", "Second"});
    TAudio audio;
    EXPECT_EQ(audio.Mixer().table()[0].Name, "First");
    audio.setMixerDeviceID(1);
    EXPECT_EQ(audio.MixerDeviceID(), 1u);
    EXPECT_EQ(audio.Mixer().table()[0].Name, "Second");
    EXPECT_TRUE(audio.SetLineVolume(1, 1, 0, 0, false)); // device 1's microphone silent

    EXPECT_NEAR(recordedFrequency(0), 500, 25);
    EXPECT_EQ(recordedFrequency(1), 0);
    audio.setMixerDeviceID(0);
    LineState s;
    read(audio, 1, 1, s);
    EXPECT_EQ(s.left, 65535);
}

TEST_F(AudioMixerVirtualTest, ChangesRaiseTheEventForTheirLine) {
    configureCard({true});
    TAudio audio;
    ChangeLog log;
    log.attach(audio);
    EXPECT_TRUE(audio.SetLineVolume(1, 3, 100, 100, false));
    // Another program (the object view here) mutes the speakers.
    {
        tMsMixerSystem system;
        tMsMixerLine* speakers =
            destinationOfType(*system.getMixer(0), MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
        ASSERT_NE(speakers, nullptr);
        tMsMixerControl* mute = controlOfType(*speakers, MIXERCONTROL_CONTROLTYPE_MUTE);
        ASSERT_NE(mute, nullptr);
        mute->setBoolValue(0, 0, true);
    }
    EXPECT_TRUE(log.events.empty()); // delivered on the message loop only
    PlainMessageWindow::processMessages();
    EXPECT_EQ(log.events, (std::vector<std::pair<uint16_t, uint16_t>>{{1, 3}, {0, 0}}));

    // Changes queued for a device that was closed since are dropped.
    log.events.clear();
    EXPECT_TRUE(audio.SetLineVolume(1, 1, 100, 100, false));
    audio.Mixer().OpenMixer(0);
    PlainMessageWindow::processMessages();
    EXPECT_TRUE(log.events.empty());

    // No handler: nothing happens.
    audio.OnMixerChange = nullptr;
    EXPECT_TRUE(audio.SetLineVolume(1, 1, 200, 200, false));
    PlainMessageWindow::processMessages();
}

TEST_F(AudioMixerVirtualTest, QueuedChangesOfADestroyedComponentAreDropped) {
    configureCard({true});
    ChangeLog log;
    {
        TAudio audio;
        log.attach(audio);
        EXPECT_TRUE(audio.SetLineVolume(0, 0, 1, 1, false));
        EXPECT_GT(PlainMessageWindow::pendingMessages(), 0u);
    }
    PlainMessageWindow::processMessages();
    EXPECT_TRUE(log.events.empty());
}

// ---- described cards ----

class AudioMixerFakeTest : public ::testing::Test {
protected:
    FakeMixerService service;
};

TEST_F(AudioMixerFakeTest, NoDeviceLeavesTheComponentDisabled) {
    TAudio audio(service);
    EXPECT_FALSE(audio.Mixer().Enabled());
    EXPECT_TRUE(audio.Mixer().table().empty());
    EXPECT_TRUE(audio.GetDestinationNames().empty());
    EXPECT_TRUE(audio.GetSourceNames(0).empty());
    LineState s;
    EXPECT_FALSE(read(audio, 0, 0, s));
    EXPECT_FALSE(audio.SetLineVolume(0, 0, 1, 1, false));
}

TEST_F(AudioMixerFakeTest, FailedCapabilityQueryLeavesOnlyTheDeviceEntry) {
    MixerModelBuilder b("Card");
    b.destination("Speakers", MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
    service.addDevice(b.build());
    service.device(0).failCaps = true;
    TAudio audio(service);
    ASSERT_EQ(audio.Mixer().table().size(), 1u);
    EXPECT_EQ(audio.Mixer().table()[0].Name, "");
    EXPECT_TRUE(audio.GetDestinationNames().empty());
    LineState s;
    EXPECT_FALSE(read(audio, 0, 0, s));
}

TEST_F(AudioMixerFakeTest, MonoLineIsReadAndWrittenAsOneChannel) {
    MixerModelBuilder b("Card");
    uint32_t d = b.destination("Recording", MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    b.source(d, "Mic", 1);
    const uint32_t volume = b.control(d, 0, MIXERCONTROL_CONTROLTYPE_VOLUME, 1);
    const uint32_t mute = b.control(d, 0, MIXERCONTROL_CONTROLTYPE_MUTE, 1);
    b.control(d, 0, MIXERCONTROL_CONTROLTYPE_PEAKMETER, 1);
    service.addDevice(b.build());
    service.device(0).values[volume] = {0x12345};
    service.device(0).values[mute] = {1};

    TAudio audio(service);
    const TMixDetails& e = audio.Mixer().table()[2];
    EXPECT_TRUE(e.Mono);
    EXPECT_EQ(e.Flags, MIXDETAILS_MONO);
    EXPECT_EQ(e.Left, 0x2345); // low 16 bits
    EXPECT_EQ(e.Right, 0);
    EXPECT_TRUE(e.MuteState);
    EXPECT_EQ(e.PeakChannels, 1);

    service.device(0).values[volume] = {777};
    LineState s;
    ASSERT_TRUE(read(audio, 0, 1, s));
    EXPECT_EQ(s.left, 777);
    EXPECT_EQ(s.right, 777);
    EXPECT_TRUE(s.mute);
    EXPECT_EQ(s.flags, MIXDETAILS_MONO);

    EXPECT_TRUE(audio.SetLineVolume(0, 1, 100, 200, false));
    EXPECT_EQ(service.lastWritten[volume], (std::vector<int32_t>{100}));
    EXPECT_EQ(service.lastWritten[mute], (std::vector<int32_t>{0}));
}

TEST_F(AudioMixerFakeTest, LaterVolumeReplacesEarlierAndFirstMuteStays) {
    MixerModelBuilder b("Card");
    uint32_t d = b.destination("Speakers", MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
    const uint32_t vol1 = b.control(d, -1, MIXERCONTROL_CONTROLTYPE_VOLUME, 2);
    const uint32_t mute1 = b.control(d, -1, MIXERCONTROL_CONTROLTYPE_MUTE, 1);
    const uint32_t vol2 = b.control(d, -1, MIXERCONTROL_CONTROLTYPE_VOLUME, 2);
    const uint32_t mute2 = b.control(d, -1, MIXERCONTROL_CONTROLTYPE_MUTE, 1);
    b.control(d, -1, MIXERCONTROL_CONTROLTYPE_BOOLEAN, 1); // skipped
    service.addDevice(b.build());
    service.device(0).values[vol1] = {1, 2};
    service.device(0).values[vol2] = {3, 4};
    service.device(0).values[mute2] = {1};

    TAudio audio(service);
    const TMixDetails& e = audio.Mixer().table()[1];
    EXPECT_EQ(e.VolumeControlID, vol2);
    EXPECT_EQ(e.Left, 3);
    EXPECT_EQ(e.Right, 4);
    EXPECT_EQ(e.MuteControlID, mute1);
    EXPECT_FALSE(e.MuteState);
    EXPECT_EQ(e.Flags, 0);
    EXPECT_EQ(e.PeakControlID, kNoMixerControl);
}

TEST_F(AudioMixerFakeTest, ControlsThatCannotBeReadAreLeftOut) {
    MixerModelBuilder b("Card");
    uint32_t d = b.destination("Speakers", MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
    const uint32_t vol = b.control(d, -1, MIXERCONTROL_CONTROLTYPE_VOLUME, 2);
    const uint32_t mute = b.control(d, -1, MIXERCONTROL_CONTROLTYPE_MUTE, 1);
    b.source(d, "Wave");
    b.control(d, 0, MIXERCONTROL_CONTROLTYPE_VOLUME, 2);
    service.addDevice(b.build());
    service.failGetValues = {vol, mute};
    service.failControlsOfLine.insert(0); // the source's controls

    TAudio audio(service);
    ASSERT_EQ(audio.Mixer().table().size(), 3u);
    for (size_t i = 1; i < 3; ++i) {
        const TMixDetails& e = audio.Mixer().table()[i];
        EXPECT_FALSE(e.HasControl);
        EXPECT_EQ(e.VolumeControlID, kNoMixerControl);
        EXPECT_EQ(e.MuteControlID, kNoMixerControl);
        EXPECT_EQ(e.Flags, MIXDETAILS_NOMUTE);
    }
    EXPECT_EQ(audio.GetSourceNames(0), (Names{"", ""}));
    // Nothing to write is no failure.
    EXPECT_TRUE(audio.SetLineVolume(0, 1, 5, 5, true));
}

TEST_F(AudioMixerFakeTest, LineReadFailureStopsTheBuildKeepingEarlierEntries) {
    for (int i = 0; i < 2; ++i) {
        MixerModelBuilder b(i == 0 ? "Flaky" : "Good");
        uint32_t d = b.destination("Recording", MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
        b.source(d, "Mic");
        b.control(d, 0, MIXERCONTROL_CONTROLTYPE_VOLUME, 2);
        b.source(d, "Line");
        service.addDevice(b.build());
    }
    service.failLines.insert({0, 1});
    TAudio audio(service);
    EXPECT_FALSE(audio.Mixer().Enabled());
    EXPECT_TRUE(audio.Mixer().isOpen());
    ASSERT_EQ(audio.Mixer().table().size(), 3u); // device, destination, source 0
    EXPECT_EQ(audio.Mixer().table()[2].Name, "Mic");
    EXPECT_TRUE(audio.GetSourceNames(0).empty()); // not enabled

    service.failLines.clear();
    audio.setMixerDeviceID(1);
    EXPECT_TRUE(audio.Mixer().Enabled());
    EXPECT_EQ(audio.Mixer().table()[0].Name, "Good");
    EXPECT_EQ(audio.GetSourceNames(0), (Names{"", "Mic", ""}));
    EXPECT_EQ(service.openHandles(), 1u);
}

TEST_F(AudioMixerFakeTest, FailedOpenEmptiesTheTableAndKeepsEnabled) {
    for (const char* name : {"One", "Two"}) {
        MixerModelBuilder b(name);
        uint32_t d = b.destination("Speakers", MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
        b.control(d, -1, MIXERCONTROL_CONTROLTYPE_VOLUME, 2);
        service.addDevice(b.build());
    }
    service.device(1).failOpen = true;
    TAudio audio(service);
    ASSERT_TRUE(audio.Mixer().Enabled());
    audio.setMixerDeviceID(1);
    EXPECT_TRUE(audio.Mixer().Enabled());
    EXPECT_TRUE(audio.Mixer().table().empty());
    EXPECT_FALSE(audio.Mixer().isOpen());
    EXPECT_EQ(service.openHandles(), 0u);
    EXPECT_TRUE(audio.GetDestinationNames().empty());
    LineState s;
    EXPECT_FALSE(read(audio, 0, 0, s));
}

TEST_F(AudioMixerFakeTest, SameDeviceIdDoesNotRebuild) {
    MixerModelBuilder b("Card");
    b.destination("Speakers", MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
    service.addDevice(b.build());
    {
        TAudio audio(service);
        EXPECT_EQ(service.count("open"), 1u);
        audio.setMixerDeviceID(0);
        EXPECT_EQ(service.count("open"), 1u);
        EXPECT_EQ(service.openHandles(), 1u);
    }
    EXPECT_EQ(service.openHandles(), 0u);
}

TEST_F(AudioMixerFakeTest, SetFailuresReportWhichControlFailed) {
    MixerModelBuilder b("Card");
    uint32_t d = b.destination("Speakers", MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
    const uint32_t vol = b.control(d, -1, MIXERCONTROL_CONTROLTYPE_VOLUME, 2);
    const uint32_t mute = b.control(d, -1, MIXERCONTROL_CONTROLTYPE_MUTE, 1);
    service.addDevice(b.build());
    TAudio audio(service);
    service.failSetValues = {vol};
    EXPECT_FALSE(audio.SetLineVolume(0, 0, 1, 2, true));
    EXPECT_EQ(audio.ErrorText(), "Volume SetControlError in Mixer");
    EXPECT_EQ(service.lastWritten.count(mute), 0u); // stopped at the volume
    service.failSetValues = {mute};
    EXPECT_FALSE(audio.SetLineVolume(0, 0, 1, 2, true));
    EXPECT_EQ(audio.ErrorText(), "Mute SetControlError in Mixer");
    EXPECT_EQ(service.lastWritten[vol], (std::vector<int32_t>{1, 2}));
    service.failGetValues = {vol};
    LineState s;
    EXPECT_FALSE(read(audio, 0, 0, s));
    EXPECT_EQ(audio.ErrorText(), "Volume GetControlError in Mixer");
}

TEST_F(AudioMixerFakeTest, OnlyVolumeAndMuteChangesOfTheOpenDeviceRaiseTheEvent) {
    MixerModelBuilder b("Card");
    uint32_t d = b.destination("Recording", MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    const uint32_t peak = b.control(d, -1, MIXERCONTROL_CONTROLTYPE_PEAKMETER, 2);
    b.source(d, "Mic");
    b.source(d, "Line");
    const uint32_t lineMute = b.control(d, 1, MIXERCONTROL_CONTROLTYPE_MUTE, 1);
    service.addDevice(b.build());
    TAudio audio(service);
    ChangeLog log;
    log.attach(audio);
    service.changeFromOutside(0, peak, {5, 5});
    service.changeFromOutside(0, lineMute, {1});
    PlainMessageWindow::processMessages();
    EXPECT_EQ(log.events, (std::vector<std::pair<uint16_t, uint16_t>>{{0, 2}}));
    // A notification naming the "no control" identifier matches no line.
    audio.Mixer().NotifyWindow()->post(audio.Mixer().NotifyWindow()->handle(),
                                       MM_MIXM_CONTROL_CHANGE, 1, kNoMixerControl);
    audio.Mixer().NotifyWindow()->post(audio.Mixer().NotifyWindow()->handle(), 0x400, 1,
                                       intptr_t(lineMute));
    PlainMessageWindow::processMessages();
    EXPECT_EQ(log.events.size(), 1u);
}

} // namespace
