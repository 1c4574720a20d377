// The transport without any widget: its state table, and a WAV recording
// on the virtual card driven through a view that only writes down what it
// is asked to draw.
#include "app/RecordingControl.h"

#include "AppTestSupport.h"
#include "app/svar.h"
#include "capture/unavclWaveComponents.h"
#include "platform/audio/AudioBackend.h"
#include "platform/audio/VirtualCard.h"

#include <chrono>
#include <thread>

using namespace apptest;
using sonvale::app::RecordingControl;
using Strings = std::vector<std::string>;

namespace {

struct FakeView : sonvale::app::RecordingView {
    std::string statusText = "Ready";
    bool listButtons = true, recordButton = true, playButton = true, timer = false;
    int progress = -1;
    std::string clock;
    bool meter = false;
    bool isNew = true;
    std::optional<std::string> selected;
    Strings list;
    int sourceRefreshes = 0, playbackVolumeShows = 0, listSaves = 0;

    std::string status() const override { return statusText; }
    void setStatus(const std::string& text) override { statusText = text; }
    void setListButtonsEnabled(bool on) override { listButtons = recordButton = playButton = on; }
    void setRecordEnabled(bool on) override { recordButton = on; }
    void setPlayEnabled(bool on) override { playButton = on; }
    void setTimerRunning(bool on) override { timer = on; }
    void setProgress(int percent) override { progress = percent; }
    void setClock(const std::string& text) override { clock = text; }
    void setMeterRunning(bool on) override { meter = on; }
    bool recordNew() const override { return isNew; }
    std::optional<std::string> selectedRecording() const override { return selected; }
    void selectRecording(const std::string& path) override {
        if (std::find(list.begin(), list.end(), path) == list.end())
            list.push_back(path);
        selected = path;
    }
    void renameSelectedRecording(const std::string& path) override {
        for (auto& item : list)
            if (selected && item == *selected)
                item = path;
        if (selected)
            selected = path;
    }
    void removeSelectedRecording() override {
        if (selected)
            list.erase(std::remove(list.begin(), list.end(), *selected), list.end());
        selected.reset();
    }
    void saveRecordingList() override { ++listSaves; }
    void refreshSourceVolume() override { ++sourceRefreshes; }
    void showPlaybackVolume() override { ++playbackVolumeShows; }
};

class RecordingControlTest : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        setAudioBackend(AudioBackend::Virtual);
        VirtualCardConfig config;
        config.speed = 20;
        ASSERT_TRUE(VirtualCard::instance().configure(config));
        riff.setIsInput(false);
        waveIn.reinitialize();
        waveIn.setConsumer(&riff);
        svar::AppSettings.SaveDir = dir.path();
        svar::AppSettings.SaveFile = 0;
        control = std::make_unique<RecordingControl>(view, ui, waveIn, riff);
    }
    void TearDown() override {
        control.reset();
        VirtualCard::instance().configure(VirtualCardConfig{});
        setAudioBackend(AudioBackend::Alsa);
        AppFixture::TearDown();
    }
    bool capturedAtLeast(uint64_t bytes) {
        for (int i = 0; i < 2000 && riff.inBytes() < bytes; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return riff.inBytes() >= bytes;
    }

    TunavclWaveRiff riff;
    TunavclWaveInDevice waveIn;
    FakeView view;
    std::unique_ptr<RecordingControl> control;
};

} // namespace

TEST_F(RecordingControlTest, RefusedChangeLeavesTheStateAlone) {
    svar::AppState = svar::stRecording;
    EXPECT_FALSE(control->setState(svar::stPlaying));
    EXPECT_EQ(svar::AppState, svar::stRecording);
    EXPECT_TRUE(control->setState(svar::stRecordPaused));
    EXPECT_EQ(svar::AppState, svar::stRecordPaused);
    // A pause is entered only from its own activity; unknown states never move.
    EXPECT_FALSE(RecordingControl::allowedTransition(svar::stIdle, svar::stRecordPaused));
    EXPECT_FALSE(RecordingControl::allowedTransition(svar::stRecordPaused, svar::stPlaying));
    EXPECT_FALSE(RecordingControl::allowedTransition(7, svar::stIdle));
}

TEST_F(RecordingControlTest, WavRecordingPausesResumesAndStopsThroughTheView) {
    control->Record();
    const std::string name = dir.path() + "Untitled1.wav";
    ASSERT_EQ(svar::AppState, svar::stRecording) << ::testing::PrintToString(ui.messages());
    EXPECT_EQ(view.list, Strings{name});
    EXPECT_EQ(view.statusText, "Recording...");
    EXPECT_FALSE(view.listButtons);
    EXPECT_TRUE(view.timer);
    EXPECT_EQ(view.listSaves, 1) << "a recording that starts is listed on disk at once";
    ASSERT_TRUE(capturedAtLeast(44100 * 4));

    control->Play(); // ignored while recording
    EXPECT_EQ(svar::AppState, svar::stRecording);
    // The size shown is what the writer had taken at the tick; the capture
    // goes on meanwhile, so it lies between the counts before and after.
    const uint64_t before = riff.inBytes() / 1024;
    control->Tick();
    const std::string prefix = "Recording... 1s / ";
    const uint64_t shown = std::stoull(view.statusText.substr(prefix.size()));
    EXPECT_EQ(view.statusText, prefix + std::to_string(shown) + "KB");
    EXPECT_GE(shown, before);
    EXPECT_LE(shown, riff.inBytes() / 1024);

    control->Pause();
    EXPECT_EQ(svar::AppState, svar::stRecordPaused);
    EXPECT_EQ(view.statusText.rfind("Pause Recording... 1s / ", 0), 0u) << view.statusText;
    EXPECT_TRUE(view.recordButton);
    control->Tick();
    EXPECT_EQ(svar::ElapsedSeconds, 1) << "paused time is not counted";
    control->Record(); // resumes
    EXPECT_EQ(svar::AppState, svar::stRecording);
    EXPECT_FALSE(view.recordButton);

    control->Stop();
    EXPECT_EQ(svar::AppState, svar::stIdle);
    EXPECT_EQ(view.statusText, "Ready");
    EXPECT_TRUE(view.listButtons);
    EXPECT_FALSE(view.timer);
    EXPECT_EQ(view.progress, 0);
    EXPECT_EQ(view.sourceRefreshes, 1);
    EXPECT_EQ(view.listSaves, 2) << "and again when it ends";
    EXPECT_EQ(svar::ElapsedSeconds, 0);
    EXPECT_GT(readFile(name).size(), 44u);
    EXPECT_TRUE(ui.messages().empty());

    // Overwrite mode takes the selected recording with the output's extension.
    view.isNew = false;
    view.selected = dir.path() + "take.mp3";
    control->Record();
    EXPECT_EQ(svar::RecordFileName, dir.path() + "take.wav");
    EXPECT_EQ(view.selected, dir.path() + "take.wav");
    control->Stop();
}

TEST_F(RecordingControlTest, Mp3WithoutAnEncoderDoesNothingButKeepsTheNewItem) {
    svar::AppSettings.SaveFile = 1;
    control->Record();
    EXPECT_EQ(svar::AppState, svar::stIdle);
    EXPECT_EQ(svar::ActiveEncoder.load(), nullptr);
    EXPECT_EQ(view.list, Strings{dir.path() + "Untitled1.mp3"});
    EXPECT_TRUE(view.listButtons);
    EXPECT_FALSE(view.timer);
    EXPECT_TRUE(ui.messages().empty());

    // Playing a missing recording does nothing either.
    control->Play();
    EXPECT_EQ(svar::AppState, svar::stIdle);
    EXPECT_EQ(view.playbackVolumeShows, 0);
}
