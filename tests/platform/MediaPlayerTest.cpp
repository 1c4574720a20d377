// The media player service on the virtual card's speakers, and with outputs
// that fail on purpose.
#include "platform/media/MediaPlayer.h"

#include "platform/AudioTestSupport.h"
#include "platform/SoundFiles.h"
#include "platform/VbrMp3File.h"
#include "platform/audio/AudioBackend.h"
#include "platform/audio/VirtualCard.h"
#include "platform/ui/MessageWindow.h"
#include "player/FakeAudioOutput.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sys/stat.h>
#include <thread>

namespace {

using namespace std::chrono_literals;

class MediaPlayerTest : public ::testing::Test {
protected:
    void SetUp() override { useVirtualCard(4.0); }
    void TearDown() override {
        for (const std::string& f : files_) {
            ::unlink(f.c_str());
        }
    }
    std::string file(const std::string& name) {
        files_.push_back(testsound::tempPath(name));
        return files_.back();
    }
    static size_t speakerBytes() {
        size_t n = 0;
        for (const SpeakerRecording& r : VirtualCard::instance().speakerRecordings(0)) {
            n += r.bytes.size();
        }
        return n;
    }
    std::vector<std::string> files_;
};

TEST_F(MediaPlayerTest, WavPlaysToTheEndByteForByteAndNotifies) {
    const std::string wav = file("one-second.wav");
    ASSERT_TRUE(testsound::writeWav(wav, 22050, 2, 1.0));
    int notified = 0;
    PlainMessageWindow w([&](uint32_t m, uintptr_t wp, intptr_t) {
        EXPECT_EQ(m, 0x3B9u);
        EXPECT_EQ(wp, MediaPlayer::MEDIA_NOTIFY_SUCCESSFUL);
        ++notified;
    });

    MediaPlayer p;
    p.setNotify(w.handle(), 0x3B9);
    ASSERT_EQ(p.open(wav), MMR_NOERROR);
    EXPECT_EQ(p.length(), 1000u);
    EXPECT_EQ(p.position(), 0u);
    EXPECT_EQ(p.mode(), MediaPlayer::Mode::Stopped);
    ASSERT_EQ(p.play(), MMR_NOERROR);
    EXPECT_EQ(p.mode(), MediaPlayer::Mode::Playing);
    uint32_t last = 0;
    bool monotonic = true;
    ASSERT_TRUE(waitFor([&] {
        const uint32_t pos = p.position();
        monotonic &= pos >= last;
        last = pos;
        return p.mode() == MediaPlayer::Mode::Stopped;
    }));
    EXPECT_TRUE(monotonic);
    EXPECT_EQ(p.position(), p.length());
    EXPECT_TRUE(PlainMessageWindow::processMessagesUntil([&] { return notified == 1; }, 5000));

    auto recordings = VirtualCard::instance().speakerRecordings(0);
    ASSERT_EQ(recordings.size(), 1u);
    EXPECT_EQ(recordings[0].format.nSamplesPerSec, 22050u);
    EXPECT_EQ(recordings[0].format.nChannels, 2);
    const std::vector<int16_t> pcm = testsound::sine(22050, 2, 1.0);
    ASSERT_EQ(recordings[0].bytes.size(), pcm.size() * 2);
    EXPECT_EQ(std::memcmp(recordings[0].bytes.data(), pcm.data(), pcm.size() * 2), 0);

    // Play after the end starts again from the beginning.
    ASSERT_EQ(p.play(), MMR_NOERROR);
    EXPECT_LT(p.position(), 500u);
    EXPECT_EQ(p.close(), MMR_NOERROR);
    EXPECT_FALSE(testsound::processHasOpen(wav));
}

TEST_F(MediaPlayerTest, Mp3PlaysToTheEnd) {
    const std::string mp3 = file("one-second.mp3");
    ASSERT_TRUE(testsound::writeMp3(mp3, 44100, 2, 1.0));
    MediaPlayer p;
    ASSERT_EQ(p.open(mp3), MMR_NOERROR) << p.lastErrorText();
    EXPECT_NEAR(double(p.length()), 1000.0, 60.0);
    ASSERT_EQ(p.play(), MMR_NOERROR);
    ASSERT_TRUE(waitFor([&] { return p.mode() == MediaPlayer::Mode::Stopped; }));
    EXPECT_EQ(p.position(), p.length());
    EXPECT_NEAR(double(speakerBytes()), 44100.0 * 4, 0.06 * 44100 * 4);
}

TEST_F(MediaPlayerTest, PauseHoldsThePositionResumeAndStopMoveIt) {
    VirtualCard::instance().setSpeed(1.0);
    const std::string wav = file("two-seconds.wav");
    ASSERT_TRUE(testsound::writeWav(wav, 8000, 1, 2.0));
    MediaPlayer p;
    ASSERT_EQ(p.open(wav), MMR_NOERROR);
    ASSERT_EQ(p.play(), MMR_NOERROR);
    ASSERT_TRUE(waitFor([&] { return p.position() >= 200; }));
    ASSERT_EQ(p.pause(), MMR_NOERROR);
    EXPECT_EQ(p.mode(), MediaPlayer::Mode::Paused);
    const uint32_t held = p.position();
    const size_t heard = speakerBytes();
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(p.position(), held);
    EXPECT_EQ(speakerBytes(), heard);
    EXPECT_LT(held, 2000u);

    ASSERT_EQ(p.resume(), MMR_NOERROR);
    EXPECT_EQ(p.mode(), MediaPlayer::Mode::Playing);
    ASSERT_TRUE(waitFor([&] { return p.position() > held; }));

    ASSERT_EQ(p.stop(), MMR_NOERROR);
    EXPECT_EQ(p.mode(), MediaPlayer::Mode::Stopped);
    EXPECT_EQ(p.position(), 0u);
    const size_t afterStop = speakerBytes();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(speakerBytes(), afterStop);

    // Pause and stop from the paused state, then close at once.
    ASSERT_EQ(p.play(), MMR_NOERROR);
    ASSERT_EQ(p.pause(), MMR_NOERROR);
    ASSERT_EQ(p.stop(), MMR_NOERROR);
    ASSERT_EQ(p.play(), MMR_NOERROR);
    ASSERT_EQ(p.close(), MMR_NOERROR);
    EXPECT_EQ(p.mode(), MediaPlayer::Mode::NotOpen);
    EXPECT_EQ(p.position(), 0u);
    EXPECT_EQ(p.length(), 0u);
    EXPECT_FALSE(testsound::processHasOpen(wav));
    EXPECT_EQ(p.close(), MMR_NOERROR);
}

TEST_F(MediaPlayerTest, EmptyAndUnreadableFilesAreReported) {
    const std::string silent = file("no-frames.wav");
    ASSERT_TRUE(testsound::writeWav(silent, 44100, 2, 0.0));
    MediaPlayer p;
    ASSERT_EQ(p.open(silent), MMR_NOERROR);
    EXPECT_EQ(p.length(), 0u);
    ASSERT_EQ(p.play(), MMR_NOERROR);
    ASSERT_TRUE(waitFor([&] { return p.mode() == MediaPlayer::Mode::Stopped; }));
    EXPECT_EQ(p.position(), 0u);

    const std::string garbage = file("garbage.wav");
    std::vector<uint8_t> junk(5000, 0x5A);
    ASSERT_TRUE(testsound::writeFile(garbage, junk.data(), junk.size()));
    const std::string empty = file("empty.mp3");
    ASSERT_TRUE(testsound::writeFile(empty, nullptr, 0));

    EXPECT_EQ(p.open(garbage), MMR_BADFORMAT);
    EXPECT_NE(p.lastErrorText().find(garbage), std::string::npos);
    EXPECT_EQ(p.mode(), MediaPlayer::Mode::NotOpen);
    EXPECT_NE(p.open(empty), MMR_NOERROR);
    EXPECT_EQ(p.open("/nonexistent/x.wav"), MMR_ERROR);
    EXPECT_EQ(p.play(), MMR_INVALHANDLE);
    EXPECT_EQ(p.pause(), MMR_INVALHANDLE);
    EXPECT_EQ(p.position(), 0u);
    EXPECT_EQ(p.length(), 0u);
    EXPECT_FALSE(testsound::processHasOpen(garbage));
}

TEST_F(MediaPlayerTest, FailingOutputsStopPlaybackAndAreReported) {
    const std::string wav = file("half-second.wav");
    ASSERT_TRUE(testsound::writeWav(wav, 44100, 2, 0.5));
    auto log = std::make_shared<FakeOutputLog>();
    MediaPlayer p([log] { return std::make_unique<FakeAudioOutput>(log); });
    ASSERT_EQ(p.open(wav), MMR_NOERROR);
    {
        std::lock_guard<std::mutex> g(log->lock);
        log->failOpen = true;
    }
    EXPECT_EQ(p.play(), MMR_ALLOCATED);
    EXPECT_EQ(p.mode(), MediaPlayer::Mode::Stopped);
    EXPECT_FALSE(p.lastErrorText().empty());
    {
        std::lock_guard<std::mutex> g(log->lock);
        log->failOpen = false;
        log->failAfterBytes = 20000;
    }
    ASSERT_EQ(p.play(), MMR_NOERROR);
    ASSERT_TRUE(waitFor([&] { return p.mode() == MediaPlayer::Mode::Stopped; }));
    EXPECT_EQ(p.lastErrorText(), "the audio output failed");
    // Playback ended where anyone watching sees it end, and says why.
    EXPECT_TRUE(p.failed());
    EXPECT_EQ(p.position(), p.length());
    EXPECT_EQ(p.close(), MMR_NOERROR);
    std::lock_guard<std::mutex> g(log->lock);
    EXPECT_EQ(log->opens, log->closes);
}

TEST_F(MediaPlayerTest, VbrFileWithoutHeaderPlaysToItsRealEnd) {
    const std::string vbr = file("vbr.mp3");
    ASSERT_TRUE(testsound::writeVbrMp3WithoutHeader(vbr, 0.5, 2.5));
    MediaPlayer p;
    ASSERT_EQ(p.open(vbr), MMR_NOERROR);
    ASSERT_EQ(p.play(), MMR_NOERROR);
    // Watched as the recorder's timer watches it: the position never
    // reaches the length before the sound has ended.
    bool endedEarly = false;
    ASSERT_TRUE(waitFor([&] {
        // Position first: a Playing read after it means it was taken before
        // the end.
        const uint32_t at = p.position(), length = p.length();
        const bool playing = p.mode() == MediaPlayer::Mode::Playing;
        if (playing && at >= length)
            endedEarly = true;
        return !playing;
    }));
    EXPECT_FALSE(endedEarly);
    EXPECT_FALSE(p.failed());
    EXPECT_NEAR(double(p.length()), 3000.0, 60.0);
    EXPECT_EQ(p.position(), p.length());
}

TEST_F(MediaPlayerTest, FifosAndFoldersAreRefusedAtOnce) {
    const std::string fifo = file("fifo.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    MediaPlayer p;
    for (const std::string& path : {fifo, std::string("/tmp")}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(p.open(path), MMR_ERROR);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
        EXPECT_NE(p.lastErrorText().find("not a regular file"), std::string::npos);
        EXPECT_EQ(p.mode(), MediaPlayer::Mode::NotOpen);
    }
}

TEST_F(MediaPlayerTest, WithoutAPlaybackDevicePlayFailsAndALaterPlayWorks) {
    const std::string wav = file("short.wav");
    ASSERT_TRUE(testsound::writeWav(wav, 8000, 1, 0.2));
    MediaPlayer p;
    ASSERT_EQ(p.open(wav), MMR_NOERROR);
    setAudioBackend(AudioBackend::Alsa);
    ::setenv("SONVALE_ALSA_PLAYBACK", "sonvale_no_such_device", 1);
    EXPECT_NE(p.play(), MMR_NOERROR);
    ::unsetenv("SONVALE_ALSA_PLAYBACK");
    setAudioBackend(AudioBackend::Virtual);
    EXPECT_EQ(p.mode(), MediaPlayer::Mode::Stopped);
    EXPECT_NE(p.lastErrorText().find("audio output"), std::string::npos);
    ASSERT_EQ(p.play(), MMR_NOERROR);
    ASSERT_TRUE(waitFor([&] { return p.mode() == MediaPlayer::Mode::Stopped; }));
    EXPECT_EQ(p.position(), 200u);
}

} // namespace
