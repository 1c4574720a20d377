// Cards described as ALSA simple elements, mapped by the platform's element
// mapping and served by the fake service: what the record-source panel sees
// of a typical onboard codec and of a USB microphone.
#include "mixer/TAudio.h"
#include "mixer/tMsMixer.h"

#include "FakeMixerService.h"
#include "MsMixerTestSupport.h"
#include "platform/audio/alsa/AlsaMixerMapping.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

AlsaElement playback(const std::string& name, bool withSwitch, long max) {
    AlsaElement e;
    e.name = name;
    e.playbackVolume = true;
    e.playbackSwitch = withSwitch;
    e.playbackMax = max;
    return e;
}

// An onboard codec: master, headphone, PCM and front-mic playback, one
// "Capture" volume/switch and the "Capture Source" selector.
MixerDeviceModel onboardCodec() {
    std::vector<AlsaElement> elements = {
        playback("Master", true, 87), playback("Headphone", true, 87), playback("PCM", false, 255),
        playback("Front Mic", true, 31)};
    AlsaElement capture;
    capture.name = "Capture";
    capture.captureVolume = capture.captureSwitch = true;
    capture.captureMax = 63;
    elements.push_back(capture);
    AlsaElement source;
    source.name = "Capture Source";
    source.captureEnum = true;
    source.enumItems = {"Mic", "Front Mic", "Line", "CD"};
    elements.push_back(source);
    return mapAlsaMixer("HDA Intel PCH", elements);
}

// A USB microphone: one mono "Mic" capture volume with its switch.
MixerDeviceModel usbMicrophone() {
    AlsaElement mic;
    mic.name = "Mic";
    mic.captureVolume = mic.captureSwitch = true;
    mic.captureChannels = 1;
    mic.captureMax = 127;
    return mapAlsaMixer("USB PnP Sound Device", {mic});
}

} // namespace

TEST(AlsaCardTest, OnboardCodecSelectsThroughItsCaptureSourceMux) {
    FakeMixerService service;
    service.addDevice(onboardCodec());
    tMsMixerSystem system(service);
    ASSERT_EQ(system.getMixerCount(), 1u);
    tMsMixer& mixer = *system.getMixer(0);
    EXPECT_EQ(std::string(mixer.getCaps().szPname), "HDA Intel PCH");
    mixer.enumDestinations();
    ASSERT_EQ(mixer.getDestinationCount(), 2u);
    EXPECT_EQ(mixer.getDestination(0)->getLineInfo().dwComponentType,
              MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
    tMsMixerLine& wavein = *mixer.getDestination(1);
    EXPECT_EQ(wavein.getLineInfo().dwComponentType, MIXERLINE_COMPONENTTYPE_DST_WAVEIN);

    EXPECT_EQ(sourceNames(wavein), (Names{"CD", "Line", "Front Mic", "Mic"}));

    tMsMixerControl* mux = controlOfType(wavein, MIXERCONTROL_CONTROLTYPE_MUX);
    ASSERT_NE(mux, nullptr);
    EXPECT_TRUE(mux->getBoolValue(0, 0));
    EXPECT_EQ(mux->getListTexts(), (Names{"Mic", "Front Mic", "Line", "CD"}));
    selectMuxItem(*mux, 2);
    EXPECT_EQ(mux->getLastResult(), MMR_NOERROR);
    EXPECT_EQ(service.device(0).values[mux->getControlInfo().dwControlID],
              (std::vector<int32_t>{0, 0, 1, 0}));

    TAudio audio(service);
    EXPECT_EQ(audio.GetDestinationNames(), (Names{"Speakers", "Capture"}));
    EXPECT_EQ(audio.GetSourceNames(0), (Names{"Speakers", "Headphone", "PCM", "Front Mic"}));
    // The selector's sources have no element of their own here.
    EXPECT_EQ(audio.GetSourceNames(1), (Names{"Capture", "", "", "", ""}));

    uint16_t left, right, flags;
    bool mute;
    EXPECT_TRUE(audio.SetLineVolume(0, 0, 65535, 32768, true));
    ASSERT_TRUE(audio.GetLineVolume(0, 0, left, right, mute, flags));
    EXPECT_EQ(left, 65535);
    EXPECT_EQ(right, 32768);
    EXPECT_TRUE(mute);
    // The capture volume has no mute beside it.
    EXPECT_TRUE(audio.SetLineVolume(1, 0, 1000, 1000, false));
    EXPECT_FALSE(audio.GetLineVolume(1, 0, left, right, mute, flags));
    EXPECT_EQ(audio.ErrorText(), "Mute GetControlError in Mixer");
    EXPECT_EQ(left, 1000);
    EXPECT_EQ(flags, MIXDETAILS_NOMUTE);
}

TEST(AlsaCardTest, UsbMicrophoneIsAMonoSourceWithASelectSwitch) {
    FakeMixerService service;
    service.addDevice(usbMicrophone());
    tMsMixerSystem system(service);
    tMsMixer& mixer = *system.getMixer(0);
    mixer.enumDestinations();
    ASSERT_EQ(mixer.getDestinationCount(), 1u);
    tMsMixerLine& wavein = *mixer.getDestination(0);
    EXPECT_EQ(wavein.getLineInfo().dwComponentType, MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    EXPECT_EQ(controlOfType(wavein, MIXERCONTROL_CONTROLTYPE_MUX), nullptr);
    wavein.enumSources();
    ASSERT_EQ(wavein.getSourceCount(), 1u);
    tMsMixerLine& mic = *wavein.getSource(0);
    EXPECT_EQ(std::string(mic.getLineInfo().szName), "Mic");
    EXPECT_EQ(mic.getLineInfo().cChannels, 1u);
    tMsMixerControl* select = controlOfType(mic, MIXERCONTROL_CONTROLTYPE_MUTE);
    ASSERT_NE(select, nullptr);
    EXPECT_FALSE(select->getBoolValue(0, 0));
    select->setBoolValue(0, 0, true);
    EXPECT_EQ(select->getLastResult(), MMR_NOERROR);

    TAudio audio(service);
    EXPECT_EQ(audio.GetDestinationNames(), (Names{"Capture"}));
    EXPECT_EQ(audio.GetSourceNames(0), (Names{"", "Mic"}));
    const TMixDetails& entry = audio.Mixer().table()[2];
    EXPECT_TRUE(entry.Mono);
    EXPECT_EQ(entry.Flags, MIXDETAILS_MONO);
    EXPECT_TRUE(entry.MuteState); // selected above

    EXPECT_TRUE(audio.SetLineVolume(0, 1, 40000, 10, false));
    EXPECT_EQ(service.lastWritten[entry.VolumeControlID], (std::vector<int32_t>{40000}));
    uint16_t left, right, flags;
    bool mute;
    ASSERT_TRUE(audio.GetLineVolume(0, 1, left, right, mute, flags));
    EXPECT_EQ(left, 40000);
    EXPECT_EQ(right, 40000);
    EXPECT_FALSE(mute);
}
