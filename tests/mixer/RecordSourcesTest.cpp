// The record-source model on hand-described cards: a wave-in destination
// with a MUX, one with select switches, and cards missing what the panel
// needs. Nothing may be written to the mixer unless a source is chosen or
// the volume is set.
#include "mixer/RecordSources.h"

#include "FakeMixerService.h"
#include "mixer/TAudio.h"
#include "mixer/tMsMixer.h"

#include <gtest/gtest.h>

namespace {

using Problems = std::vector<RecordSources::Problem>;
using Kind = RecordSources::Kind;

struct Ids {
    uint32_t mux = 0, micVolume = 0, micSelect = 0, lineVolume = 0;
};

// Speakers, then a wave-in destination whose sources are Mic, Line and Aux
// (Aux without controls); with a MUX (items Mic, Line, Aux) or with select
// switches on Mic and Line.
MixerDeviceModel card(bool withMux, Ids& ids, const std::string& name = "Card") {
    MixerModelBuilder b(name);
    const uint32_t spk = b.destination("Speakers", MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
    b.control(spk, -1, MIXERCONTROL_CONTROLTYPE_VOLUME, 2);
    const uint32_t rec = b.destination("Recording", MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
    if (withMux)
        ids.mux = b.control(rec, -1, MIXERCONTROL_CONTROLTYPE_MUX, 1, {"Mic", "Line", "Aux"});
    b.source(rec, "Mic");
    ids.micVolume = b.control(rec, 0, MIXERCONTROL_CONTROLTYPE_VOLUME, 2);
    if (!withMux)
        ids.micSelect = b.control(rec, 0, MIXERCONTROL_CONTROLTYPE_MUTE, 1);
    b.source(rec, "Line");
    ids.lineVolume = b.control(rec, 1, MIXERCONTROL_CONTROLTYPE_VOLUME, 2);
    if (!withMux)
        b.control(rec, 1, MIXERCONTROL_CONTROLTYPE_MUTE, 1);
    b.source(rec, "Aux");
    return b.build();
}

struct Built {
    explicit Built(FakeMixerService& service) : system(service), audio(service) {}
    tMsMixerSystem system;
    TAudio audio;
    RecordSources sources{system, audio};
    RecordSources::Indices indices;
    Problems problems;
    void build() { sources.build(indices, problems); }
    int indexOf(const std::string& name) const {
        for (size_t i = 0; i < sources.sources().size(); ++i)
            if (sources.sources()[i].name == name)
                return int(i);
        return -1;
    }
};

TEST(RecordSources, MuxModeListsRadioSourcesAndChoosingSetsExactlyOneItem) {
    FakeMixerService service;
    Ids ids;
    service.addDevice(card(true, ids));
    service.device(0).values[ids.lineVolume] = {40000, 20000};
    Built b(service);
    b.build();
    EXPECT_TRUE(b.problems.empty());
    EXPECT_TRUE(b.sources.muxMode());
    EXPECT_EQ(b.indices.Mixer, 0);
    EXPECT_EQ(b.indices.WaveInLine, 1);
    EXPECT_EQ(b.indices.WaveInDestination, 1);
    EXPECT_EQ(b.indices.PlaybackDestination, 0);
    EXPECT_GE(b.indices.MuxControl, 0);
    EXPECT_EQ(b.sources.deviceNames(), std::vector<std::string>{"Card"});
    ASSERT_EQ(b.sources.sources().size(), 3u);
    for (const auto& s : b.sources.sources()) {
        EXPECT_EQ(s.kind, Kind::Radio) << s.name;
        EXPECT_EQ(s.checked, s.name == "Mic") << s.name;
    }
    // The list runs from the highest source down; the MUX items do not.
    const int line = b.indexOf("Line");
    EXPECT_EQ(b.sources.sources()[size_t(line)].muxItem, 1);
    EXPECT_EQ(b.sources.selected(), b.indexOf("Mic"));

    // A MUX source has no select switch; its volume is shown all the same,
    // and showing writes nothing.
    EXPECT_EQ(b.sources.shownVolume(1, b.sources.sources()[size_t(line)].line), 20000);
    EXPECT_EQ(service.count("setControlDetails"), 0u);

    b.sources.choose(size_t(line));
    EXPECT_EQ(service.device(0).values[ids.mux], (std::vector<int32_t>{0, 1, 0}));
    for (const auto& s : b.sources.sources())
        EXPECT_EQ(s.checked, s.name == "Line") << s.name;
    EXPECT_EQ(service.device(0).values[ids.lineVolume], (std::vector<int32_t>{40000, 20000}));
}

TEST(RecordSources, CheckBoxModeMirrorsSelectSwitchesAndKeepsTheBalance) {
    FakeMixerService service;
    Ids ids;
    service.addDevice(card(false, ids));
    service.device(0).values[ids.micVolume] = {40000, 20000};
    service.device(0).values[ids.micSelect] = {1};
    Built b(service);
    b.build();
    EXPECT_TRUE(b.problems.empty());
    EXPECT_FALSE(b.sources.muxMode());
    EXPECT_EQ(b.indices.MuxControl, -1);
    const int mic = b.indexOf("Mic"), aux = b.indexOf("Aux");
    ASSERT_GE(mic, 0);
    ASSERT_GE(aux, 0);
    EXPECT_EQ(b.sources.sources()[size_t(mic)].kind, Kind::CheckBox);
    EXPECT_TRUE(b.sources.sources()[size_t(mic)].checked);
    EXPECT_EQ(b.sources.sources()[size_t(b.indexOf("Line"))].kind, Kind::CheckBox);
    EXPECT_FALSE(b.sources.sources()[size_t(b.indexOf("Line"))].checked);
    EXPECT_EQ(b.sources.sources()[size_t(aux)].kind, Kind::None);
    EXPECT_EQ(b.sources.sources()[size_t(aux)].line, -1) << "no controls: not in TAudio's names";
    EXPECT_EQ(b.sources.selected(), 0);

    const int micLine = b.sources.sources()[size_t(mic)].line;
    EXPECT_EQ(b.sources.shownVolume(1, micLine), 20000);
    EXPECT_FALSE(b.sources.shownVolume(1, -1).has_value());
    EXPECT_EQ(service.count("setControlDetails"), 0u) << "building and showing only read";

    // The user clears the microphone's mark: its switch follows, its two
    // channels stay as they were.
    b.sources.setChecked(size_t(mic), false);
    b.sources.choose(size_t(mic));
    EXPECT_EQ(service.device(0).values[ids.micSelect], std::vector<int32_t>{0});
    EXPECT_EQ(service.device(0).values[ids.micVolume], (std::vector<int32_t>{40000, 20000}));

    // The slider sets both channels.
    EXPECT_TRUE(b.sources.setVolume(1, micLine, 1234));
    EXPECT_EQ(service.device(0).values[ids.micVolume], (std::vector<int32_t>{1234, 1234}));
    EXPECT_FALSE(b.sources.setVolume(1, -1, 1));
}

TEST(RecordSources, MissingPartsAreReportedInOrder) {
    using P = RecordSources::Problem;
    {
        FakeMixerService service;
        Built b(service);
        b.build();
        EXPECT_EQ(b.problems, Problems{P::NoDevice});
        EXPECT_TRUE(b.sources.sources().empty());
    }
    {
        FakeMixerService service;
        MixerModelBuilder none("Empty");
        service.addDevice(none.build());
        MixerModelBuilder speakersOnly("Speakers only");
        speakersOnly.destination("Speakers", MIXERLINE_COMPONENTTYPE_DST_SPEAKERS);
        service.addDevice(speakersOnly.build());
        MixerModelBuilder noSources("No sources");
        noSources.destination("Recording", MIXERLINE_COMPONENTTYPE_DST_WAVEIN);
        service.addDevice(noSources.build());
        Built b(service);
        b.indices.Mixer = 0;
        b.build();
        EXPECT_EQ(b.problems, Problems{P::NoDestinationLine});
        b.problems.clear();
        b.indices.Mixer = 1;
        b.build();
        EXPECT_EQ(b.problems, Problems{P::NoWaveInDestination});
        EXPECT_EQ(b.indices.WaveInLine, -1);
        b.problems.clear();
        b.indices.Mixer = 2;
        b.build();
        EXPECT_EQ(b.problems, Problems{P::NoSourceLine});
        EXPECT_EQ(b.indices.WaveInLine, 0);
        EXPECT_EQ(b.sources.deviceNames().size(), 3u);

        // A stored device beyond the last one takes the first.
        b.problems.clear();
        b.indices.Mixer = 5;
        b.build();
        EXPECT_EQ(b.indices.Mixer, 0);
        EXPECT_EQ(b.audio.MixerDeviceID(), 0u);
    }
}

} // namespace
