// The list of recordings and playback through the main window: the media
// player service and the own MP3 player on the virtual speakers, pause and
// resume, Save, Remove and Remove all with their questions.
#include "RecorderTestSupport.h"

#include "capture/unavclWaveComponents.h"
#include "platform/audio/VirtualCard.h"
#include "platform/media/MediaPlayer.h"
#include "player/TXaudioPlayer.h"

#include <QLabel>
#include <QListWidget>
#include <QSlider>
#include <QToolButton>

#include <cmath>
#include <filesystem>

#include <sys/stat.h>

using namespace apptest;
using Strings = std::vector<std::string>;

namespace {

// A PCM WAV file of a 440 Hz tone: 16-bit stereo at 22050 Hz.
void writeToneWav(const std::string& path, double seconds) {
    const uint32_t rate = 22050, frames = uint32_t(rate * seconds);
    std::string data;
    for (uint32_t i = 0; i < frames; ++i) {
        const auto v = int16_t(8000 * std::sin(2 * M_PI * 440 * i / rate));
        for (int c = 0; c < 2; ++c) {
            data.push_back(char(v & 0xFF));
            data.push_back(char((v >> 8) & 0xFF));
        }
    }
    auto u32 = [](uint32_t v) {
        return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    };
    auto u16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
    const std::string header = "RIFF" + u32(36 + uint32_t(data.size())) + "WAVEfmt " + u32(16) +
                               u16(1) + u16(2) + u32(rate) + u32(rate * 4) + u16(4) + u16(16) +
                               "data" + u32(uint32_t(data.size()));
    writeFile(path, header + data);
}

class Playback : public RecorderFixture {
protected:
    void SetUp() override {
        RecorderFixture::SetUp();
        installLibraries();
    }

    // The window with these files listed, the last one selected.
    void createWithFiles(const Strings& files) {
        std::string ini =
            "[RecordFile]\r\nRecordFileCount=" + std::to_string(files.size()) + "\r\n";
        for (size_t i = 0; i < files.size(); ++i)
            ini += "RecordFile" + std::to_string(i) + "=" + files[i] + "\r\n";
        writeFile(paths.iniFile, ini);
        frm = create();
        ui.clear();
    }

    // Runs the timer by hand until playback has stopped.
    bool playsToTheEnd() {
        return waitUntil([&] {
            frm->TimerTimer();
            return svar::AppState == svar::stIdle;
        });
    }

    std::string status() const { return frm->labStatus->text().toStdString(); }
    std::string wav = dir.path() + "tone.wav";
};

} // namespace

TEST_F(Playback, WavPlaysThroughTheMediaPlayerToTheEnd) {
    writeToneWav(wav, 2);
    createWithFiles({wav});
    frm->btnPlay->click();
    ASSERT_EQ(svar::AppState, svar::stPlaying) << ::testing::PrintToString(ui.messages());
    EXPECT_EQ(svar::PlayFileName, wav);
    EXPECT_EQ(status(), "Playing...");
    EXPECT_FALSE(frm->btnPlay->isEnabled());
    EXPECT_FALSE(frm->btnRemoveAll->isEnabled());
    ASSERT_NE(frm->Control->sysPlayer(), nullptr);

    frm->btnRecordClick(); // ignored while playing
    EXPECT_EQ(svar::AppState, svar::stPlaying);
    ASSERT_TRUE(playsToTheEnd());
    EXPECT_EQ(status(), "Ready");
    EXPECT_EQ(frm->prbProgress->value(), 0);
    EXPECT_TRUE(frm->btnPlay->isEnabled());
    const auto played = VirtualCard::instance().speakerRecordings(0);
    ASSERT_FALSE(played.empty());
    EXPECT_GE(played.back().bytes.size(), 22050u * 4 * 3 / 2);
}

TEST_F(Playback, PauseAndResumeHoldThePlayback) {
    writeToneWav(wav, 30);
    createWithFiles({wav});
    frm->btnPlayClick();
    frm->btnPauseClick();
    EXPECT_EQ(svar::AppState, svar::stPlayPaused);
    EXPECT_EQ(status(), "Pause Playing");
    EXPECT_TRUE(frm->btnPlay->isEnabled());
    EXPECT_EQ(frm->Control->sysPlayer()->mode(), MediaPlayer::Mode::Paused);
    frm->TimerTimer(); // nothing while paused
    EXPECT_EQ(svar::AppState, svar::stPlayPaused);

    frm->btnPlayClick(); // Play resumes like Pause does
    EXPECT_EQ(svar::AppState, svar::stPlaying);
    EXPECT_EQ(status(), "Playing");
    EXPECT_FALSE(frm->btnPlay->isEnabled());
    frm->btnPauseClick();
    frm->btnPauseClick();
    EXPECT_EQ(svar::AppState, svar::stPlaying);
    frm->btnStopClick();
    EXPECT_EQ(svar::AppState, svar::stIdle);
    EXPECT_EQ(frm->Control->sysPlayer()->mode(), MediaPlayer::Mode::NotOpen);
}

TEST_F(Playback, Mp3PlaysThroughTheOwnPlayerOrTheMediaPlayer) {
    frm = create();
    ASSERT_TRUE(svar::AppSettings.IsOurPlayer);
    frm->btnRecordClick(); // an MP3 recording to play
    ASSERT_TRUE(waitUntil([&] { return frm->waveIn->outBytes() >= 44100 * 4; }));
    frm->btnStopClick();
    ui.clear();

    svar::PlayPercent = 100; // left by an earlier playback
    frm->btnPlayClick();
    ASSERT_EQ(svar::AppState, svar::stPlaying);
    EXPECT_EQ(frm->Control->sysPlayer(), nullptr) << "the own player plays MP3 files";
    EXPECT_LT(svar::PlayPercent, 100);
    ASSERT_TRUE(playsToTheEnd());
    EXPECT_TRUE(ui.messages().empty());

    svar::AppSettings.IsOurPlayer = false;
    frm->btnPlayClick();
    ASSERT_EQ(svar::AppState, svar::stPlaying);
    EXPECT_NE(frm->Control->sysPlayer(), nullptr);
    ASSERT_TRUE(playsToTheEnd());
}

TEST_F(Playback, AVbrRecordingPlaysToItsEndInBothPlayers) {
    // A length estimated from the first frames of a VBR file can be far off:
    // playback follows the information frame, or the data when there is
    // none (the copy without it would stop at about a fifth by the estimate).
    frm = create();
    svar::AppSettings.MP3UseVBR = true;
    svar::AppSettings.MP3BitsMin = 0;  // 40 kbit/s
    svar::AppSettings.MP3BitsMax = 12; // 320 kbit/s
    frm->btnRecordClick();
    ASSERT_TRUE(waitUntil([&] { return frm->waveIn->outBytes() >= 2 * 44100 * 4; }));
    frm->btnStopClick();
    ASSERT_TRUE(ui.messages().empty()) << ::testing::PrintToString(ui.messages());
    const uint64_t recorded = frm->waveIn->outBytes();
    const std::string mp3 = svar::RecordFileName, bare = dir.path() + "bare.mp3";
    const std::string bytes = readFile(mp3);
    ASSERT_GT(bytes.size(), 4u);
    const uint8_t h2 = uint8_t(bytes[2]);
    static const int kKbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    const size_t infoFrame = 144 * 1000 * size_t(kKbps[(h2 >> 4) % 15]) / 44100 + ((h2 >> 1) & 1);
    ASSERT_NE(bytes.find("Xing"), std::string::npos) << "a VBR recording has an information frame";
    writeFile(bare, bytes.substr(infoFrame));

    frm.reset(); // one window at a time: they share the program's encoder
    createWithFiles({mp3, bare});
    for (bool own : {true, false}) {
        for (int row : {0, 1}) {
            const std::string which = std::string(own ? "own player, " : "media player, ") +
                                      (row ? "no information frame" : "as recorded");
            svar::AppSettings.IsOurPlayer = own;
            frm->lstRecordFile->setCurrentRow(row);
            VirtualCard::instance().clearSpeakers(0);
            frm->btnPlayClick();
            ASSERT_EQ(svar::AppState, svar::stPlaying) << which;
            ASSERT_TRUE(playsToTheEnd()) << which;
            EXPECT_EQ(status(), "Ready");
            uint64_t played = 0;
            for (const SpeakerRecording& r : VirtualCard::instance().speakerRecordings(0))
                played += r.bytes.size();
            // The recorded length give or take the encoder's delay and
            // padding, a few frames.
            EXPECT_GE(played, recorded * 95 / 100) << which;
            EXPECT_LE(played, recorded + 8 * 1152 * 4) << which;
        }
    }
    EXPECT_TRUE(ui.messages().empty()) << ::testing::PrintToString(ui.messages());
}

TEST_F(Playback, TheProgressBarSeeksEitherPlayerAndTheClockShowsThePosition) {
    auto dragTo = [&](int percent) {
        frm->prbProgress->setSliderDown(true);
        frm->prbProgress->setSliderPosition(percent);
        frm->prbProgress->setSliderDown(false);
    };
    writeToneWav(wav, 30);
    createWithFiles({wav});
    dragTo(40); // nothing plays: the bar goes back
    EXPECT_EQ(frm->prbProgress->value(), 0);
    frm->btnPlayClick();
    frm->btnPauseClick();
    dragTo(50);
    EXPECT_NEAR(frm->Control->sysPlayer()->position(), 15000, 100);
    EXPECT_EQ(frm->Control->sysPlayer()->mode(), MediaPlayer::Mode::Paused);
    EXPECT_EQ(frm->labClock->text(), "0:15 / 0:30");
    frm->btnPauseClick();
    frm->TimerTimer();
    EXPECT_GE(frm->Control->sysPlayer()->position(), 15000u);
    EXPECT_GE(frm->prbProgress->value(), 50);
    frm->btnStopClick();
    EXPECT_EQ(frm->labClock->text(), "");

    // The own player: an MP3 recording of about six seconds.
    frm->chkRecordNewClick();
    frm->btnRecordClick();
    ASSERT_TRUE(waitUntil([&] { return frm->waveIn->outBytes() >= 6 * 44100 * 4; }));
    frm->btnStopClick();
    frm->btnPlayClick();
    ASSERT_EQ(svar::AppState, svar::stPlaying);
    ASSERT_EQ(frm->Control->sysPlayer()->mode(), MediaPlayer::Mode::NotOpen);
    frm->btnPauseClick();
    dragTo(50);
    EXPECT_EQ(svar::PlayPercent, 50);
    svar::PlayPercent = 0; // what the player reports from here on
    EXPECT_TRUE(waitUntil([&] { return svar::PlayPercent >= 48 && svar::PlayPercent <= 55; }))
        << svar::PlayPercent;
    waitUntil([&] { return !frm->labClock->text().isEmpty(); }, 2000);
    frm->TimerTimer(); // paused: no tick work, the clock came from the seek
    EXPECT_TRUE(frm->labClock->text().startsWith(QStringLiteral("0:0")))
        << frm->labClock->text().toStdString();
    EXPECT_TRUE(frm->labClock->text().endsWith(QStringLiteral(" / 0:06")) ||
                frm->labClock->text().endsWith(QStringLiteral(" / 0:05")) ||
                frm->labClock->text().endsWith(QStringLiteral(" / 0:07")))
        << frm->labClock->text().toStdString();
    frm->btnStopClick();

    // The same MP3 file through the media player service.
    svar::AppSettings.IsOurPlayer = false;
    frm->btnPlayClick();
    frm->btnPauseClick();
    ASSERT_EQ(frm->Control->sysPlayer()->mode(), MediaPlayer::Mode::Paused);
    dragTo(50);
    EXPECT_NEAR(double(frm->Control->sysPlayer()->position()),
                frm->Control->sysPlayer()->length() / 2.0, 100);
    frm->btnStopClick();
}

TEST_F(Playback, FilesThatCannotPlayFailAtOnceAndLeaveTheWindowUsable) {
    // Not MPEG audio, and a FIFO whose open would wait for a writer.
    const std::string junk = dir.path() + "junk.mp3", fifo = dir.path() + "pipe.mp3";
    writeFile(junk, std::string(20000, 'x'));
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    createWithFiles({junk, fifo});
    ASSERT_EQ(frm->recordFiles().size(), 2u);
    ASSERT_TRUE(svar::AppSettings.IsOurPlayer);
    Strings expected;
    for (bool own : {true, false}) {
        svar::AppSettings.IsOurPlayer = own;
        for (int row : {0, 1}) {
            frm->lstRecordFile->setCurrentRow(row);
            frm->btnPlayClick();
            EXPECT_EQ(svar::AppState, svar::stIdle) << own << row;
            EXPECT_EQ(status(), "Ready");
            EXPECT_TRUE(frm->btnPlay->isEnabled() && frm->btnRemove->isEnabled());
            expected.push_back("Play file failed! - " + frm->recordFiles()[size_t(row)]);
        }
    }
    EXPECT_EQ(ui.messages(), expected);
}

TEST_F(Playback, AnErrorTheOwnPlayerReportsEndsThePlaybackWithAMessage) {
    frm = create();
    frm->btnRecordClick(); // an MP3 recording to play
    ASSERT_TRUE(waitUntil([&] { return frm->waveIn->outBytes() >= 44100 * 4; }));
    frm->btnStopClick();
    const std::string mp3 = svar::RecordFileName;
    ui.clear();
    auto reportError = [&] {
        frm->mp3Player->OnNotifyError(frm->mp3Player.get(), 2, -4, "output failed");
    };
    reportError(); // left over from an earlier start: changes nothing
    frm->btnPlayClick();
    ASSERT_EQ(svar::AppState, svar::stPlaying);
    ASSERT_TRUE(playsToTheEnd());
    EXPECT_TRUE(ui.messages().empty());

    frm->btnPlayClick();
    ASSERT_EQ(svar::AppState, svar::stPlaying);
    reportError();
    ASSERT_TRUE(playsToTheEnd());
    EXPECT_EQ(ui.messages(), Strings{"Play file failed! - " + mp3});
    EXPECT_EQ(status(), "Ready");
    EXPECT_TRUE(frm->btnPlay->isEnabled());
}

TEST_F(Playback, PlayerNotificationsGiveThePercentage) {
    frm = create();
    frm->mp3PlayerNotifyInputPosition(nullptr, 250, 1000);
    EXPECT_EQ(svar::PlayPercent, 25);
    frm->mp3PlayerNotifyInputPosition(nullptr, 5, 0); // no range: ignored
    EXPECT_EQ(svar::PlayPercent, 25);
    frm->mp3PlayerNotifyPlayerState(nullptr, 1);
    EXPECT_EQ(svar::PlayPercent, 25);
    frm->mp3PlayerNotifyPlayerState(nullptr, 3);
    EXPECT_EQ(svar::PlayPercent, 100);
}

TEST_F(Playback, PlayWithoutASelectionOrAFileDoesNothing) {
    createWithFiles({});
    frm->btnPlayClick();
    EXPECT_EQ(svar::AppState, svar::stIdle);
    frm->lstRecordFile->setCurrentItem(
        new QListWidgetItem(QString::fromStdString(wav), frm->lstRecordFile));
    frm->btnPlayClick();
    EXPECT_EQ(svar::AppState, svar::stIdle);
    EXPECT_TRUE(ui.messages().empty());

    writeFile(wav, "not a sound file");
    frm->btnPlayClick();
    EXPECT_EQ(svar::AppState, svar::stIdle);
    EXPECT_EQ(ui.messages(), Strings{"Play file failed! - " + wav});
}

TEST_F(Playback, SaveCopiesUnderTheChosenNameWithTheRecordingsExtension) {
    writeToneWav(wav, 0.1);
    createWithFiles({wav});
    svar::ListChanged = false;

    ui.queueSaveFile(std::nullopt); // cancel
    frm->btnSave->click();
    EXPECT_EQ(frm->recordFiles(), Strings{wav});
    ASSERT_EQ(ui.saveDialogs.size(), 1u);
    EXPECT_EQ(ui.saveDialogs[0].defaultExtension, ".wav");
    EXPECT_EQ(ui.saveDialogs[0].filter, "Wave files (*.wav)|*.wav");

    ui.queueSaveFile(dir.path() + "copy.txt");
    frm->btnSaveClick();
    const std::string copy = dir.path() + "copy.wav";
    EXPECT_EQ(frm->recordFiles(), Strings{copy});
    EXPECT_EQ(readFile(copy), readFile(wav));
    EXPECT_TRUE(exists(wav)) << "the source stays on disk";
    EXPECT_TRUE(svar::ListChanged);

    // An existing destination: No changes nothing, Yes overwrites.
    writeFile(dir.path() + "other.wav", "other");
    svar::ListChanged = false;
    ui.queueSaveFile(dir.path() + "other.wav");
    ui.queueConfirm(false);
    frm->btnSaveClick();
    EXPECT_EQ(frm->recordFiles(), Strings{copy});
    EXPECT_EQ(readFile(dir.path() + "other.wav"), "other");
    EXPECT_FALSE(svar::ListChanged);
    ui.queueSaveFile(dir.path() + "other.wav");
    ui.queueConfirm(true);
    frm->btnSaveClick();
    EXPECT_EQ(frm->recordFiles(), Strings{dir.path() + "other.wav"});
    EXPECT_EQ(readFile(dir.path() + "other.wav"), readFile(wav));

    // A copy that cannot be made, and a source that is gone.
    ui.queueSaveFile(dir.path() + "missing/x.wav");
    frm->btnSaveClick();
    std::filesystem::remove(dir.path() + "other.wav");
    frm->btnSaveClick();
    EXPECT_EQ(ui.messages(), (Strings{"Save file failed! - " + dir.path() + "other.wav",
                                      "File not exists! - " + dir.path() + "other.wav"}));
    EXPECT_EQ(ui.unansweredQuestions, 0);
}

TEST_F(Playback, MP3CopiesAreOfferedAsMp3) {
    writeFile(dir.path() + "a.mp3", "x");
    createWithFiles({dir.path() + "a.mp3"});
    ui.queueSaveFile(dir.path() + "b");
    frm->btnSaveClick();
    ASSERT_EQ(ui.saveDialogs.size(), 1u);
    EXPECT_EQ(ui.saveDialogs[0].filter, "MP3 files (*.mp3)|*.mp3");
    EXPECT_EQ(frm->recordFiles(), Strings{dir.path() + "b.mp3"});
}

TEST_F(Playback, RemoveAsksAndKeepsTheFilesOnDisk) {
    writeFile(dir.path() + "a.wav", "a");
    writeFile(dir.path() + "b.wav", "b");
    createWithFiles({dir.path() + "a.wav", dir.path() + "b.wav"});
    svar::ListChanged = false;

    ui.queueConfirm(false);
    frm->btnRemove->click();
    EXPECT_EQ(frm->lstRecordFile->count(), 2);
    EXPECT_FALSE(svar::ListChanged);
    ui.queueConfirm(true);
    frm->btnRemoveClick();
    EXPECT_EQ(frm->recordFiles(), Strings{dir.path() + "a.wav"});
    EXPECT_TRUE(svar::ListChanged);
    EXPECT_TRUE(exists(dir.path() + "b.wav"));

    frm->lstRecordFile->clearSelection();
    frm->btnRemoveClick();
    EXPECT_EQ(ui.messages(), Strings{"Please select a item at first!"});

    ui.queueConfirm(true);
    frm->btnRemoveAll->click();
    EXPECT_EQ(frm->lstRecordFile->count(), 0);
    EXPECT_TRUE(exists(dir.path() + "a.wav"));
    const size_t asked = ui.shown.size();
    frm->btnRemoveAllClick(); // an empty list asks nothing
    frm->btnRemoveClick();
    EXPECT_EQ(ui.shown.size(), asked);
    std::vector<std::string> questions;
    for (const auto& s : ui.shown)
        if (s.kind == sonvale::ui::ScriptedUiServices::Kind::Confirm)
            questions.push_back(s.text);
    EXPECT_EQ(questions, (Strings{"Are you sure you want to remove the selected sound file?",
                                  "Are you sure you want to remove the selected sound file?",
                                  "Are you sure you want to remove all sound file?"}));
}
