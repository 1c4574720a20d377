// The record-source panel on the virtual card: the sources of the chosen
// mixer in MUX and check-box mode, choosing a source, the volume slider, the
// options dialog's mixer list (also when the dialog is made on first use).
#include "RecorderTestSupport.h"

#include "app/soptions.h"
#include "capture/unavclWaveComponents.h"
#include "mixer/TAudio.h"
#include "mixer/tMsMixer.h"
#include "platform/AudioTestSupport.h"
#include "platform/audio/VirtualCard.h"

#include <QComboBox>
#include <QSlider>
#include <QTreeWidget>

#include <cmath>
#include <cstring>

using namespace apptest;
using Strings = std::vector<std::string>;

namespace {

class SourcePanel : public RecorderFixture {
protected:
    Strings sourceNames() const {
        Strings names;
        for (int i = 0; i < frm->lstRecordSource->topLevelItemCount(); ++i)
            names.push_back(frm->lstRecordSource->topLevelItem(i)->text(0).toStdString());
        return names;
    }

    QTreeWidgetItem* source(const std::string& name) const {
        for (int i = 0; i < frm->lstRecordSource->topLevelItemCount(); ++i)
            if (frm->lstRecordSource->topLevelItem(i)->text(0).toStdString() == name)
                return frm->lstRecordSource->topLevelItem(i);
        return nullptr;
    }

    // The MUX values of device 0's wave-in destination, by MUX item, read
    // through a mixer system of the test's own.
    static std::vector<bool> muxValues() {
        tMsMixerSystem system;
        tMsMixer* mixer = system.getMixer(0);
        mixer->enumDestinations();
        std::vector<bool> values;
        for (uint32_t q = 0; q < mixer->getDestinationCount(); ++q) {
            tMsMixerLine* dest = mixer->getDestination(q);
            if (dest->getLineInfo().dwComponentType != MIXERLINE_COMPONENTTYPE_DST_WAVEIN)
                continue;
            dest->enumControls();
            for (uint32_t k = 0; k < dest->getControlCount(); ++k) {
                tMsMixerControl* c = dest->getControl(k);
                if (c->getControlInfo().dwControlType != MIXERCONTROL_CONTROLTYPE_MUX)
                    continue;
                const uint32_t items = c->getDetails().cMultipleItems;
                for (uint32_t i = 0; i < items; ++i)
                    values.push_back(c->getBoolValue(0, i));
            }
        }
        return values;
    }

    // Volume and mute of a source of the wave-in destination, by name.
    bool lineState(const std::string& name, uint16_t& left, uint16_t& right, bool& mute) {
        TAudio audio;
        const int d = svar::AppSettings.WaveInDestination;
        const auto& names = audio.GetSourceNames(d);
        for (size_t k = 0; k < names.size(); ++k)
            if (names[k] == name) {
                uint16_t flags = 0;
                // MUX sources have no mute control; their volume is read all the same.
                return audio.GetLineVolume(d, int(k), left, right, mute, flags) ||
                       audio.ErrorCode() == TAudioError::MuteGet;
            }
        return false;
    }
};

} // namespace

TEST_F(SourcePanel, MuxModeListsTheFourSourcesAndChoosingOneSetsTheMux) {
    frm = create();
    EXPECT_EQ(ui.messages(), (Strings{"File 'mp3enc.so' lost!", "File 'mp3play.so' lost!"}));
    EXPECT_EQ(svar::AppSettings.Mixer, 0);
    EXPECT_EQ(svar::AppSettings.WaveInLine, 1);
    EXPECT_GE(svar::AppSettings.MuxControl, 0);
    ASSERT_EQ(frm->OptionsFrm->cbxMixer->count(), 1);
    EXPECT_EQ(frm->OptionsFrm->cbxMixer->itemText(0), "Virtual Card 1");

    Strings names = sourceNames();
    ASSERT_EQ(names.size(), 4u);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (Strings{"CD Audio", "Line In", "Microphone", "Stereo Mix"}));
    for (const char* n : {"CD Audio", "Line In", "Microphone", "Stereo Mix"}) {
        QTreeWidgetItem* item = source(n);
        EXPECT_EQ(item->data(0, TMainFrm::kCheckKindRole).toInt(), TMainFrm::ectRadioButton);
        EXPECT_EQ(item->checkState(0) == Qt::Checked, std::string(n) == "Microphone") << n;
        EXPECT_EQ(item->toolTip(0), item->text(0)) << "the whole name on hover";
    }
    EXPECT_EQ(frm->lstRecordSource->currentItem(), source("Microphone"));
    EXPECT_EQ(muxValues(), (std::vector<bool>{true, false, false, false}));

    // The user marks CD Audio (MUX item 2, whatever its place in the list).
    source("CD Audio")->setCheckState(0, Qt::Checked);
    EXPECT_EQ(muxValues(), (std::vector<bool>{false, false, true, false}));
    EXPECT_EQ(source("Microphone")->checkState(0), Qt::Unchecked);

    // Clicking the marked source again keeps it chosen.
    source("CD Audio")->setCheckState(0, Qt::Unchecked);
    EXPECT_EQ(source("CD Audio")->checkState(0), Qt::Checked);
    EXPECT_EQ(muxValues(), (std::vector<bool>{false, false, true, false}));

    // Selecting a row chooses that source too.
    frm->lstRecordSource->setCurrentItem(source("Line In"));
    EXPECT_EQ(muxValues(), (std::vector<bool>{false, true, false, false}));
    EXPECT_EQ(source("Line In")->checkState(0), Qt::Checked);
}

TEST_F(SourcePanel, VolumeSliderWritesAndShowsTheSelectedSourcesVolume) {
    VirtualCard::instance().setSourceVolume(0, VS_LINE_IN, 40000, 32768);
    frm = create();
    frm->lstRecordSource->setCurrentItem(source("Line In"));
    EXPECT_EQ(frm->prbVolume->value(), 50) << "the second channel is shown";

    frm->prbVolume->setValue(30);
    uint16_t left = 0, right = 0;
    bool mute = false;
    ASSERT_TRUE(lineState("Line In", left, right, mute));
    EXPECT_EQ(left, 19660);
    EXPECT_EQ(right, 19660);
    frm->prbVolume->setValue(100);
    ASSERT_TRUE(lineState("Line In", left, right, mute));
    EXPECT_EQ(right, 65535);

    frm->lstRecordSource->setCurrentItem(source("Microphone"));
    VirtualCard::instance().setSourceVolume(0, VS_MICROPHONE, 32768, 32768);
    frm->lstRecordSource->setCurrentItem(source("Line In"));
    frm->lstRecordSource->setCurrentItem(source("Microphone"));
    EXPECT_EQ(frm->prbVolume->value(), 50);
}

TEST_F(SourcePanel, CheckBoxModeMirrorsTheSelectSwitches) {
    configureCard({false}, 20);
    frm = create();
    EXPECT_EQ(svar::AppSettings.MuxControl, -1);
    ASSERT_EQ(sourceNames().size(), 5u);
    QTreeWidgetItem* aux = source("Auxiliary");
    ASSERT_NE(aux, nullptr);
    EXPECT_EQ(aux->data(0, TMainFrm::kCheckKindRole).toInt(), TMainFrm::kNoCheckBox);
    EXPECT_EQ(source("Microphone")->data(0, TMainFrm::kCheckKindRole).toInt(),
              TMainFrm::ectCheckBox);
    EXPECT_EQ(source("Microphone")->checkState(0), Qt::Checked);
    EXPECT_EQ(source("Line In")->checkState(0), Qt::Unchecked);
    EXPECT_EQ(frm->lstRecordSource->currentItem(), frm->lstRecordSource->topLevelItem(0));

    VirtualCard::instance().setSourceVolume(0, VS_LINE_IN, 1000, 32768);
    source("Line In")->setCheckState(0, Qt::Checked);
    uint16_t left = 0, right = 0;
    bool mute = false;
    ASSERT_TRUE(lineState("Line In", left, right, mute));
    EXPECT_TRUE(mute) << "the mark is the line's switch";
    EXPECT_EQ(left, 1000) << "choosing a source keeps its balance";
    EXPECT_EQ(right, 32768);
    ASSERT_TRUE(lineState("Microphone", left, right, mute));
    EXPECT_TRUE(mute) << "other sources keep their switch";
    source("Microphone")->setCheckState(0, Qt::Unchecked);
    ASSERT_TRUE(lineState("Microphone", left, right, mute));
    EXPECT_FALSE(mute);

    // A source without controls can be selected without harm.
    frm->lstRecordSource->setCurrentItem(aux);
    frm->prbVolume->setValue(40);
    EXPECT_TRUE(ui.messages().size() <= 2u);
}

TEST_F(SourcePanel, StoredMixerBeyondTheDevicesTakesTheFirst) {
    configureCard({true, false}, 20);
    writeFile(paths.iniFile, "[Options]\r\nMixer=5\r\n");
    frm = create();
    EXPECT_EQ(svar::AppSettings.Mixer, 0);
    EXPECT_EQ(frm->OptionsFrm->cbxMixer->count(), 2);
    EXPECT_EQ(frm->OptionsFrm->cbxMixer->currentIndex(), 0);
    EXPECT_EQ(sourceNames().size(), 4u);

    // The dialog's OK rebuilds the panel for the second device.
    svar::AppSettings.Mixer = 1;
    frm->BuildRecordSourcePanel();
    EXPECT_EQ(frm->OptionsFrm->cbxMixer->currentIndex(), 1);
    EXPECT_EQ(sourceNames().size(), 5u);
    EXPECT_EQ(svar::AppSettings.MuxControl, -1);
}

TEST_F(SourcePanel, AnOptionsDialogMadeOnFirstUseListsTheMixersOfThePanel) {
    configureCard({true, false}, 20);
    writeFile(paths.iniFile, "[Options]\r\nMixer=1\r\n");
    frm = std::make_unique<TMainFrm>(paths, ui);
    int made = 0;
    frm->setOptionsFactory([&] {
        ++made;
        return new TOptionsFrm(paths, ui, frm.get());
    });
    frm->FormShow();
    EXPECT_EQ(made, 0);
    EXPECT_EQ(frm->optionsForm(), nullptr);

    TOptionsFrm* options = frm->ensureOptionsForm();
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(frm->ensureOptionsForm(), options);
    EXPECT_EQ(made, 1);
    EXPECT_EQ(options->cbxMixer->count(), 2);
    EXPECT_EQ(options->cbxMixer->currentIndex(), 1);
}

TEST_F(SourcePanel, RecordingFollowsTheChosenMixerDeviceWhoseNamesShowWhole) {
    VirtualCardConfig config;
    config.devices.resize(2);
    config.devices[0].name = "Front Panel Microphone and Line Input (USB)";
    config.devices[1].name = "Rear Line Input of the Second Card, Analog";
    config.devices[1].hasMux = false;
    config.speed = 20;
    ASSERT_TRUE(VirtualCard::instance().configure(config));
    frm = create();
    svar::AppSettings.SaveFile = 0;
    ASSERT_EQ(frm->OptionsFrm->cbxMixer->count(), 2);
    EXPECT_EQ(frm->OptionsFrm->cbxMixer->itemText(1).toStdString(), config.devices[1].name);

    // The left channel's tone tells the source: Microphone 500 Hz, Line In
    // 1000 Hz.
    auto recordedTone = [&] {
        frm->btnRecordClick();
        if (svar::AppState != svar::stRecording)
            return 0.0;
        waitUntil([&] { return frm->waveIn->outBytes() >= 44100 * 4; });
        frm->btnStopClick();
        const std::string wav = readFile(svar::RecordFileName);
        return wav.size() > 80
                   ? measureFrequency(channelOf(reinterpret_cast<const uint8_t*>(wav.data() + 80),
                                                wav.size() - 80, 2, 0),
                                      44100)
                   : 0.0;
    };
    EXPECT_NEAR(recordedTone(), 500, 5) << "device 0 records its microphone";

    // The second device, with Line In ticked instead of the microphone.
    svar::AppSettings.Mixer = 1;
    frm->BuildRecordSourcePanel();
    source("Line In")->setCheckState(0, Qt::Checked);
    source("Microphone")->setCheckState(0, Qt::Unchecked);
    EXPECT_NEAR(recordedTone(), 1000, 5) << "the second device's source is recorded";
    EXPECT_EQ(frm->waveIn->deviceId(), 1);
}

TEST_F(SourcePanel, ASourceChosenElsewhereShowsInThePanel) {
    frm = create();
    ASSERT_EQ(source("Microphone")->checkState(0), Qt::Checked);
    // Another program sets the recording MUX to CD Audio (item 2).
    tMsMixerSystem other;
    tMsMixer* mixer = other.getMixer(0);
    mixer->enumDestinations();
    tMsMixerControl* mux = nullptr;
    for (uint32_t q = 0; q < mixer->getDestinationCount() && !mux; ++q) {
        tMsMixerLine* dest = mixer->getDestination(q);
        dest->enumControls();
        for (uint32_t k = 0; k < dest->getControlCount(); ++k)
            if (dest->getControl(k)->getControlInfo().dwControlType == MIXERCONTROL_CONTROLTYPE_MUX)
                mux = dest->getControl(k);
    }
    ASSERT_NE(mux, nullptr);
    mux->setBoolValue(0, 2, true);
    mux->setBoolValue(0, 0, false);
    EXPECT_TRUE(waitUntil([&] { return source("CD Audio")->checkState(0) == Qt::Checked; }, 5000));
    EXPECT_EQ(source("Microphone")->checkState(0), Qt::Unchecked);
    EXPECT_EQ(frm->lstRecordSource->currentItem(), source("CD Audio"));
    EXPECT_TRUE(ui.messages().size() <= 2u) << "no box for a change";
}

TEST_F(SourcePanel, WhilePlayingTheSliderSetsTheSpeakersVolume) {
    std::string wav = dir.path() + "long.wav";
    {
        // 30 s of silence at 8 kHz mono 8-bit.
        const uint32_t n = 8000 * 30;
        std::string d(n, char(0x80));
        auto u32 = [](uint32_t v) {
            return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
        };
        auto u16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
        writeFile(wav, "RIFF" + u32(36 + n) + "WAVEfmt " + u32(16) + u16(1) + u16(1) + u32(8000) +
                           u32(8000) + u16(1) + u16(8) + "data" + u32(n) + d);
    }
    writeFile(paths.iniFile, "[RecordFile]\r\nRecordFileCount=1\r\nRecordFile0=" + wav + "\r\n");
    VirtualCard::instance().setSpeakers(0, 65535, 32768, false);
    VirtualCard::instance().setSourceVolume(0, VS_MICROPHONE, 6554, 6554);
    frm = create();
    EXPECT_EQ(frm->prbVolume->value(), 10);
    frm->btnPlayClick();
    ASSERT_EQ(svar::AppState, svar::stPlaying);
    EXPECT_EQ(frm->prbVolume->value(), 50) << "the speakers' volume is shown";
    TAudio audio;
    uint16_t left = 0, right = 0, flags = 0;
    bool mute = true;
    ASSERT_TRUE(
        audio.GetLineVolume(svar::AppSettings.PlaybackDestination, 0, left, right, mute, flags));
    EXPECT_EQ(left, 65535) << "showing it changed nothing";
    frm->prbVolume->setValue(20);
    ASSERT_TRUE(
        audio.GetLineVolume(svar::AppSettings.PlaybackDestination, 0, left, right, mute, flags));
    EXPECT_EQ(left, 13107);
    EXPECT_EQ(right, 13107);
    EXPECT_FALSE(mute);
    frm->btnStopClick();
    EXPECT_EQ(frm->prbVolume->value(), 10) << "the source's volume again after Stop";
}

TEST_F(SourcePanel, ShowingTheSourceVolumeNeverChangesItsBalance) {
    VirtualCard::instance().setSourceVolume(0, VS_MICROPHONE, 40000, 20000);
    frm = create(); // builds the panel and shows the microphone's volume
    EXPECT_EQ(frm->prbVolume->value(), 31);
    svar::AppSettings.SaveFile = 0;
    frm->btnRecordClick();
    ASSERT_EQ(svar::AppState, svar::stRecording);
    frm->btnStopClick(); // shows the selected source's volume again
    frm->BuildRecordSourcePanel();
    uint16_t left = 0, right = 0;
    bool mute = false;
    ASSERT_TRUE(lineState("Microphone", left, right, mute));
    EXPECT_EQ(left, 40000);
    EXPECT_EQ(right, 20000);
}
