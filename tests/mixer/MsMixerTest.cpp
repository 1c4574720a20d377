#include "mixer/tMsMixer.h"

#include "FakeMixerService.h"
#include "MsMixerTestSupport.h"
#include "VirtualCardFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string text(const char* field) {
    return std::string(field);
}

using MsMixerVirtualTest = MixerCardTest;

TEST_F(MsMixerVirtualTest, SystemListsEveryDeviceByProductName) {
    configureCard({true, false}, {"Card A", "Card B"});
    tMsMixerSystem system;
    ASSERT_EQ(system.getMixerCount(), 2u);
    EXPECT_EQ(text(system.getMixer(0)->getCaps().szPname), "Card A");
    EXPECT_EQ(text(system.getMixer(1)->getCaps().szPname), "Card B");
    EXPECT_EQ(system.getMixer(1)->getDeviceIndex(), 1u);
    EXPECT_FALSE(system.getMixer(1)->isCapsStale());
    EXPECT_EQ(system.getMixer(2), nullptr);
}

TEST_F(MsMixerVirtualTest, WaveInSourcesRunFromHighestSourceIndexDown) {
    configureCard({true});
    tMsMixerSystem system;
    tMsMixer& mixer = *system.getMixer(0);
    mixer.enumDestinations();
    ASSERT_EQ(mixer.getDestinationCount(), 2u);
    EXPECT_EQ(mixer.getDestination(0)->getLineInfo().dwComponentType,
              MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
    tMsMixerLine* wavein = mixer.getDestination(1);
    EXPECT_EQ(wavein->getLineInfo().dwComponentType, MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    EXPECT_EQ(mixer.getDestination(2), nullptr);

    EXPECT_EQ(sourceNames(*wavein),
              (std::vector<std::string>{"Stereo Mix", "CD Audio", "Line In", "Microphone"}));
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(wavein->getSource(i)->getLineInfo().dwSource, 3 - i);
        EXPECT_TRUE(wavein->getSource(i)->getIsSource());
    }
    EXPECT_EQ(wavein->getSource(4), nullptr);
    tMsMixerLine* source = wavein->getSource(0);
    source->enumSources();
    EXPECT_EQ(source->getSourceCount(), 0u);
    EXPECT_EQ(source->getSource(0), nullptr);
}

TEST_F(MsMixerVirtualTest, MuxSelectionReadsBackAndChangesCapturedTone) {
    configureCard({true});
    EXPECT_NEAR(recordedFrequency(0), 500, 25); // Microphone, selected at start

    {
        tMsMixerSystem system;
        tMsMixerLine* wavein =
            destinationOfType(*system.getMixer(0), MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
        ASSERT_NE(wavein, nullptr);
        tMsMixerControl* mux = controlOfType(*wavein, MIXERCONTROL_CONTROLTYPE_MUX);
        ASSERT_NE(mux, nullptr);
        EXPECT_TRUE(mux->isMultiple());
        EXPECT_TRUE(mux->isUniform());
        EXPECT_TRUE(mux->getListTexts().empty()); // names come with the values
        EXPECT_TRUE(mux->getBoolValue(0, 0));
        EXPECT_EQ(mux->getListTexts(),
                  (std::vector<std::string>{"Microphone", "Line In", "CD Audio", "Stereo Mix"}));
        EXPECT_TRUE(mux->getBoolValue(0, 0));
        // Sources run from the highest index down; the items in source order.
        wavein->enumSources();
        for (uint32_t i = 0; i < 4; ++i)
            EXPECT_EQ(mux->findListItem(*wavein->getSource(i)), int(3 - i));
        selectMuxItem(*mux, 2);
        EXPECT_EQ(mux->getLastResult(), MMR_NOERROR);
        for (uint32_t i = 0; i < 4; ++i)
            EXPECT_EQ(mux->getBoolValue(0, i), i == 2) << "item " << i;
    }
    // Fresh objects read the device again.
    tMsMixerSystem system;
    tMsMixerLine* wavein =
        destinationOfType(*system.getMixer(0), MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    tMsMixerControl* mux = controlOfType(*wavein, MIXERCONTROL_CONTROLTYPE_MUX);
    for (uint32_t i = 0; i < 4; ++i)
        EXPECT_EQ(mux->getBoolValue(0, i), i == 2) << "item " << i;
    EXPECT_EQ(mux->getListTexts()[2], "CD Audio");
    EXPECT_NEAR(recordedFrequency(0), 2000, 50); // CD Audio's left tone
}

TEST_F(MsMixerVirtualTest, SecondDeviceIsAddressedByEveryQuery) {
    configureCard({true, true}, {"First", "Second"});
    tMsMixerSystem system;
    tMsMixerLine* wavein =
        destinationOfType(*system.getMixer(1), MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    ASSERT_NE(wavein, nullptr);
    EXPECT_EQ(text(wavein->getLineInfo().Target.szPname), "Second");
    tMsMixerControl* mux = controlOfType(*wavein, MIXERCONTROL_CONTROLTYPE_MUX);
    selectMuxItem(*mux, 1);

    tMsMixerSystem fresh;
    tMsMixerControl* mux0 =
        controlOfType(*destinationOfType(*fresh.getMixer(0), MIXERLINE_COMPONENTTYPE_DST_WAVEIN),
                      MIXERCONTROL_CONTROLTYPE_MUX);
    tMsMixerControl* mux1 =
        controlOfType(*destinationOfType(*fresh.getMixer(1), MIXERLINE_COMPONENTTYPE_DST_WAVEIN),
                      MIXERCONTROL_CONTROLTYPE_MUX);
    EXPECT_TRUE(mux0->getBoolValue(0, 0));
    EXPECT_FALSE(mux0->getBoolValue(0, 1));
    EXPECT_TRUE(mux1->getBoolValue(0, 1));
    EXPECT_FALSE(mux1->getBoolValue(0, 0));
    EXPECT_NEAR(recordedFrequency(0), 500, 25);
    EXPECT_NEAR(recordedFrequency(1), 1000, 40);
}

TEST_F(MsMixerVirtualTest, CheckBoxModeSelectsThroughSourceMuteSwitches) {
    configureCard({false});
    tMsMixerSystem system;
    tMsMixerLine* wavein =
        destinationOfType(*system.getMixer(0), MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    EXPECT_EQ(controlOfType(*wavein, MIXERCONTROL_CONTROLTYPE_MUX), nullptr);
    ASSERT_EQ(sourceNames(*wavein), (std::vector<std::string>{"Auxiliary", "Stereo Mix", "CD Audio",
                                                              "Line In", "Microphone"}));
    tMsMixerLine* aux = wavein->getSource(0);
    aux->enumControls();
    EXPECT_EQ(aux->getControlCount(), 0u);
    EXPECT_EQ(aux->getControl(0), nullptr);

    tMsMixerControl* lineIn = controlOfType(*wavein->getSource(3), MIXERCONTROL_CONTROLTYPE_MUTE);
    tMsMixerControl* mic = controlOfType(*wavein->getSource(4), MIXERCONTROL_CONTROLTYPE_MUTE);
    ASSERT_NE(lineIn, nullptr);
    ASSERT_NE(mic, nullptr);
    EXPECT_TRUE(mic->getBoolValue(0, 0));
    EXPECT_FALSE(lineIn->getBoolValue(0, 0));
    lineIn->setBoolValue(0, 0, true);
    mic->setBoolValue(0, 0, false);
    EXPECT_EQ(lineIn->getLastResult(), MMR_NOERROR);
    EXPECT_NEAR(recordedFrequency(0), 1000, 40);
}

// ---- described cards ----

class MsMixerFakeTest : public ::testing::Test {
protected:
    // Device 0's first destination with its sources and controls listed.
    static tMsMixerLine& firstDestination(tMsMixerSystem& system) {
        tMsMixer& mixer = *system.getMixer(0);
        mixer.enumDestinations();
        tMsMixerLine& dest = *mixer.getDestination(0);
        dest.enumSources();
        dest.enumControls();
        return dest;
    }

    FakeMixerService service;
};

TEST_F(MsMixerFakeTest, NoDeviceGivesAnEmptySystem) {
    tMsMixerSystem system(service);
    EXPECT_EQ(system.getMixerCount(), 0u);
    EXPECT_EQ(system.getMixer(0), nullptr);
}

TEST_F(MsMixerFakeTest, FailedCapabilityQueryLeavesNoDestinationsUntilItSucceeds) {
    MixerModelBuilder b("Broken");
    b.destination("Speakers", MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
    service.addDevice(b.build());
    service.device(0).failCaps = true;
    tMsMixerSystem system(service);
    tMsMixer& mixer = *system.getMixer(0);
    EXPECT_EQ(mixer.getCaps().cDestinations, 0u);
    EXPECT_EQ(text(mixer.getCaps().szPname), "");
    EXPECT_TRUE(mixer.isCapsStale());
    EXPECT_EQ(mixer.getLastResult(), MMR_NODRIVER);
    mixer.enumDestinations();
    EXPECT_EQ(mixer.getDestinationCount(), 0u);

    service.device(0).failCaps = false; // the next access tries again
    mixer.enumDestinations();
    EXPECT_EQ(mixer.getDestinationCount(), 1u);
    EXPECT_FALSE(mixer.isCapsStale());
    const size_t queries = service.count("getDevCaps");
    mixer.getCaps();
    EXPECT_EQ(service.count("getDevCaps"), queries); // fetched once
}

TEST_F(MsMixerFakeTest, FailedSourceQueryLeavesThatLineStaleWithoutControls) {
    MixerModelBuilder b("Card");
    uint32_t d = b.destination("Recording", MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    b.source(d, "Mic");
    b.control(d, 0, MIXERCONTROL_CONTROLTYPE_VOLUME, 2);
    b.source(d, "Line");
    b.control(d, 1, MIXERCONTROL_CONTROLTYPE_VOLUME, 2);
    service.addDevice(b.build());
    service.failLines.insert({0, 0});
    tMsMixerSystem system(service);
    tMsMixer& mixer = *system.getMixer(0);
    mixer.enumDestinations();
    tMsMixerLine* dest = mixer.getDestination(0);
    dest->enumSources();
    ASSERT_EQ(dest->getSourceCount(), 2u);
    EXPECT_EQ(dest->getLastResult(), MMR_ERROR); // source 0 was fetched last
    tMsMixerLine* mic = dest->getSource(1);
    EXPECT_TRUE(mic->isInfoStale());
    // The failed query's leftovers never reach the record.
    EXPECT_EQ(mic->getLineInfo().dwDestination, 0u);
    EXPECT_EQ(mic->getLineInfo().dwSource, 0u);
    EXPECT_EQ(mic->getLineInfo().cControls, 0u);
    EXPECT_EQ(mic->getLineInfo().szName[0], '\0');
    const size_t controlQueries = service.count("getLineControls");
    mic->enumControls();
    EXPECT_EQ(mic->getControlCount(), 0u);
    EXPECT_EQ(service.count("getLineControls"), controlQueries);
    EXPECT_FALSE(dest->getSource(0)->isInfoStale());
    EXPECT_EQ(text(dest->getSource(0)->getLineInfo().szName), "Line");

    service.failLines.clear(); // retried on the next access
    EXPECT_EQ(text(mic->getLineInfo().szName), "Mic");
    EXPECT_FALSE(mic->isInfoStale());
}

TEST_F(MsMixerFakeTest, DetailsAreSizedByControlType) {
    MixerModelBuilder b("Card");
    uint32_t d = b.destination("Recording", MIXERLINE_COMPONENTTYPE_DST_WAVEIN, 2);
    const uint32_t volume = b.control(d, -1, MIXERCONTROL_CONTROLTYPE_VOLUME, 2);
    b.control(d, -1, MIXERCONTROL_CONTROLTYPE_MUTE, 1);
    b.control(d, -1, MIXERCONTROL_CONTROLTYPE_MUX, 1, {"A", "B", "C", "D"});
    b.control(d, -1, 0x12345678u, 2); // a type this system does not know
    b.control(d, -1, MIXERCONTROL_CONTROLTYPE_CUSTOM, 0);
    b.lastControl().info.Metrics.cbCustomData = 16;
    service.addDevice(b.build());
    service.device(0).values[volume] = {1000, 0};

    tMsMixerSystem system(service);
    tMsMixerLine& line = firstDestination(system);
    ASSERT_EQ(line.getControlCount(), 5u);

    const MIXERCONTROLDETAILS& vol = line.getControl(0)->getDetails();
    EXPECT_EQ(vol.cChannels, 2u);
    EXPECT_EQ(vol.cbDetails, 4u);
    EXPECT_EQ(vol.cMultipleItems, 0u);
    EXPECT_EQ(vol.dwControlID, volume);
    EXPECT_TRUE(line.getControl(0)->getBoolValue(0, 0));
    EXPECT_FALSE(line.getControl(0)->getBoolValue(1, 0));

    EXPECT_EQ(line.getControl(1)->getDetails().cChannels, 1u);

    tMsMixerControl& mux = *line.getControl(2);
    EXPECT_EQ(mux.getDetails().cMultipleItems, 4u);
    EXPECT_EQ(mux.getDetails().cbDetails, 4u);
    EXPECT_EQ(mux.getListTexts(), (std::vector<std::string>{"A", "B", "C", "D"}));
    EXPECT_FALSE(mux.isDetailsStale());

    tMsMixerControl& unknown = *line.getControl(3);
    EXPECT_EQ(unknown.getDetails().cbDetails, 0u);
    EXPECT_FALSE(unknown.getBoolValue(0, 0));

    tMsMixerControl& custom = *line.getControl(4);
    EXPECT_TRUE(custom.isCustom());
    EXPECT_EQ(custom.getDetails().cChannels, 0u);
    EXPECT_EQ(custom.getDetails().cbDetails, 16u);
    EXPECT_EQ(custom.getLastResult(), MMR_NOERROR);
    EXPECT_FALSE(custom.isDetailsStale());
}

TEST_F(MsMixerFakeTest, MultipleItemValuesAreIndexedByChannelAndItem) {
    MixerModelBuilder b("Card");
    uint32_t d = b.destination("Recording", MIXERLINE_COMPONENTTYPE_DST_WAVEIN, 2);
    const uint32_t id = b.control(d, -1, MIXERCONTROL_CONTROLTYPE_MIXER, 2, {"A", "B", "C"});
    service.addDevice(b.build());
    service.device(0).values[id] = {1, 0, 0, 0, 0, 1};

    tMsMixerSystem system(service);
    tMsMixerControl& c = *firstDestination(system).getControl(0);
    EXPECT_TRUE(c.getBoolValue(0, 0));
    EXPECT_EQ(c.getListTexts().size(), 6u); // two channels of three names
    EXPECT_FALSE(c.getBoolValue(0, 2));
    EXPECT_TRUE(c.getBoolValue(1, 2));
    EXPECT_FALSE(c.getBoolValue(1, 0));
    EXPECT_FALSE(c.getBoolValue(2, 0)); // beyond the buffer

    const size_t sets = service.count("setValues");
    c.setBoolValue(7, 0, true);
    EXPECT_EQ(c.getLastResult(), MMR_INVALPARAM);
    EXPECT_EQ(service.count("setValues"), sets);

    c.setBoolValue(1, 1, true);
    EXPECT_EQ(c.getLastResult(), MMR_NOERROR);
    EXPECT_EQ(service.device(0).values[id], (std::vector<int32_t>{1, 0, 0, 0, 1, 1}));
}

TEST_F(MsMixerFakeTest, SetValueStaysCachedWithoutANewQuery) {
    MixerModelBuilder b("Card");
    uint32_t d = b.destination("Recording", MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    b.control(d, -1, MIXERCONTROL_CONTROLTYPE_MUX, 1, {"A", "B", "C", "D"});
    service.addDevice(b.build());
    tMsMixerSystem system(service);
    tMsMixerControl& mux = *firstDestination(system).getControl(0);
    EXPECT_TRUE(mux.getBoolValue(0, 0));
    const size_t reads = service.count("getValues");
    mux.setBoolValue(0, 1, true);
    // Two items set is no valid MUX state: the device refuses it, the cache
    // keeps what was set.
    EXPECT_EQ(mux.getLastResult(), MMR_MIXER_INVALVALUE);
    EXPECT_TRUE(mux.getBoolValue(0, 1));
    EXPECT_TRUE(mux.getBoolValue(0, 0));
    EXPECT_EQ(service.count("getValues"), reads);
    mux.setBoolValue(0, 0, false);
    EXPECT_EQ(mux.getLastResult(), MMR_NOERROR);
    EXPECT_EQ(service.device(0).values.begin()->second, (std::vector<int32_t>{0, 1, 0, 0}));
}

TEST_F(MsMixerFakeTest, ListItemOfASourceFallsBackToItsName) {
    MixerModelBuilder b("Card");
    uint32_t d = b.destination("Recording", MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    b.control(d, -1, MIXERCONTROL_CONTROLTYPE_MUX, 1, {"B", "A", "Z"});
    b.lastControl().itemParam1 = 0x5000; // names no line
    b.source(d, "A");
    b.source(d, "B");
    b.source(d, "C");
    service.addDevice(b.build());
    tMsMixerSystem system(service);
    tMsMixerLine& dest = firstDestination(system);
    tMsMixerControl& mux = *dest.getControl(0);
    EXPECT_EQ(mux.findListItem(*dest.getSource(0)), -1); // C
    EXPECT_EQ(mux.findListItem(*dest.getSource(1)), 0);  // B
    EXPECT_EQ(mux.findListItem(*dest.getSource(2)), 1);  // A
    EXPECT_EQ(mux.getListParams(), (std::vector<uint32_t>{0x5000, 0x5001, 0x5002}));
}

TEST_F(MsMixerFakeTest, FailedValueFetchReadsFalseAndIsRetried) {
    MixerModelBuilder b("Card");
    uint32_t d = b.destination("Speakers", MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
    const uint32_t mute = b.control(d, -1, MIXERCONTROL_CONTROLTYPE_MUTE, 1);
    service.addDevice(b.build());
    service.device(0).values[mute] = {1};
    service.failGetValues.insert(mute);
    tMsMixerSystem system(service);
    tMsMixerControl& c = *firstDestination(system).getControl(0);
    EXPECT_FALSE(c.getBoolValue(0, 0));
    EXPECT_TRUE(c.isDetailsStale());
    EXPECT_EQ(c.getLastResult(), MMR_ERROR);
    service.failGetValues.clear();
    EXPECT_TRUE(c.getBoolValue(0, 0));
    EXPECT_FALSE(c.isDetailsStale());
}

TEST_F(MsMixerFakeTest, EveryQueryAddressesTheChosenDevice) {
    for (const char* name : {"First", "Second"}) {
        MixerModelBuilder b(name);
        uint32_t d = b.destination("Recording", MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
        b.control(d, -1, MIXERCONTROL_CONTROLTYPE_MUX, 1, {"A", "B"});
        b.source(d, "A");
        b.control(d, 0, MIXERCONTROL_CONTROLTYPE_VOLUME, 2);
        b.source(d, "B");
        service.addDevice(b.build());
    }
    tMsMixerSystem system(service);
    service.calls.clear();
    tMsMixer& mixer = *system.getMixer(1);
    mixer.enumDestinations();
    tMsMixerLine& dest = *mixer.getDestination(0);
    dest.enumSources();
    dest.enumControls();
    dest.getControl(0)->setBoolValue(0, 1, true);
    dest.getSource(1)->enumControls();
    dest.getSource(1)->getControl(0)->getDetails();
    ASSERT_GE(service.calls.size(), 8u);
    for (const auto& call : service.calls)
        EXPECT_EQ(call.device, 1u) << call.name;
}

TEST_F(MsMixerFakeTest, OpenQueriesThroughTheHandleAndEveryHandleIsClosed) {
    MixerModelBuilder b("Card");
    b.destination("Speakers", MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
    service.addDevice(b.build());
    {
        tMsMixerSystem system(service);
        tMsMixer& mixer = *system.getMixer(0);
        mixer.getCaps();
        EXPECT_FALSE(mixer.isCapsStale());
        EXPECT_TRUE(mixer.open());
        EXPECT_TRUE(mixer.isActive());
        EXPECT_TRUE(mixer.isCapsStale());
        EXPECT_EQ(text(mixer.getCaps().szPname), "Card");
        mixer.setActive(true); // already open: nothing
        EXPECT_EQ(service.count("open"), 1u);
        mixer.setActive(false);
        EXPECT_FALSE(mixer.isActive());
        EXPECT_EQ(service.openHandles(), 0u);
        mixer.setActive(true);
        EXPECT_EQ(service.openHandles(), 1u);
    }
    EXPECT_EQ(service.openHandles(), 0u); // closed with the system
}

TEST_F(MsMixerFakeTest, FailedOpenKeepsTheDeviceClosed) {
    MixerModelBuilder b("Card");
    service.addDevice(b.build());
    service.device(0).failOpen = true;
    tMsMixerSystem system(service);
    EXPECT_FALSE(system.getMixer(0)->open());
    EXPECT_FALSE(system.getMixer(0)->isActive());
    EXPECT_EQ(system.getMixer(0)->getLastResult(), MMR_ALLOCATED);
}

} // namespace
