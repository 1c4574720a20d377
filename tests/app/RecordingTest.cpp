// Recording through the main window on the virtual card: WAV and MP3 files,
// pause and resume, automatic stop, naming, and the failure messages.
#include "RecorderTestSupport.h"

#include "capture/unavclWaveComponents.h"
#include "encode/unaBladeMp3Enc.h"
#include "encode/unaEncoderFileSink.h"
#include "platform/audio/VirtualCard.h"
#include "platform/audio/WaveIn.h"

#include <QLabel>
#include <QListWidget>
#include <QTimer>
#include <QToolButton>

#include <mpg123.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <functional>

using namespace apptest;
using Strings = std::vector<std::string>;

namespace {

struct Decoded {
    long rate = 0;
    int channels = 0;
    size_t frames = 0; // samples per channel
    bool ok = false;
};

Decoded decodeMp3(const std::string& path) {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
    Decoded d;
    int err = 0;
    mpg123_handle* mh = mpg123_new(nullptr, &err);
    if (!mh)
        return d;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    if (mpg123_open(mh, path.c_str()) == MPG123_OK) {
        int enc = 0;
        mpg123_getformat(mh, &d.rate, &d.channels, &enc);
        std::vector<unsigned char> buf(65536);
        size_t done = 0, bytes = 0;
        int rc;
        while ((rc = mpg123_read(mh, buf.data(), buf.size(), &done)) == MPG123_OK ||
               rc == MPG123_NEW_FORMAT)
            bytes += done;
        bytes += done;
        d.ok = rc == MPG123_DONE && d.channels > 0;
        if (d.channels > 0)
            d.frames = bytes / 2 / size_t(d.channels);
        mpg123_close(mh);
    }
    mpg123_delete(mh);
    return d;
}

// The length in samples per channel a decoder announces before decoding:
// from the file's information frame, or else guessed from its size and the
// first frame's rate.
off_t announcedLength(const std::string& path) {
    int err = 0;
    mpg123_handle* mh = mpg123_new(nullptr, &err);
    if (!mh)
        return -1;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    off_t length = -1;
    if (mpg123_open(mh, path.c_str()) == MPG123_OK) {
        length = mpg123_length(mh);
        mpg123_close(mh);
    }
    mpg123_delete(mh);
    return length;
}

class Recording : public RecorderFixture {
protected:
    void SetUp() override {
        RecorderFixture::SetUp();
        installLibraries();
    }

    std::string status() const { return frm->labStatus->text().toStdString(); }

    // Waits until waveIn has delivered `bytes` since it became active.
    bool captured(uint64_t bytes) {
        return waitUntil([&] { return frm->waveIn->outBytes() >= bytes; });
    }

    // A timer tick shows the size the recording threads keep raising, so the
    // figure shown must lie between the sizes read just before and after it.
    void expectTickShowsKilobytes(const std::function<uint64_t()>& bytes) {
        const uint64_t low = bytes() / 1024;
        frm->TimerTimer();
        const uint64_t high = bytes() / 1024;
        const std::string shown = status(), prefix = "Recording... 1s / ";
        ASSERT_EQ(shown.rfind(prefix, 0), 0u) << shown;
        ASSERT_EQ(shown.substr(shown.size() - 2), "KB") << shown;
        const uint64_t kb = std::stoull(shown.substr(prefix.size()));
        EXPECT_GE(kb, low) << shown;
        EXPECT_LE(kb, high) << shown;
    }

    bool listButtonsEnabled() const {
        for (QToolButton* b : {frm->btnRecord, frm->btnPlay, frm->btnSave, frm->btnRemove,
                               frm->btnRemoveAll, frm->btnOptions})
            if (!b->isEnabled())
                return false;
        return true;
    }
};

} // namespace

TEST_F(Recording, WavRecordingWritesTheConfiguredFormatAndJoinsTheList) {
    frm = create();
    svar::AppSettings.SaveFile = 0;
    svar::AppSettings.WavMode = 0; // mono
    svar::AppSettings.WavRate = 1; // 22050
    svar::ListChanged = false;
    const std::string name = dir.path() + "Untitled1.wav";

    frm->btnRecord->click();
    ASSERT_EQ(svar::AppState, svar::stRecording) << ::testing::PrintToString(ui.messages());
    EXPECT_EQ(svar::RecordFileName, name);
    EXPECT_EQ(status(), "Recording...");
    EXPECT_FALSE(frm->btnRecord->isEnabled());
    EXPECT_FALSE(frm->btnOptions->isEnabled());
    EXPECT_TRUE(frm->btnStop->isEnabled());
    EXPECT_TRUE(frm->Timer->isActive());
    // The list is on disk as soon as the recording runs: a crash keeps it.
    EXPECT_NE(readFile(paths.iniFile).find("RecordFile0=" + name), std::string::npos);
    EXPECT_FALSE(svar::ListChanged);
    ASSERT_TRUE(captured(22050 * 2 * 2)); // two seconds
    expectTickShowsKilobytes([&] { return frm->waveRiff->inBytes(); });

    frm->btnStop->click();
    EXPECT_EQ(svar::AppState, svar::stIdle);
    EXPECT_EQ(status(), "Ready");
    EXPECT_EQ(svar::ElapsedSeconds, 0);
    EXPECT_FALSE(frm->Timer->isActive());
    EXPECT_TRUE(listButtonsEnabled());
    EXPECT_EQ(frm->recordFiles(), Strings{name});

    const std::string wav = readFile(name);
    // 80-byte header: a JUNK chunk keeps room for RF64 sizes past 4 GiB.
    ASSERT_GT(wav.size(), 80u + 22050 * 2);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(u32At(wav, 4), wav.size() - 8);
    EXPECT_EQ(u16At(wav, 56), 1u);     // PCM
    EXPECT_EQ(u16At(wav, 58), 1u);     // mono
    EXPECT_EQ(u32At(wav, 60), 22050u); // rate
    EXPECT_EQ(u16At(wav, 70), 16u);    // bits
    EXPECT_EQ(u32At(wav, 76), wav.size() - 80);
    EXPECT_TRUE(ui.messages().empty());

    // The next new recording takes the next free number.
    frm->btnRecordClick();
    EXPECT_EQ(svar::RecordFileName, dir.path() + "Untitled2.wav");
    frm->btnStopClick();
    EXPECT_EQ(frm->recordFiles(), (Strings{name, dir.path() + "Untitled2.wav"}));
    EXPECT_EQ(frm->lstRecordFile->currentRow(), 1);
}

TEST_F(Recording, Mp3RecordingIsDecodableInStereoAndMono) {
    frm = create();
    ASSERT_NE(svar::Mp3Encoder, nullptr);
    for (int mode : {1, 0}) {
        svar::AppSettings.MP3Mode = mode;
        frm->btnRecordClick();
        ASSERT_EQ(svar::AppState, svar::stRecording) << ::testing::PrintToString(ui.messages());
        EXPECT_EQ(svar::ActiveEncoder.load(), svar::Mp3Encoder);
        const uint32_t channels = mode == 0 ? 1 : 2;
        EXPECT_EQ(frm->waveIn->pcm_NumChannels(), channels);
        ASSERT_TRUE(captured(44100ull * 2 * channels * 2));
        ASSERT_TRUE(waitUntil([] { return svar::Mp3Encoder->totalEncoded() > 1024; }));
        expectTickShowsKilobytes([] { return svar::Mp3Encoder->totalEncoded(); });
        frm->btnStopClick();
        EXPECT_EQ(svar::ActiveEncoder.load(), nullptr);

        const Decoded d = decodeMp3(svar::RecordFileName);
        ASSERT_TRUE(d.ok) << svar::RecordFileName;
        EXPECT_EQ(d.rate, 44100);
        EXPECT_EQ(d.channels, int(channels));
        EXPECT_GT(d.frames, 44100u * 3 / 2);
    }
    EXPECT_EQ(frm->recordFiles(),
              (Strings{dir.path() + "Untitled1.mp3", dir.path() + "Untitled2.mp3"}));
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(Recording, VariableRateRecordingAnnouncesItsTrueLength) {
    frm = create();
    svar::AppSettings.MP3UseVBR = true;
    svar::AppSettings.MP3BitsMin = 0;  // 40 kbit/s
    svar::AppSettings.MP3BitsMax = 12; // 320 kbit/s
    frm->btnRecordClick();
    ASSERT_EQ(svar::AppState, svar::stRecording) << ::testing::PrintToString(ui.messages());
    ASSERT_TRUE(captured(44100 * 4 * 6));
    frm->btnStopClick();
    const Decoded d = decodeMp3(svar::RecordFileName);
    ASSERT_TRUE(d.ok);
    ASSERT_GT(d.frames, 44100u * 5);
    EXPECT_NEAR(double(announcedLength(svar::RecordFileName)), double(d.frames), 1152.0);
}

TEST_F(Recording, PausedWavRecordingDropsSoundAndResumes) {
    frm = create();
    svar::AppSettings.SaveFile = 0;
    frm->btnRecordClick();
    ASSERT_TRUE(captured(44100 * 4));
    frm->TimerTimer();
    const std::string before = status();

    frm->btnPauseClick();
    EXPECT_EQ(svar::AppState, svar::stRecordPaused);
    EXPECT_EQ(status(), "Pause " + before);
    EXPECT_TRUE(frm->btnRecord->isEnabled());
    EXPECT_EQ(frm->waveIn->consumer(), nullptr);
    const uint64_t written = frm->waveRiff->inBytes();
    const uint64_t capturedSoFar = frm->waveIn->outBytes();
    ASSERT_TRUE(captured(capturedSoFar + 44100 * 4)); // capture goes on
    EXPECT_EQ(frm->waveRiff->inBytes(), written);
    frm->TimerTimer();
    EXPECT_EQ(svar::ElapsedSeconds, 1) << "paused time is not counted";

    frm->btnRecordClick(); // Record resumes like Pause does
    EXPECT_EQ(svar::AppState, svar::stRecording);
    EXPECT_FALSE(frm->btnRecord->isEnabled());
    EXPECT_EQ(frm->waveIn->consumer(), frm->waveRiff.get());
    ASSERT_TRUE(waitUntil([&] { return frm->waveRiff->inBytes() > written; }));

    // Pause then Stop leaves the pipes joined for the next recording.
    frm->btnPauseClick();
    frm->btnStopClick();
    EXPECT_EQ(frm->waveIn->consumer(), frm->waveRiff.get());
    frm->btnRecordClick();
    ASSERT_TRUE(waitUntil([&] { return frm->waveRiff->inBytes() > 0; }));
    frm->btnStopClick();
    EXPECT_GT(readFile(dir.path() + "Untitled2.wav").size(), 44u);
}

TEST_F(Recording, PausedMp3RecordingClosesCaptureAndResumesIntoTheSameFile) {
    frm = create();
    frm->btnRecordClick();
    ASSERT_TRUE(captured(44100 * 4));
    frm->btnPauseClick();
    EXPECT_FALSE(frm->waveIn->active());
    EXPECT_EQ(svar::ActiveEncoder.load(), svar::Mp3Encoder);
    frm->btnPauseClick();
    EXPECT_EQ(status(), "Recording...");
    EXPECT_TRUE(frm->waveIn->active());
    ASSERT_TRUE(captured(44100 * 4));
    frm->btnStopClick();
    EXPECT_TRUE(decodeMp3(dir.path() + "Untitled1.mp3").ok);
}

TEST_F(Recording, AutomaticStopEndsTheRecordingAfterTheLimit) {
    frm = create();
    svar::AppSettings.SaveFile = 0;
    svar::AppSettings.IsStopRecording = true;
    svar::AppSettings.StopRecordingSeconds = 2;
    frm->btnRecordClick();
    ASSERT_TRUE(captured(44100 * 4));
    frm->TimerTimer();
    frm->TimerTimer();
    EXPECT_EQ(svar::AppState, svar::stRecording) << "the limit itself is still recorded";
    frm->TimerTimer();
    EXPECT_EQ(svar::AppState, svar::stIdle);
    EXPECT_EQ(status(), "Ready");
    const std::string wav = readFile(dir.path() + "Untitled1.wav");
    ASSERT_GT(wav.size(), 80u);
    EXPECT_EQ(u32At(wav, 76), wav.size() - 80);
}

TEST_F(Recording, OverwriteModeRecordsOverTheSelectedItemWithTheOutputExtension) {
    writeFile(dir.path() + "a.mp3", "mp3");
    writeFile(dir.path() + "a.wav", "old");
    writeFile(paths.iniFile,
              "[RecordFile]\r\nRecordFileCount=1\r\nRecordFile0=" + dir.path() + "a.mp3\r\n");
    frm = create();
    frm->chkRecordOverwriteClick();
    svar::AppSettings.SaveFile = 0;
    frm->btnRecordClick();
    EXPECT_EQ(svar::RecordFileName, dir.path() + "a.wav");
    EXPECT_EQ(frm->recordFiles(), Strings{dir.path() + "a.wav"});
    ASSERT_TRUE(captured(44100 * 4));
    frm->btnStopClick();
    EXPECT_NE(readFile(dir.path() + "a.wav").substr(0, 4), "old");
    EXPECT_EQ(readFile(dir.path() + "a.mp3"), "mp3");
}

TEST_F(Recording, FailedStartsAreReportedAndLeaveNoFileAndNoItem) {
    frm = create();
    ui.clear();
    // A folder that cannot be written to, for both output types.
    svar::AppSettings.SaveDir = dir.path() + "missing/";
    for (int type : {0, 1}) {
        svar::AppSettings.SaveFile = type;
        frm->btnRecordClick();
        EXPECT_EQ(svar::AppState, svar::stIdle);
        EXPECT_EQ(svar::ActiveEncoder.load(), nullptr);
        EXPECT_TRUE(listButtonsEnabled());
        EXPECT_EQ(status(), "Ready");
        EXPECT_TRUE(frm->recordFiles().empty());
    }
    EXPECT_EQ(ui.messages(),
              (Strings{"Create file failed! - " + dir.path() + "missing/Untitled1.wav",
                       "Create file failed! - " + dir.path() + "missing/Untitled1.mp3"}));

    // A recording device that is busy: the file each output type made at
    // once goes again, and so does its item.
    ui.clear();
    svar::AppSettings.SaveDir = dir.path();
    WAVEFORMATEX format;
    FillPcmFormat(format, 44100, 16, 2);
    HWAVEIN busy = nullptr;
    ASSERT_EQ(waveInOpen(&busy, 0, &format, {}, 0), MMR_NOERROR);
    for (int type : {0, 1}) {
        svar::AppSettings.SaveFile = type;
        frm->btnRecordClick();
        EXPECT_EQ(svar::AppState, svar::stIdle);
        EXPECT_TRUE(frm->recordFiles().empty());
    }
    waveInClose(busy);
    EXPECT_FALSE(exists(dir.path() + "Untitled1.wav"));
    EXPECT_FALSE(exists(dir.path() + "Untitled1.mp3"));
    EXPECT_EQ(ui.messages(),
              (Strings{"Open recording device failed!", "Open recording device failed!"}));

    // A configuration the encoder refuses (no sample rate).
    ui.clear();
    svar::AppSettings.SaveDir = dir.path();
    svar::AppSettings.WavRate = 5;
    svar::AppSettings.SaveFile = 1;
    frm->btnRecordClick();
    EXPECT_EQ(svar::AppState, svar::stIdle);
    EXPECT_EQ(svar::ActiveEncoder.load(), nullptr);
    EXPECT_TRUE(frm->recordFiles().empty());
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].rfind("Config fails, error code: ", 0), 0u) << ui.messages()[0];

    // An old file that cannot be deleted (a folder of that name).
    ui.clear();
    svar::AppSettings.WavRate = 0;
    svar::AppSettings.SaveFile = 0;
    std::filesystem::create_directories(dir.path() + "busy.wav/inside");
    frm->lstRecordFile->clear();
    frm->lstRecordFile->setCurrentItem(
        new QListWidgetItem(QString::fromStdString(dir.path() + "busy.mp3"), frm->lstRecordFile));
    frm->chkRecordOverwriteClick();
    frm->btnRecordClick();
    EXPECT_EQ(svar::AppState, svar::stIdle);
    EXPECT_EQ(ui.messages(), Strings{"Error overwrite " + dir.path() + "busy.wav."});
}

TEST_F(Recording, MissingEncoderLibraryMakesMp3RecordDoNothingButKeepTheItem) {
    std::filesystem::remove(paths.encoderLibrary);
    frm = create();
    EXPECT_EQ(ui.messages().front(), "File 'mp3enc.so' lost!");
    ui.clear();
    frm->btnRecordClick();
    EXPECT_EQ(svar::AppState, svar::stIdle);
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_EQ(frm->recordFiles(), Strings{dir.path() + "Untitled1.mp3"});
    EXPECT_FALSE(exists(dir.path() + "Untitled1.mp3"));
}

TEST_F(Recording, Mp3FileThatCannotBeWrittenStopsTheRecordingWithAMessage) {
    frm = create();
    ui.clear();
    frm->btnRecordClick();
    ASSERT_EQ(svar::AppState, svar::stRecording);
    frm->btnPlayClick(); // ignored while recording
    EXPECT_EQ(svar::AppState, svar::stRecording);
    // The disk fills up: no write may take the open file past a limit set
    // well beyond what the encoder has written so far (it keeps writing
    // while the limit is being set, however loaded the machine is).
    ASSERT_TRUE(waitUntil([] { return svar::Mp3Encoder->totalEncoded() > 0; }));
    const std::string name = svar::RecordFileName;
    const uintmax_t limit = std::filesystem::file_size(name) + 64 * 1024;
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = limit;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool failed = waitUntil([&] { return frm->Control->mp3Sink()->writeFailed(); });
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_TRUE(failed);
    frm->TimerTimer();
    EXPECT_EQ(svar::AppState, svar::stIdle);
    EXPECT_EQ(svar::ActiveEncoder.load(), nullptr);
    EXPECT_EQ(ui.messages(), Strings{"Write file failed! - " + name});
    EXPECT_EQ(status(), "Ready");
    EXPECT_EQ(std::filesystem::file_size(name), limit) << "what was written stays";
}

TEST_F(Recording, ExitDuringAnMp3RecordingFinishesTheFile) {
    frm = create();
    frm->btnRecordClick();
    ASSERT_TRUE(captured(44100 * 4));
    const std::string name = svar::RecordFileName;
    frm.reset();
    EXPECT_TRUE(decodeMp3(name).ok);
    EXPECT_EQ(svar::Mp3Encoder, nullptr);
}
