// The component over the real mp3play.so, playing on the virtual speakers.
#include "platform/AudioTestSupport.h"
#include "platform/SoundFiles.h"
#include "platform/audio/AudioBackend.h"
#include "platform/audio/VirtualCard.h"
#include "player/TXaudioPlayer.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

class Mp3PlayLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        useVirtualCard(2.0);
        PlainMessageWindow::processMessages();
        mp3_ = testsound::tempPath("two-seconds.mp3");
        ASSERT_TRUE(testsound::writeMp3(mp3_, 44100, 2, 2.0));

        player_ = std::make_unique<TXaudioPlayer>();
        player_->setXaudioPath(MP3PLAY_LIBRARY);
        player_->OnNotifyInputPosition = [this](auto, uint32_t offset, uint32_t range) {
            EXPECT_EQ(std::this_thread::get_id(), mainThread_);
            EXPECT_GT(range, 0u);
            EXPECT_LE(offset, range);
            offsets_.push_back(offset);
            range_ = range;
        };
        player_->OnNotifyPlayerState = [this](auto, int state) { states_.push_back(state); };
        player_->OnNotifyError = [this](auto, uint8_t, int16_t, const std::string& m) {
            errors_.push_back(m);
        };
        ASSERT_EQ(player_->Init(), 1);
    }
    void TearDown() override {
        player_.reset();
        PlainMessageWindow::processMessages();
        ::unlink(mp3_.c_str());
    }

    bool pumpUntilState(int state, uint32_t timeoutMs = 20000) {
        return PlainMessageWindow::processMessagesUntil(
            [&] { return !states_.empty() && states_.back() == state; }, timeoutMs);
    }
    static size_t speakerBytes() {
        size_t n = 0;
        for (const SpeakerRecording& r : VirtualCard::instance().speakerRecordings(0)) {
            n += r.bytes.size();
        }
        return n;
    }

    const std::thread::id mainThread_ = std::this_thread::get_id();
    std::unique_ptr<TXaudioPlayer> player_;
    std::string mp3_;
    std::vector<uint32_t> offsets_;
    uint32_t range_ = 0;
    std::vector<int> states_;
    std::vector<std::string> errors_;
};

TEST_F(Mp3PlayLibraryTest, PlaysToTheEndWithPositionsOnTheMainThread) {
    EXPECT_EQ(player_->GetVersion(2) & 0xFFFF00u, (3u << 16) | (8u << 8));
    ASSERT_EQ(player_->InputOpen(mp3_), 0);
    ASSERT_EQ(player_->Play(), 0);
    ASSERT_TRUE(pumpUntilState(3));
    ASSERT_GE(offsets_.size(), 5u);
    for (size_t i = 1; i < offsets_.size(); ++i) {
        EXPECT_GE(offsets_[i], offsets_[i - 1]);
    }
    EXPECT_EQ(offsets_.back(), range_);
    EXPECT_TRUE(errors_.empty());
    EXPECT_NEAR(double(speakerBytes()), 2.0 * 44100 * 4, 0.03 * 44100 * 4);
}

TEST_F(Mp3PlayLibraryTest, PauseHoldsThePositionAndPlayResumes) {
    ASSERT_EQ(player_->InputOpen(mp3_), 0);
    ASSERT_EQ(player_->Play(), 0);
    ASSERT_TRUE(PlainMessageWindow::processMessagesUntil(
        [&] { return !offsets_.empty() && offsets_.back() > 100; }, 20000));
    ASSERT_EQ(player_->Pause(), 0);
    ASSERT_TRUE(pumpUntilState(2));
    const uint32_t held = offsets_.back();
    const size_t heard = speakerBytes();
    PlainMessageWindow::processMessagesUntil([] { return false; }, 200);
    EXPECT_EQ(offsets_.back(), held);
    EXPECT_EQ(speakerBytes(), heard);
    EXPECT_LT(held, range_);

    ASSERT_EQ(player_->Play(), 0);
    ASSERT_TRUE(pumpUntilState(3));
    EXPECT_EQ(offsets_.back(), range_);
    EXPECT_NEAR(double(speakerBytes()), 2.0 * 44100 * 4, 0.03 * 44100 * 4);
}

TEST_F(Mp3PlayLibraryTest, StopAndClosingReleaseTheFile) {
    ASSERT_EQ(player_->InputOpen(mp3_), 0);
    ASSERT_EQ(player_->Play(), 0);
    ASSERT_TRUE(testsound::processHasOpen(mp3_));
    ASSERT_EQ(player_->Pause(), 0);
    ASSERT_EQ(player_->Stop(), 0);
    ASSERT_EQ(player_->OutputClose(), 0);
    ASSERT_EQ(player_->InputClose(), 0);
    EXPECT_FALSE(testsound::processHasOpen(mp3_));
    ASSERT_TRUE(pumpUntilState(0));
    const size_t heard = speakerBytes();
    PlainMessageWindow::processMessagesUntil([] { return false; }, 100);
    EXPECT_EQ(speakerBytes(), heard);
    EXPECT_EQ(player_->OutputReset(), 0);

    // A bad file: an error notification and state 0, and the player goes on.
    const std::string bad = testsound::tempPath("bad.mp3");
    ASSERT_TRUE(testsound::writeFile(bad, "not an mp3 at all", 17));
    states_.clear();
    EXPECT_NE(player_->InputOpen(bad), 0);
    ASSERT_TRUE(pumpUntilState(0));
    EXPECT_EQ(errors_.size(), 1u);
    ::unlink(bad.c_str());
    EXPECT_EQ(player_->InputOpen(mp3_), 0);
}

TEST_F(Mp3PlayLibraryTest, WithoutAPlaybackDeviceTheErrorIsReportedAndPlaybackEnds) {
    setAudioBackend(AudioBackend::Alsa);
    ::setenv("SONVALE_ALSA_PLAYBACK", "sonvale_no_such_device", 1);
    ASSERT_EQ(player_->InputOpen(mp3_), 0);
    states_.clear();
    EXPECT_NE(player_->Play(), 0);
    ::unsetenv("SONVALE_ALSA_PLAYBACK");
    setAudioBackend(AudioBackend::Virtual);
    ASSERT_TRUE(pumpUntilState(0));
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_NE(errors_[0].find("audio output"), std::string::npos) << errors_[0];
    // With a device again, the same file plays.
    ASSERT_EQ(player_->Play(), 0);
    ASSERT_TRUE(pumpUntilState(3));
}

} // namespace
