// The player library's engine with outputs that play at once or fail on
// purpose, and notifications taken from a plain message window.
#include "libs/mp3play/Mp3Player.h"
#include "platform/SoundFiles.h"
#include "platform/VbrMp3File.h"
#include "platform/ui/MessageWindow.h"
#include "player/FakeAudioOutput.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

namespace {

struct Note {
    int32_t code;
    uint32_t a; // first 32-bit value (or 8-bit state)
    uint32_t b; // second 32-bit value
    std::string text;
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        PlainMessageWindow::processMessages();
        window_ = std::make_unique<PlainMessageWindow>(
            [this](uint32_t m, uintptr_t w, intptr_t l) { onMessage(m, w, l); });
        log_ = std::make_shared<FakeOutputLog>();
        player_ = std::make_unique<Mp3Player>(
            window_->handle(), [log = log_] { return std::make_unique<FakeAudioOutput>(log); });
        mp3_ = testsound::tempPath("two-seconds.mp3");
        ASSERT_TRUE(testsound::writeMp3(mp3_, 44100, 2, 2.0));
    }
    void TearDown() override {
        player_.reset();
        PlainMessageWindow::processMessages();
        window_.reset();
        ::unlink(mp3_.c_str());
    }

    void onMessage(uint32_t m, uintptr_t w, intptr_t l) {
        XA_Message msg;
        (void)l;
        if (player_ && player_->decode(m, w, &msg)) {
            Note n{msg.code, xa_message_u32(&msg, 4), xa_message_u32(&msg, 8), ""};
            if (msg.code == XA_MSG_NOTIFY_PLAYER_STATE || msg.code == XA_MSG_NOTIFY_INPUT_STATE ||
                msg.code == XA_MSG_NOTIFY_OUTPUT_STATE) {
                n.a = xa_message_u8(&msg, 4);
            } else if (msg.code == XA_MSG_NOTIFY_ERROR) {
                n.a = xa_message_u8(&msg, 4);
                n.b = uint32_t(int16_t(xa_message_u16(&msg, 6)));
                n.text = xa_message_text(&msg, 8);
            } else if (msg.code == XA_MSG_NOTIFY_NACK) {
                n.a = xa_message_u8(&msg, 4);
                n.b = uint32_t(int16_t(xa_message_u16(&msg, 6)));
            } else if (msg.code == XA_MSG_NOTIFY_STREAM_PARAMETERS) {
                n.b = xa_message_u16(&msg, 8) | (uint32_t(xa_message_u8(&msg, 10)) << 16);
            } else if (msg.code == XA_MSG_NOTIFY_INPUT_NAME) {
                n.text = xa_message_text(&msg, 4);
            }
            notes_.push_back(n);
        }
    }

    int32_t send(uint8_t code, int32_t i1 = 0, int32_t i2 = 0, std::string s = {}) {
        Mp3Player::Command c;
        c.code = code;
        c.i1 = i1;
        c.i2 = i2;
        c.s1 = std::move(s);
        return player_->send(c);
    }

    bool pumpUntil(int32_t code, uint32_t a, uint32_t timeoutMs = 20000) {
        return PlainMessageWindow::processMessagesUntil(
            [&] {
                for (const Note& n : notes_) {
                    if (n.code == code && n.a == a) {
                        return true;
                    }
                }
                return false;
            },
            timeoutMs);
    }

    std::vector<Note> of(int32_t code) const {
        std::vector<Note> r;
        for (const Note& n : notes_) {
            if (n.code == code) {
                r.push_back(n);
            }
        }
        return r;
    }

    std::unique_ptr<PlainMessageWindow> window_;
    std::shared_ptr<FakeOutputLog> log_;
    std::unique_ptr<Mp3Player> player_;
    std::vector<Note> notes_;
    std::string mp3_;
};

TEST_F(EngineTest, PlaysAFileToTheEndWithRisingPositionsAndEndOfInput) {
    log_->gather = true; // the whole file is held back until the input ends
    EXPECT_EQ(send(XA_MSG_COMMAND_INPUT_OPEN, 0, 0, mp3_), XA_SUCCESS);
    EXPECT_EQ(send(XA_MSG_COMMAND_PLAY), XA_SUCCESS);
    ASSERT_TRUE(pumpUntil(XA_MSG_NOTIFY_PLAYER_STATE, XA_PLAYER_STATE_EOF));

    ASSERT_FALSE(of(XA_MSG_NOTIFY_READY).empty());
    auto params = of(XA_MSG_NOTIFY_STREAM_PARAMETERS);
    ASSERT_EQ(params.size(), 1u);
    EXPECT_EQ(params[0].a, 44100u);
    EXPECT_EQ(params[0].b, 128u | (2u << 16));
    auto duration = of(XA_MSG_NOTIFY_STREAM_DURATION);
    ASSERT_EQ(duration.size(), 1u);
    EXPECT_NEAR(double(duration[0].a), 2000.0, 30.0);
    auto names = of(XA_MSG_NOTIFY_INPUT_NAME);
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names[0].text, mp3_);

    auto positions = of(XA_MSG_NOTIFY_INPUT_POSITION);
    ASSERT_GE(positions.size(), 2u);
    uint32_t last = 0;
    for (const Note& p : positions) {
        EXPECT_EQ(p.b, Mp3Player::kDefaultRange);
        EXPECT_LE(p.a, p.b);
        EXPECT_GE(p.a, last);
        last = p.a;
    }
    EXPECT_EQ(positions.back().a, positions.back().b);

    std::lock_guard<std::mutex> g(log_->lock);
    EXPECT_EQ(log_->format.nSamplesPerSec, 44100u);
    EXPECT_EQ(log_->format.nChannels, 2);
    EXPECT_EQ(log_->format.wBitsPerSample, 16);
    EXPECT_NEAR(double(log_->played.size()), 2.0 * 44100 * 4, 0.02 * 44100 * 4);
    EXPECT_EQ(log_->lateTails, 0) << "the end of the input sends the last sound at once";
    EXPECT_EQ(log_->drains, 1) << "the output confirmed the end before it was announced";
}

TEST_F(EngineTest, UnreadableFilesGiveAnErrorAndStateStopped) {
    const std::string garbage = testsound::tempPath("garbage.mp3");
    std::vector<uint8_t> junk(20000);
    for (size_t i = 0; i < junk.size(); ++i) {
        junk[i] = uint8_t((i * 7919u) >> 3);
    }
    ASSERT_TRUE(testsound::writeFile(garbage, junk.data(), junk.size()));
    const std::string empty = testsound::tempPath("empty.mp3");
    ASSERT_TRUE(testsound::writeFile(empty, nullptr, 0));

    for (const std::string& path : {garbage, empty, std::string("/nonexistent/x.mp3")}) {
        notes_.clear();
        EXPECT_EQ(send(XA_MSG_COMMAND_INPUT_OPEN, 0, 0, path), XA_ERROR_OPEN_FAILED) << path;
        // Play without an input is refused, not attempted.
        EXPECT_EQ(send(XA_MSG_COMMAND_PLAY), XA_ERROR_NO_INPUT);
        PlainMessageWindow::processMessages();
        auto errors = of(XA_MSG_NOTIFY_ERROR);
        ASSERT_EQ(errors.size(), 1u) << path;
        EXPECT_EQ(errors[0].a, uint32_t(XA_SOURCE_INPUT));
        EXPECT_EQ(int32_t(errors[0].b), XA_ERROR_OPEN_FAILED);
        EXPECT_NE(errors[0].text.find(path), std::string::npos) << errors[0].text;
        auto states = of(XA_MSG_NOTIFY_PLAYER_STATE);
        ASSERT_FALSE(states.empty());
        EXPECT_EQ(states.back().a, uint32_t(XA_PLAYER_STATE_STOPPED));
        EXPECT_FALSE(testsound::processHasOpen(path));
    }
    ::unlink(garbage.c_str());
    ::unlink(empty.c_str());

    // The player still works afterwards.
    EXPECT_EQ(send(XA_MSG_COMMAND_INPUT_OPEN, 0, 0, mp3_), XA_SUCCESS);
}

TEST_F(EngineTest, OutputFailuresStopPlaybackWithAnErrorAndThePlayerGoesOn) {
    {
        std::lock_guard<std::mutex> g(log_->lock);
        log_->failOpen = true;
    }
    ASSERT_EQ(send(XA_MSG_COMMAND_INPUT_OPEN, 0, 0, mp3_), XA_SUCCESS);
    EXPECT_EQ(send(XA_MSG_COMMAND_PLAY), XA_ERROR_OUTPUT_FAILED);
    // Whoever waits for playback learns at once that it ended.
    PlainMessageWindow::processMessages();
    ASSERT_FALSE(of(XA_MSG_NOTIFY_PLAYER_STATE).empty());
    EXPECT_EQ(of(XA_MSG_NOTIFY_PLAYER_STATE).back().a, uint32_t(XA_PLAYER_STATE_STOPPED));
    {
        std::lock_guard<std::mutex> g(log_->lock);
        log_->failOpen = false;
        log_->failAfterBytes = 44100; // about a quarter of a second
    }
    EXPECT_EQ(send(XA_MSG_COMMAND_PLAY), XA_SUCCESS);
    // The error comes first, then the player reports itself stopped.
    ASSERT_TRUE(PlainMessageWindow::processMessagesUntil(
        [&] {
            auto states = of(XA_MSG_NOTIFY_PLAYER_STATE);
            return of(XA_MSG_NOTIFY_ERROR).size() >= 2 && !states.empty() &&
                   states.back().a == XA_PLAYER_STATE_STOPPED &&
                   states[states.size() - 2].a == XA_PLAYER_STATE_PLAYING;
        },
        20000));
    for (const Note& e : of(XA_MSG_NOTIFY_ERROR)) {
        EXPECT_EQ(e.a, uint32_t(XA_SOURCE_OUTPUT));
    }
    // The stopped state is the last word: no position report follows it.
    EXPECT_EQ(notes_.back().code, XA_MSG_NOTIFY_PLAYER_STATE);
    EXPECT_EQ(send(XA_MSG_COMMAND_PING, 1234), XA_SUCCESS);
    EXPECT_TRUE(pumpUntil(XA_MSG_NOTIFY_PONG, 1234));
}

TEST_F(EngineTest, SeekStopAndCloseMoveThePositionAndReleaseTheFile) {
    ASSERT_EQ(send(XA_MSG_COMMAND_INPUT_OPEN, 0, 0, mp3_), XA_SUCCESS);
    EXPECT_TRUE(testsound::processHasOpen(mp3_));
    EXPECT_EQ(send(XA_MSG_COMMAND_INPUT_SEEK, 1, 2), XA_SUCCESS);
    PlainMessageWindow::processMessages();
    auto positions = of(XA_MSG_NOTIFY_INPUT_POSITION);
    ASSERT_FALSE(positions.empty());
    EXPECT_NEAR(double(positions.back().a), 500.0, 2.0);

    // From the middle, only about one second is left to play.
    EXPECT_EQ(send(XA_MSG_COMMAND_PLAY), XA_SUCCESS);
    ASSERT_TRUE(pumpUntil(XA_MSG_NOTIFY_PLAYER_STATE, XA_PLAYER_STATE_EOF));
    {
        std::lock_guard<std::mutex> g(log_->lock);
        EXPECT_NEAR(double(log_->played.size()), 44100.0 * 4, 0.05 * 44100 * 4);
    }

    // Bad seeks are refused with a nack; nothing moves.
    notes_.clear();
    EXPECT_EQ(send(XA_MSG_COMMAND_INPUT_SEEK, 5, 0), XA_ERROR_INVALID_PARAMETERS);
    EXPECT_EQ(send(XA_MSG_COMMAND_INPUT_SEEK, 3, 2), XA_ERROR_INVALID_PARAMETERS);
    PlainMessageWindow::processMessages();
    EXPECT_EQ(of(XA_MSG_NOTIFY_NACK).size(), 2u);
    EXPECT_TRUE(of(XA_MSG_NOTIFY_INPUT_POSITION).empty());

    notes_.clear();
    EXPECT_EQ(send(XA_MSG_COMMAND_STOP), XA_SUCCESS);
    PlainMessageWindow::processMessages();
    ASSERT_FALSE(of(XA_MSG_NOTIFY_INPUT_POSITION).empty());
    EXPECT_EQ(of(XA_MSG_NOTIFY_INPUT_POSITION).back().a, 0u);

    EXPECT_EQ(send(XA_MSG_COMMAND_OUTPUT_CLOSE), XA_SUCCESS);
    EXPECT_EQ(send(XA_MSG_COMMAND_INPUT_CLOSE), XA_SUCCESS);
    EXPECT_FALSE(testsound::processHasOpen(mp3_));
    PlainMessageWindow::processMessages();
    EXPECT_TRUE(pumpUntil(XA_MSG_NOTIFY_INPUT_STATE, XA_INPUT_STATE_CLOSED, 0));
    EXPECT_TRUE(pumpUntil(XA_MSG_NOTIFY_OUTPUT_STATE, XA_OUTPUT_STATE_CLOSED, 0));
}

TEST_F(EngineTest, OtherCommandsAreAnsweredHarmlessly) {
    EXPECT_EQ(send(XA_MSG_SET_INPUT_POSITION_RANGE, 0), XA_ERROR_INVALID_PARAMETERS);
    EXPECT_EQ(send(XA_MSG_SET_INPUT_POSITION_RANGE, 400), XA_SUCCESS);
    EXPECT_EQ(send(57, 1, 2), XA_ERROR_NOT_SUPPORTED); // output volume
    EXPECT_EQ(send(200), XA_ERROR_NOT_SUPPORTED);      // no such command
    EXPECT_EQ(send(XA_MSG_COMMAND_PAUSE), XA_SUCCESS); // nothing playing
    EXPECT_EQ(send(XA_MSG_COMMAND_STOP), XA_SUCCESS);
    EXPECT_EQ(send(XA_MSG_COMMAND_OUTPUT_RESET), XA_SUCCESS);
    EXPECT_EQ(send(XA_MSG_COMMAND_INPUT_CLOSE), XA_SUCCESS);
    PlainMessageWindow::processMessages();
    auto nacks = of(XA_MSG_NOTIFY_NACK);
    ASSERT_EQ(nacks.size(), 3u);
    EXPECT_EQ(nacks[0].a, uint32_t(XA_MSG_SET_INPUT_POSITION_RANGE));
    EXPECT_EQ(nacks[1].a, 57u);
    EXPECT_EQ(int32_t(nacks[1].b), XA_ERROR_NOT_SUPPORTED);
    auto ranges = of(XA_MSG_NOTIFY_INPUT_POSITION_RANGE);
    ASSERT_EQ(ranges.size(), 1u);
    EXPECT_EQ(ranges[0].a, 400u);

    // The new range is the one positions are given in.
    ASSERT_EQ(send(XA_MSG_COMMAND_INPUT_OPEN, 0, 0, mp3_), XA_SUCCESS);
    ASSERT_EQ(send(XA_MSG_COMMAND_PLAY), XA_SUCCESS);
    ASSERT_TRUE(pumpUntil(XA_MSG_NOTIFY_PLAYER_STATE, XA_PLAYER_STATE_EOF));
    for (const Note& p : of(XA_MSG_NOTIFY_INPUT_POSITION)) {
        EXPECT_EQ(p.b, 400u);
    }
}

TEST_F(EngineTest, VbrFileWithoutHeaderPlaysToItsRealEnd) {
    const std::string vbr = testsound::tempPath("vbr.mp3");
    ASSERT_TRUE(testsound::writeVbrMp3WithoutHeader(vbr, 0.5, 2.5));
    ASSERT_EQ(send(XA_MSG_COMMAND_INPUT_OPEN, 0, 0, vbr), XA_SUCCESS);
    ASSERT_EQ(send(XA_MSG_COMMAND_PLAY), XA_SUCCESS);
    ASSERT_TRUE(pumpUntil(XA_MSG_NOTIFY_PLAYER_STATE, XA_PLAYER_STATE_EOF));
    ::unlink(vbr.c_str());
    // The length is counted, not guessed from the loud first frames.
    ASSERT_EQ(of(XA_MSG_NOTIFY_STREAM_DURATION).size(), 1u);
    EXPECT_NEAR(double(of(XA_MSG_NOTIFY_STREAM_DURATION)[0].a), 3000.0, 60.0);
    // Only the end reports the whole range.
    auto positions = of(XA_MSG_NOTIFY_INPUT_POSITION);
    ASSERT_GE(positions.size(), 2u);
    for (size_t i = 0; i + 1 < positions.size(); ++i)
        EXPECT_LT(positions[i].a, positions[i].b) << "position " << i;
    EXPECT_EQ(positions.back().a, positions.back().b);
    std::lock_guard<std::mutex> g(log_->lock);
    EXPECT_NEAR(double(log_->played.size()), 3.0 * 44100 * 4, 0.05 * 44100 * 4);
}

TEST_F(EngineTest, FifosAndFoldersAreRefusedAtOnce) {
    const std::string fifo = testsound::tempPath("fifo.mp3");
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/tmp")}) {
        notes_.clear();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(send(XA_MSG_COMMAND_INPUT_OPEN, 0, 0, path), XA_ERROR_OPEN_FAILED);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        PlainMessageWindow::processMessages();
        ASSERT_EQ(of(XA_MSG_NOTIFY_ERROR).size(), 1u) << path;
        EXPECT_NE(of(XA_MSG_NOTIFY_ERROR)[0].text.find("not a regular file"), std::string::npos);
    }
    ::unlink(fifo.c_str());
    // Deleting the player afterwards does not wait on anything.
    EXPECT_TRUE(player_->shutdown(1000));
}

TEST_F(EngineTest, MessagesNotFromThisPlayerAreNotDecoded) {
    XA_Message msg;
    EXPECT_FALSE(player_->decode(XA_WINDOW_MESSAGE_BASE + 78, 123456, &msg));
    EXPECT_FALSE(player_->decode(0x10, 1, &msg));
    EXPECT_FALSE(player_->decode(XA_WINDOW_MESSAGE_BASE + 78, 1, nullptr));
}

TEST_F(EngineTest, DeletingWhilePlayingEndsCleanly) {
    ASSERT_EQ(send(XA_MSG_COMMAND_INPUT_OPEN, 0, 0, mp3_), XA_SUCCESS);
    ASSERT_EQ(send(XA_MSG_COMMAND_PLAY), XA_SUCCESS);
    player_.reset();
    EXPECT_FALSE(testsound::processHasOpen(mp3_));
    std::lock_guard<std::mutex> g(log_->lock);
    EXPECT_EQ(log_->opens, log_->closes);
}

} // namespace
