// One player of the MP3 player library: a decoding thread that plays an MP3
// file through an audio output and reports by posting message records.
//
// Commands (the control_message_send_* entry points) are queued to the player
// thread and the caller waits until the thread has carried them out, so that
// when Stop, OutputClose or InputClose return, playback has ended and the
// file is released. The wait is bounded; a thread that does not answer in
// time makes the command return XA_ERROR_TIMEOUT instead of hanging the
// caller.
//
// Player thread states: no input (stopped), stopped, playing, paused, end of
// input. While playing it decodes about 26 ms of sound at a time, writes it
// (the output paces the thread) and posts the input position at least every
// 100 ms; between writes it takes new commands.
//
// Threads: every public function from any thread (normally the main thread);
// the decoder and the output are used only by the player thread.
#pragma once

#include "libs/mp3play/PlayerMessages.h"
#include "libs/mp3play/xaudio.h"
#include "platform/media/Mp3Input.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class AudioOutput;

class Mp3Player {
public:
    using OutputFactory = std::function<std::unique_ptr<AudioOutput>()>;

    // Starts the player thread; posts "ready" to the window.
    Mp3Player(sv_window_t window, OutputFactory makeOutput);
    // Ends the thread cooperatively (closing input and output) and joins it.
    ~Mp3Player();

    // Asks the thread to end and waits up to timeoutMs for it. True when it
    // ended (the player may be deleted); false when it is still busy in a
    // command (say, a file that does not answer): the thread then ends on
    // its own later, and the player must be left alive for it.
    bool shutdown(uint32_t timeoutMs);

    struct Command {
        uint8_t code = 0;
        int32_t i1 = 0, i2 = 0, i3 = 0;
        std::string s1, s2;
    };
    // Carries out a command on the player thread and returns its result.
    int32_t send(Command command);

    void setPriority(int32_t p) { priority_ = p; }
    int32_t priority() const { return priority_; }

    // control_win32_params_to_message.
    bool decode(uint32_t windowMessage, uintptr_t wparam, XA_Message* out) {
        return notifier_.take(windowMessage, wparam, out);
    }

    static constexpr uint32_t kCommandTimeoutMs = 5000;
    static constexpr uint32_t kDefaultRange = 1000;

private:
    enum class State { Stopped, Playing, Paused, Ended };

    struct Pending {
        Command command;
        int32_t result = XA_SUCCESS;
        bool done = false;
    };

    void run();
    int32_t execute(const Command& c);
    // Steps of the playing state (player thread).
    void playSome();
    void finishDraining();

    int32_t openInput(const std::string& name);
    void closeInput();
    int32_t play();
    void pause();
    void stop(bool rewind);
    // Drops what the output holds and goes on decoding from the sample.
    void restartAt(uint64_t sample);
    int32_t seek(int32_t offset, int32_t range);
    bool ensureOutput();
    void closeOutput();

    // Posts the new player state when it changes (or always, with announce).
    void setState(State s, bool announce = false);
    void postPosition(bool force);
    void postError(uint8_t source, int32_t code, const std::string& text);
    void postAck(uint8_t command);
    void postNack(uint8_t command, int32_t code);
    uint64_t playedSample() const;

    Notifier notifier_;
    OutputFactory makeOutput_;
    std::atomic<int32_t> priority_{3};

    // Any thread: a write of the player thread waiting for the output to
    // have room returns, so that a command or the exit is taken at once.
    void interruptOutput();
    std::mutex outputGuard_; // output_ against interruptOutput

    // Command queue (guarded by lock_).
    std::mutex lock_;
    std::condition_variable wake_;     // player thread: a command or exit
    std::condition_variable answered_; // callers: a command was carried out
    std::deque<std::shared_ptr<Pending>> queue_;
    bool exit_ = false;
    bool finished_ = false; // the thread has left its loop

    // Player thread only.
    Mp3Input input_;
    std::unique_ptr<AudioOutput> output_; // made and freed under outputGuard_
    bool outputOpen_ = false;
    bool outputPaused_ = false;
    State state_ = State::Stopped;
    std::string inputName_;
    uint32_t range_ = kDefaultRange;
    uint64_t segmentStart_ = 0;  // sample the output's played count starts from
    uint64_t decodedSample_ = 0; // next sample the decoder delivers
    uint64_t writtenBytes_ = 0;  // written since the output's count restarted
    bool inputDone_ = false;
    uint64_t lastPlayedBytes_ = 0;
    std::chrono::steady_clock::time_point lastProgress_{};
    std::chrono::steady_clock::time_point lastPositionPost_{};
    uint32_t lastPostedOffset_ = UINT32_MAX;
    bool muted_ = false;
    uint32_t notificationMask_ = 0xFFFFFFFFu;
    uint8_t debugLevel_ = 0;
    int32_t playerMode_ = 0;

    std::thread thread_; // last: starts after every field is ready
};
