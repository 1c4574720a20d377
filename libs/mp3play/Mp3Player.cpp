// The player thread of the MP3 player library.
#include "libs/mp3play/Mp3Player.h"

#include "platform/audio/AudioOutput.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kChunkBytes = 1152 * 4; // one MPEG-1 frame of 16-bit stereo
constexpr auto kPositionEvery = std::chrono::milliseconds(100);
// While the last sound plays out: how long the output may show no progress
// before the player stops waiting for it.
constexpr auto kDrainStall = std::chrono::milliseconds(500);

} // namespace

Mp3Player::Mp3Player(sv_window_t window, OutputFactory makeOutput)
    : notifier_(window), makeOutput_(std::move(makeOutput)) {
    thread_ = std::thread([this] { run(); });
    notifier_.post(RecordBuilder(XA_MSG_NOTIFY_READY).take());
}

Mp3Player::~Mp3Player() {
    shutdown(UINT32_MAX);
}

bool Mp3Player::shutdown(uint32_t timeoutMs) {
    std::unique_lock<std::mutex> g(lock_);
    exit_ = true;
    wake_.notify_all();
    g.unlock();
    interruptOutput();
    g.lock();
    if (!thread_.joinable()) {
        return true;
    }
    if (timeoutMs != UINT32_MAX &&
        !answered_.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] { return finished_; })) {
        return false; // still busy: the caller leaves this player to its thread
    }
    g.unlock();
    thread_.join();
    return true;
}

int32_t Mp3Player::send(Command command) {
    auto pending = std::make_shared<Pending>();
    pending->command = std::move(command);
    std::unique_lock<std::mutex> g(lock_);
    if (exit_) {
        return XA_ERROR_NO_SUCH_PLAYER;
    }
    queue_.push_back(pending);
    wake_.notify_all();
    g.unlock();
    interruptOutput();
    g.lock();
    if (!answered_.wait_for(g, std::chrono::milliseconds(kCommandTimeoutMs),
                            [&] { return pending->done; })) {
        return XA_ERROR_TIMEOUT;
    }
    return pending->result;
}

void Mp3Player::interruptOutput() {
    std::lock_guard<std::mutex> g(outputGuard_);
    if (output_) {
        output_->interruptWrite();
    }
}

// ---- player thread ----

void Mp3Player::run() {
    for (;;) {
        std::shared_ptr<Pending> next;
        // Sleep about as long as the queued sound still plays.
        const auto drainSleep =
            state_ == State::Playing && inputDone_ && output_
                ? drainWait(writtenBytes_ - std::min(writtenBytes_, output_->playedBytes()),
                            input_.rate() * input_.channels() * 2u)
                : std::chrono::milliseconds(10);
        {
            std::unique_lock<std::mutex> g(lock_);
            if (queue_.empty() && !exit_) {
                if (state_ == State::Playing) {
                    if (inputDone_) {
                        // Let the last sound play out, still taking commands.
                        wake_.wait_for(g, drainSleep);
                    }
                } else {
                    wake_.wait(g, [&] { return exit_ || !queue_.empty(); });
                }
            }
            if (exit_) {
                // Commands still waiting are answered, not left hanging.
                for (auto& p : queue_) {
                    p->result = XA_ERROR_NO_SUCH_PLAYER;
                    p->done = true;
                }
                queue_.clear();
                answered_.notify_all();
                break;
            }
            if (!queue_.empty()) {
                next = queue_.front();
                queue_.pop_front();
            }
        }
        if (next) {
            const int32_t result = execute(next->command);
            {
                std::lock_guard<std::mutex> g(lock_);
                next->result = result;
                next->done = true;
            }
            answered_.notify_all();
            continue;
        }
        if (state_ == State::Playing) {
            if (inputDone_) {
                finishDraining();
            } else {
                playSome();
            }
        }
    }
    closeInput();
    closeOutput();
    notifier_.post(RecordBuilder(XA_MSG_NOTIFY_EXITED).take());
    std::lock_guard<std::mutex> g(lock_);
    finished_ = true;
    answered_.notify_all();
}

int32_t Mp3Player::execute(const Command& c) {
    switch (c.code) {
    case XA_MSG_COMMAND_SYNC:
        postAck(c.code);
        return XA_SUCCESS;
    case XA_MSG_COMMAND_PING:
        notifier_.post(RecordBuilder(XA_MSG_NOTIFY_PONG).u32(4, uint32_t(c.i1)).take());
        return XA_SUCCESS;
    case XA_MSG_COMMAND_PLAY:
        return play();
    case XA_MSG_COMMAND_PAUSE:
        pause();
        return XA_SUCCESS;
    case XA_MSG_COMMAND_STOP:
        stop(true);
        return XA_SUCCESS;
    case XA_MSG_COMMAND_INPUT_SEEK:
        return seek(c.i1, c.i2);
    case XA_MSG_COMMAND_INPUT_OPEN:
        return openInput(c.s1);
    case XA_MSG_COMMAND_INPUT_CLOSE:
        closeInput();
        return XA_SUCCESS;
    case XA_MSG_COMMAND_OUTPUT_OPEN:
        // The output opens itself at the next play, in the file's format.
        postAck(c.code);
        return XA_SUCCESS;
    case XA_MSG_COMMAND_OUTPUT_CLOSE:
        if (state_ == State::Playing || state_ == State::Paused) {
            stop(false);
        }
        closeOutput();
        return XA_SUCCESS;
    case XA_MSG_COMMAND_OUTPUT_MUTE:
    case XA_MSG_COMMAND_OUTPUT_UNMUTE:
        muted_ = c.code == XA_MSG_COMMAND_OUTPUT_MUTE;
        postAck(c.code);
        return XA_SUCCESS;
    case XA_MSG_COMMAND_OUTPUT_RESET:
        // Drops what is queued on the output; the position goes on from
        // what was actually heard.
        if (outputOpen_ && state_ != State::Ended) {
            restartAt(playedSample());
        }
        postAck(c.code);
        return XA_SUCCESS;
    case XA_MSG_COMMAND_OUTPUT_DRAIN:
        if (outputOpen_) {
            output_->drain();
        }
        postAck(c.code);
        return XA_SUCCESS;
    case XA_MSG_GET_PLAYER_MODE:
        notifier_.post(
            RecordBuilder(XA_MSG_NOTIFY_PLAYER_MODE).u32(4, uint32_t(playerMode_)).take());
        return XA_SUCCESS;
    case XA_MSG_GET_INPUT_NAME:
        notifier_.post(RecordBuilder(XA_MSG_NOTIFY_INPUT_NAME).text(4, inputName_).take());
        return XA_SUCCESS;
    case XA_MSG_SET_INPUT_POSITION_RANGE:
        if (c.i1 <= 0) {
            // A range of 0 would make every position meaningless.
            postNack(c.code, XA_ERROR_INVALID_PARAMETERS);
            return XA_ERROR_INVALID_PARAMETERS;
        }
        range_ = uint32_t(c.i1);
        [[fallthrough]];
    case XA_MSG_GET_INPUT_POSITION_RANGE:
        notifier_.post(RecordBuilder(XA_MSG_NOTIFY_INPUT_POSITION_RANGE).u32(4, range_).take());
        return XA_SUCCESS;
    case XA_MSG_GET_OUTPUT_NAME:
        notifier_.post(RecordBuilder(XA_MSG_NOTIFY_OUTPUT_NAME).text(4, "default").take());
        return XA_SUCCESS;
    case XA_MSG_SET_NOTIFICATION_MASK:
        notificationMask_ = uint32_t(c.i1);
        [[fallthrough]];
    case XA_MSG_GET_NOTIFICATION_MASK:
        notifier_.post(
            RecordBuilder(XA_MSG_NOTIFY_NOTIFICATION_MASK).u32(4, notificationMask_).take());
        return XA_SUCCESS;
    case XA_MSG_SET_DEBUG_LEVEL:
        debugLevel_ = uint8_t(c.i1);
        [[fallthrough]];
    case XA_MSG_GET_DEBUG_LEVEL:
        notifier_.post(RecordBuilder(XA_MSG_NOTIFY_DEBUG_LEVEL).u8(4, debugLevel_).take());
        return XA_SUCCESS;
    default:
        // Modules, filters, environment, volume, codec settings: not offered
        // by this player. Answered, and nothing changes.
        postNack(c.code, XA_ERROR_NOT_SUPPORTED);
        return XA_ERROR_NOT_SUPPORTED;
    }
}

int32_t Mp3Player::openInput(const std::string& name) {
    closeInput();
    // The next file may have another format: the output reopens for it.
    closeOutput();
    std::string error;
    if (!input_.open(name, &error)) {
        postError(XA_SOURCE_INPUT, XA_ERROR_OPEN_FAILED, error);
        setState(State::Stopped, true);
        return XA_ERROR_OPEN_FAILED;
    }
    inputName_ = name;
    segmentStart_ = 0;
    decodedSample_ = 0;
    inputDone_ = false;
    notifier_.post(RecordBuilder(XA_MSG_NOTIFY_INPUT_STATE).u8(4, XA_INPUT_STATE_OPEN).take());
    notifier_.post(RecordBuilder(XA_MSG_NOTIFY_INPUT_NAME).text(4, name).take());
    notifier_.post(RecordBuilder(XA_MSG_NOTIFY_STREAM_PARAMETERS)
                       .u32(4, input_.rate())
                       .u16(8, input_.bitrateKbps())
                       .u8(10, uint8_t(input_.channels()))
                       .take());
    const uint64_t ms = input_.rate() ? input_.lengthSamples() * 1000 / input_.rate() : 0;
    notifier_.post(RecordBuilder(XA_MSG_NOTIFY_STREAM_DURATION)
                       .u32(4, uint32_t(std::min<uint64_t>(ms, UINT32_MAX)))
                       .take());
    setState(State::Stopped, true);
    postPosition(true);
    return XA_SUCCESS;
}

void Mp3Player::closeInput() {
    if (state_ == State::Playing || state_ == State::Paused || state_ == State::Ended) {
        stop(false);
    }
    if (input_.isOpen()) {
        input_.close();
        inputName_.clear();
        notifier_.post(
            RecordBuilder(XA_MSG_NOTIFY_INPUT_STATE).u8(4, XA_INPUT_STATE_CLOSED).take());
    }
}

bool Mp3Player::ensureOutput() {
    if (outputOpen_) {
        return true;
    }
    if (!output_) {
        std::unique_ptr<AudioOutput> made = makeOutput_ ? makeOutput_() : nullptr;
        std::lock_guard<std::mutex> g(outputGuard_);
        output_ = std::move(made);
    }
    if (!output_) {
        postError(XA_SOURCE_OUTPUT, XA_ERROR_OUTPUT_FAILED, "no audio output");
        return false;
    }
    WAVEFORMATEX f;
    FillPcmFormat(f, input_.rate(), 16, input_.channels());
    const MMRESULT r = output_->open(f);
    if (r != MMR_NOERROR) {
        // The next play asks for a device again.
        {
            std::lock_guard<std::mutex> g(outputGuard_);
            output_.reset();
        }
        postError(XA_SOURCE_OUTPUT, XA_ERROR_OUTPUT_FAILED,
                  "cannot open the audio output (error " + std::to_string(r) + ")");
        return false;
    }
    outputOpen_ = true;
    outputPaused_ = false;
    // A fresh output counts from 0, from where the decoder stands.
    segmentStart_ = decodedSample_;
    writtenBytes_ = 0;
    lastPlayedBytes_ = 0;
    notifier_.post(RecordBuilder(XA_MSG_NOTIFY_OUTPUT_STATE).u8(4, XA_OUTPUT_STATE_OPEN).take());
    return true;
}

void Mp3Player::closeOutput() {
    if (outputOpen_) {
        // What was queued and not heard is decoded again on the next play.
        const uint64_t heard = playedSample();
        output_->stop();
        if (input_.isOpen() && state_ != State::Ended) {
            input_.seek(heard);
            decodedSample_ = heard;
        }
        segmentStart_ = decodedSample_;
        output_->close();
        outputOpen_ = false;
        outputPaused_ = false;
        notifier_.post(
            RecordBuilder(XA_MSG_NOTIFY_OUTPUT_STATE).u8(4, XA_OUTPUT_STATE_CLOSED).take());
    }
    std::lock_guard<std::mutex> g(outputGuard_);
    output_.reset();
}

int32_t Mp3Player::play() {
    if (!input_.isOpen()) {
        postNack(XA_MSG_COMMAND_PLAY, XA_ERROR_NO_INPUT);
        return XA_ERROR_NO_INPUT;
    }
    if (state_ == State::Playing) {
        return XA_SUCCESS;
    }
    if (state_ == State::Ended) {
        // Playing again after the end starts from the beginning.
        stop(true);
    }
    if (!ensureOutput()) {
        // Announced even when already stopped: whoever waits for playback
        // to begin learns that it ended.
        setState(State::Stopped, true);
        return XA_ERROR_OUTPUT_FAILED;
    }
    if (outputPaused_) {
        output_->resume();
        outputPaused_ = false;
    }
    lastProgress_ = Clock::now();
    setState(State::Playing);
    postPosition(true);
    return XA_SUCCESS;
}

void Mp3Player::pause() {
    if (state_ != State::Playing) {
        return;
    }
    if (outputOpen_) {
        output_->pause();
        outputPaused_ = true;
    }
    setState(State::Paused);
    postPosition(true);
}

void Mp3Player::restartAt(uint64_t sample) {
    if (outputOpen_) {
        output_->stop();
    }
    if (input_.isOpen()) {
        input_.seek(sample);
    }
    decodedSample_ = sample;
    segmentStart_ = sample;
    writtenBytes_ = 0;
    lastPlayedBytes_ = 0;
    inputDone_ = false;
}

void Mp3Player::stop(bool rewind) {
    const uint64_t heard = playedSample();
    restartAt(rewind ? 0 : heard);
    if (outputPaused_) {
        output_->resume();
        outputPaused_ = false;
    }
    setState(State::Stopped, true);
    postPosition(true);
}

int32_t Mp3Player::seek(int32_t offset, int32_t range) {
    if (!input_.isOpen()) {
        postNack(XA_MSG_COMMAND_INPUT_SEEK, XA_ERROR_NO_INPUT);
        return XA_ERROR_NO_INPUT;
    }
    if (range <= 0 || offset < 0 || offset > range) {
        postNack(XA_MSG_COMMAND_INPUT_SEEK, XA_ERROR_INVALID_PARAMETERS);
        return XA_ERROR_INVALID_PARAMETERS;
    }
    const uint64_t total = input_.lengthSamples();
    const uint64_t target = total * uint64_t(offset) / uint64_t(range);
    restartAt(target);
    if (state_ == State::Ended) {
        setState(State::Stopped);
    }
    postPosition(true);
    return XA_SUCCESS;
}

void Mp3Player::playSome() {
    uint8_t buf[kChunkBytes];
    size_t got = 0;
    std::string error;
    const Mp3Input::Read r = input_.read(buf, sizeof buf, &got, &error);
    if (r == Mp3Input::Read::Failed) {
        // What was decoded still plays; then the input ends as at its end,
        // with the final position and the end-of-input state.
        postError(XA_SOURCE_CODEC, XA_ERROR_DECODE_FAILED, error);
    }
    if (r != Mp3Input::Read::Data) {
        inputDone_ = true;
        lastProgress_ = Clock::now();
        output_->flush(); // the last sound, if the output held it back
        return;
    }
    got -= got % input_.blockAlign();
    if (got == 0) {
        return;
    }
    decodedSample_ += got / input_.blockAlign();
    if (muted_) {
        std::memset(buf, 0, got);
    }
    if (output_->write(buf, uint32_t(got)) != MMR_NOERROR) {
        postError(XA_SOURCE_OUTPUT, XA_ERROR_OUTPUT_FAILED, "the audio output failed");
        // Stopped where it was heard; the state is the last word, so no
        // position report can hide that playback ended.
        restartAt(playedSample());
        if (outputPaused_) {
            output_->resume();
            outputPaused_ = false;
        }
        setState(State::Stopped, true);
        return;
    }
    writtenBytes_ += got;
    postPosition(false);
}

void Mp3Player::finishDraining() {
    const uint64_t played = output_->playedBytes();
    const auto now = Clock::now();
    if (played != lastPlayedBytes_) {
        lastPlayedBytes_ = played;
        lastProgress_ = now;
    }
    if (played < writtenBytes_ && now - lastProgress_ < kDrainStall) {
        postPosition(false);
        return;
    }
    // Everything was heard (or the output stopped moving: let it finish
    // on its own). The drain also has the output confirm the end, which is
    // immediate when it is truly over; the end is announced only after it,
    // so a stop that follows the announcement cuts nothing off.
    output_->drain();
    inputDone_ = false;
    setState(State::Ended);
    notifier_.post(
        RecordBuilder(XA_MSG_NOTIFY_INPUT_POSITION).u32(4, range_).u32(8, range_).take());
    notifier_.post(RecordBuilder(XA_MSG_NOTIFY_PLAYER_STATE).u8(4, XA_PLAYER_STATE_EOF).take());
}

uint64_t Mp3Player::playedSample() const {
    if (!outputOpen_ || input_.blockAlign() == 0) {
        return segmentStart_;
    }
    return segmentStart_ + output_->playedBytes() / input_.blockAlign();
}

void Mp3Player::setState(State s, bool announce) {
    if (s == state_ && !announce) {
        return;
    }
    state_ = s;
    if (s == State::Ended) {
        return; // reported with the final position by finishDraining
    }
    uint8_t code = XA_PLAYER_STATE_STOPPED;
    switch (s) {
    case State::Stopped:
        code = XA_PLAYER_STATE_STOPPED;
        break;
    case State::Playing:
        code = XA_PLAYER_STATE_PLAYING;
        break;
    case State::Paused:
        code = XA_PLAYER_STATE_PAUSED;
        break;
    case State::Ended:
        code = XA_PLAYER_STATE_EOF;
        break;
    }
    notifier_.post(RecordBuilder(XA_MSG_NOTIFY_PLAYER_STATE).u8(4, code).take());
}

void Mp3Player::postPosition(bool force) {
    const auto now = Clock::now();
    if (!force && now - lastPositionPost_ < kPositionEvery) {
        return;
    }
    lastPositionPost_ = now;
    uint32_t offset = 0;
    // A length that turns out short grows with what was decoded; until the
    // input really ends the position stays below the range, which only the
    // end reports.
    const uint64_t total = std::max(input_.lengthSamples(), decodedSample_);
    if (total > 0) {
        const uint64_t at = std::min(playedSample(), total);
        offset = uint32_t(at * range_ / total);
        if (state_ != State::Ended && offset >= range_)
            offset = range_ - 1;
    }
    lastPostedOffset_ = offset;
    notifier_.post(
        RecordBuilder(XA_MSG_NOTIFY_INPUT_POSITION).u32(4, offset).u32(8, range_).take());
}

void Mp3Player::postError(uint8_t source, int32_t code, const std::string& text) {
    notifier_.post(RecordBuilder(XA_MSG_NOTIFY_ERROR)
                       .u8(4, source)
                       .u16(6, uint16_t(int16_t(code)))
                       .text(8, text)
                       .take());
}

void Mp3Player::postAck(uint8_t command) {
    notifier_.post(RecordBuilder(XA_MSG_NOTIFY_ACK).u8(4, command).take());
}

void Mp3Player::postNack(uint8_t command, int32_t code) {
    notifier_.post(
        RecordBuilder(XA_MSG_NOTIFY_NACK).u8(4, command).u16(6, uint16_t(int16_t(code))).take());
}
