// The media player service over libsndfile (loaded by the first open) and
// the audio output.
#include "platform/media/MediaPlayer.h"

#include "platform/audio/AudioOutput.h"
#include "platform/files/RegularFile.h"
#include "platform/media/MediaLibraries.h"
#include "platform/media/Mp3Input.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kCommandTimeoutMs = 5000;
// How long destruction waits for the player thread to end.
constexpr uint32_t kCloseWaitMs = 2000;
constexpr size_t kChunkFrames = 1024;
// While the end of the file plays out: how long the output may show no
// progress before the player stops waiting for it.
constexpr auto kDrainStall = std::chrono::milliseconds(500);

enum class Op { Open, Play, Pause, Resume, Stop, Seek, Close, Exit };

struct Command {
    Op op;
    std::string path;
    uint32_t ms = 0; // Seek
    MMRESULT result = MMR_NOERROR;
    bool done = false;
};

} // namespace

struct MediaPlayer::Impl {
    explicit Impl(OutputFactory f) : makeOutput(std::move(f)) {
        if (!makeOutput) {
            makeOutput = [] { return createAudioOutput(-1); };
        }
        thread = std::thread([this] { run(); });
    }

    ~Impl() {
        if (thread.joinable()) {
            send(Op::Exit, {});
            thread.join();
        }
    }

    // Asks the thread to end and waits up to timeoutMs; false when it is
    // still busy in a command (the Impl must then stay alive for it).
    bool shutdown(uint32_t timeoutMs) {
        send(Op::Exit, {});
        std::unique_lock<std::mutex> g(lock);
        if (!answered.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] { return finished; })) {
            return false;
        }
        g.unlock();
        thread.join();
        return true;
    }

    MMRESULT send(Op op, std::string path, uint32_t ms = 0) {
        auto c = std::make_shared<Command>();
        c->op = op;
        c->path = std::move(path);
        c->ms = ms;
        std::unique_lock<std::mutex> g(lock);
        if (exiting) {
            return op == Op::Exit ? MMR_NOERROR : MMR_INVALHANDLE;
        }
        if (op == Op::Exit) {
            exiting = true;
        }
        queue.push_back(c);
        wake.notify_all();
        if (op == Op::Exit) {
            return MMR_NOERROR; // joined by the destructor
        }
        if (!answered.wait_for(g, std::chrono::milliseconds(kCommandTimeoutMs),
                               [&] { return c->done; })) {
            errorText = "the player does not answer";
            return MMR_HANDLEBUSY;
        }
        return c->result;
    }

    // ---- player thread ----

    void run() {
        for (;;) {
            std::shared_ptr<Command> next;
            // Sleep about as long as the queued sound still plays; not at all
            // when the output has played everything already.
            const uint64_t pending =
                mode == Mode::Playing && inputDone && output
                    ? writtenBytes - std::min(writtenBytes, output->playedBytes())
                    : 0;
            const auto drainSleep = drainWait(pending, rate * channels * 2u);
            {
                std::unique_lock<std::mutex> g(lock);
                if (queue.empty()) {
                    if (mode == Mode::Playing) {
                        if (inputDone && pending > 0) {
                            wake.wait_for(g, drainSleep);
                        }
                    } else {
                        wake.wait(g, [&] { return !queue.empty(); });
                    }
                }
                if (!queue.empty()) {
                    next = queue.front();
                    queue.pop_front();
                }
            }
            if (next) {
                if (next->op == Op::Exit) {
                    doClose();
                    std::lock_guard<std::mutex> g(lock);
                    for (auto& c : queue) {
                        c->result = MMR_INVALHANDLE;
                        c->done = true;
                    }
                    queue.clear();
                    finished = true;
                    answered.notify_all();
                    return;
                }
                const MMRESULT r = execute(*next);
                {
                    std::lock_guard<std::mutex> g(lock);
                    next->result = r;
                    next->done = true;
                }
                answered.notify_all();
                continue;
            }
            if (mode == Mode::Playing) {
                if (inputDone) {
                    finishDraining();
                } else {
                    playSome();
                }
            }
        }
    }

    MMRESULT execute(const Command& c) {
        switch (c.op) {
        case Op::Open:
            return doOpen(c.path);
        case Op::Play:
            return doPlay();
        case Op::Pause:
            return doPause();
        case Op::Resume:
            return doResume();
        case Op::Stop:
            return doStop();
        case Op::Seek:
            return doSeek(c.ms);
        case Op::Close:
            doClose();
            return MMR_NOERROR;
        case Op::Exit:
            break;
        }
        return MMR_ERROR;
    }

    MMRESULT fail(MMRESULT code, std::string text) {
        std::lock_guard<std::mutex> g(lock);
        errorText = std::move(text);
        return code;
    }

    MMRESULT doOpen(const std::string& path) {
        doClose();
        // Only a regular file is played: a FIFO, a device or a folder can
        // never hold the player.
        const RegularFile opened = openRegularFile(path, O_RDONLY);
        if (!opened.ok())
            return fail(MMR_ERROR, "cannot open " + path + ": " + opened.why());
        const int fd = opened.fd;
        // The decoder is loaded by the first open; without it no file plays.
        std::string missing;
        sf = sndfileApi(&missing);
        if (sf == nullptr) {
            ::close(fd);
            return fail(MMR_NODRIVER, "cannot play " + path + ": " + missing);
        }
        SF_INFO info{};
        SNDFILE* f = sf->sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
        if (f == nullptr) {
            const int err = sf->sf_error(nullptr);
            const std::string why = sf->sf_strerror(nullptr);
            // Unknown or broken contents are a format problem; anything else
            // (missing, unreadable) a plain failure.
            const bool format = err == SF_ERR_UNRECOGNISED_FORMAT || err == SF_ERR_MALFORMED_FILE ||
                                err == SF_ERR_UNSUPPORTED_ENCODING;
            return fail(format ? MMR_BADFORMAT : MMR_ERROR, "cannot open " + path + ": " + why);
        }
        if (info.channels < 1 || info.samplerate < 1000 || info.samplerate > 384000) {
            sf->sf_close(f);
            return fail(MMR_BADFORMAT, "cannot play the format of " + path);
        }
        if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG) {
            // MPEG audio goes through its own decoder: it takes the length
            // from the information frame or counts the frames, where
            // libsndfile would stop at a length guessed from the first frame.
            sf->sf_close(f);
            f = nullptr;
            std::string why;
            if (mpg123Api(&why) == nullptr) {
                return fail(MMR_NODRIVER, "cannot play " + path + ": " + why);
            }
            if (!mp3.open(path, &why)) {
                return fail(MMR_BADFORMAT, why);
            }
            info.channels = mp3.channels();
            info.samplerate = int(mp3.rate());
            info.frames = sf_count_t(mp3.lengthSamples());
        }
        file = f;
        fileChannels = info.channels;
        {
            std::lock_guard<std::mutex> g(lock);
            channels = uint16_t(std::min(info.channels, 2));
            rate = uint32_t(info.samplerate);
        }
        totalFrames.store(info.frames > 0 ? uint64_t(info.frames) : 0);
        segmentStart.store(0);
        decodedFrame.store(0);
        ended.store(false);
        failed.store(false);
        inputDone = false;
        setMode(Mode::Stopped);
        return MMR_NOERROR;
    }

    bool isOpen() const { return file != nullptr || mp3.isOpen(); }

    // Up to frames frames of 16-bit PCM: 0 at the end, -1 with *why set when
    // the data cannot be decoded.
    sf_count_t readFrames(int16_t* out, size_t frames, std::string* why) {
        if (file != nullptr) {
            const sf_count_t got = sf->sf_readf_short(file, out, sf_count_t(frames));
            if (got <= 0 && sf->sf_error(file) != SF_ERR_NO_ERROR) {
                *why = sf->sf_strerror(file);
                return -1;
            }
            return got;
        }
        size_t bytes = 0;
        const size_t frameBytes = size_t(fileChannels) * 2;
        const Mp3Input::Read r =
            mp3.read(reinterpret_cast<uint8_t*>(out), frames * frameBytes, &bytes, why);
        if (r == Mp3Input::Read::Failed) {
            return -1;
        }
        why->clear();
        return sf_count_t(bytes / frameBytes);
    }

    void doClose() {
        closeOutput();
        if (file != nullptr) {
            sf->sf_close(file);
            file = nullptr;
        }
        mp3.close();
        totalFrames.store(0);
        segmentStart.store(0);
        ended.store(false);
        inputDone = false;
        setMode(Mode::NotOpen);
    }

    MMRESULT ensureOutput() {
        if (output) {
            return MMR_NOERROR;
        }
        auto out = makeOutput ? makeOutput() : nullptr;
        if (!out) {
            return fail(MMR_NODRIVER, "no audio output");
        }
        WAVEFORMATEX fmt;
        FillPcmFormat(fmt, rate, 16, channels);
        const MMRESULT r = out->open(fmt);
        if (r != MMR_NOERROR) {
            return fail(r, "cannot open the audio output (error " + std::to_string(r) + ")");
        }
        std::lock_guard<std::mutex> g(outputLock);
        output = std::move(out);
        segmentStart.store(decodedFrame);
        writtenBytes = 0;
        lastPlayed = 0;
        outputPaused = false;
        return MMR_NOERROR;
    }

    void closeOutput() {
        std::unique_ptr<AudioOutput> out;
        {
            std::lock_guard<std::mutex> g(outputLock);
            out = std::move(output);
        }
        if (out) {
            out->stop();
            out->close();
        }
    }

    MMRESULT doPlay() {
        if (!isOpen()) {
            return fail(MMR_INVALHANDLE, "nothing is open");
        }
        if (mode == Mode::Playing) {
            return MMR_NOERROR;
        }
        if (mode == Mode::Paused) {
            return doResume();
        }
        if (ended.load()) {
            rewind();
        }
        failed.store(false);
        if (const MMRESULT r = ensureOutput(); r != MMR_NOERROR) {
            return r;
        }
        lastProgress = Clock::now();
        setMode(Mode::Playing);
        return MMR_NOERROR;
    }

    MMRESULT doPause() {
        if (!isOpen()) {
            return fail(MMR_INVALHANDLE, "nothing is open");
        }
        if (mode != Mode::Playing) {
            return MMR_NOERROR;
        }
        output->pause();
        outputPaused = true;
        setMode(Mode::Paused);
        return MMR_NOERROR;
    }

    MMRESULT doResume() {
        if (!isOpen()) {
            return fail(MMR_INVALHANDLE, "nothing is open");
        }
        if (mode != Mode::Paused) {
            return MMR_NOERROR;
        }
        output->resume();
        outputPaused = false;
        lastProgress = Clock::now();
        setMode(Mode::Playing);
        return MMR_NOERROR;
    }

    MMRESULT doStop() {
        if (!isOpen()) {
            return fail(MMR_INVALHANDLE, "nothing is open");
        }
        rewind();
        setMode(Mode::Stopped);
        return MMR_NOERROR;
    }

    // Goes on from `ms` (clamped to the file's end) in the same mode: what
    // the output holds of the old place is dropped.
    MMRESULT doSeek(uint32_t ms) {
        if (!isOpen()) {
            return fail(MMR_INVALHANDLE, "nothing is open");
        }
        const uint64_t total = totalFrames.load();
        uint64_t frame = uint64_t(ms) * rate / 1000;
        if (total > 0)
            frame = std::min(frame, total);
        const bool moved =
            file != nullptr ? sf->sf_seek(file, sf_count_t(frame), SEEK_SET) >= 0 : mp3.seek(frame);
        if (!moved) {
            return fail(MMR_ERROR, "cannot move in the file");
        }
        {
            std::lock_guard<std::mutex> g(outputLock);
            if (output) {
                output->stop(); // a paused output stays paused
            }
            decodedFrame.store(frame);
            segmentStart.store(frame);
            writtenBytes = 0;
            lastPlayed = 0;
        }
        ended.store(false);
        inputDone = false;
        lastProgress = Clock::now();
        return MMR_NOERROR;
    }

    // Drops what the output holds and goes back to the first frame.
    void rewind() {
        {
            std::lock_guard<std::mutex> g(outputLock);
            if (output) {
                output->stop();
                if (outputPaused) {
                    output->resume();
                    outputPaused = false;
                }
            }
            if (file != nullptr) {
                sf->sf_seek(file, 0, SEEK_SET);
            } else {
                mp3.seek(0);
            }
            decodedFrame.store(0);
            segmentStart.store(0);
            writtenBytes = 0;
            lastPlayed = 0;
        }
        ended.store(false);
        inputDone = false;
    }

    void playSome() {
        const size_t samples = kChunkFrames * size_t(fileChannels);
        if (readBuf.size() < samples) {
            readBuf.resize(samples);
        }
        std::string why;
        const sf_count_t got = readFrames(readBuf.data(), kChunkFrames, &why);
        if (got <= 0) {
            // The end, or data that cannot be decoded: what was decoded
            // plays out, then playback ends; a failure is kept for failed().
            if (!why.empty()) {
                fail(MMR_ERROR, "cannot decode the file: " + why);
                failed.store(true);
            }
            inputDone = true;
            lastProgress = Clock::now();
            return;
        }
        const int16_t* data = readBuf.data();
        if (fileChannels != channels) {
            // Keep the first two channels (or the one) of each frame.
            outBuf.resize(size_t(got) * channels);
            for (sf_count_t i = 0; i < got; ++i) {
                for (int c = 0; c < channels; ++c) {
                    outBuf[size_t(i) * channels + c] = readBuf[size_t(i) * fileChannels + c];
                }
            }
            data = outBuf.data();
        }
        decodedFrame.fetch_add(uint64_t(got));
        const uint32_t bytes = uint32_t(got) * channels * 2;
        if (output->write(data, bytes) != MMR_NOERROR) {
            // The device went away: playback ends at once (position at the
            // length, so a watcher sees the end), keeping the file open.
            fail(MMR_ERROR, "the audio output failed");
            failed.store(true);
            rewind();
            endPlayback();
            return;
        }
        writtenBytes += bytes;
    }

    void finishDraining() {
        const uint64_t played = output->playedBytes();
        const auto now = Clock::now();
        if (played != lastPlayed) {
            lastPlayed = played;
            lastProgress = now;
        }
        if (played < writtenBytes && now - lastProgress < kDrainStall) {
            return;
        }
        if (played < writtenBytes) {
            output->drain();
        }
        // The true end may differ from the header's frame count.
        totalFrames.store(std::max(totalFrames.load(), decodedFrame.load()));
        inputDone = false;
        endPlayback();
        if (notifyWindow.load() != SV_WINDOW_NONE) {
            sv_post_message(notifyWindow.load(), notifyMessage.load(), MEDIA_NOTIFY_SUCCESSFUL, 0);
        }
    }

    void setMode(Mode m) {
        std::lock_guard<std::mutex> g(lock);
        mode = m;
    }

    // The end and the stop are one step for watchers: position() never shows
    // the length while mode() still says Playing.
    void endPlayback() {
        std::lock_guard<std::mutex> g(lock);
        ended.store(true);
        mode = Mode::Stopped;
    }

    // The length as known now: the file's frame count, or what was decoded
    // when that is more (an estimate that fell short).
    uint64_t knownFrames() const { return std::max(totalFrames.load(), decodedFrame.load()); }

    uint64_t playedFrame() const {
        if (ended.load()) {
            return knownFrames();
        }
        std::lock_guard<std::mutex> g(outputLock);
        uint64_t f = segmentStart.load();
        if (output && channels > 0) {
            f += output->playedBytes() / (uint64_t(channels) * 2);
        }
        return std::min(f, knownFrames());
    }

    uint32_t toMs(uint64_t frames) const {
        if (rate == 0) {
            return 0;
        }
        return uint32_t(std::min<uint64_t>(frames * 1000 / rate, UINT32_MAX));
    }

    OutputFactory makeOutput;

    // Commands (lock).
    mutable std::mutex lock;
    std::condition_variable wake;
    std::condition_variable answered;
    std::deque<std::shared_ptr<Command>> queue;
    bool exiting = false;
    Mode mode = Mode::NotOpen; // written by the player thread under lock
    std::string errorText;

    // Output lifetime and position bookkeeping (outputLock); the output is
    // used by the player thread, and read for the position by any thread.
    mutable std::mutex outputLock;
    std::unique_ptr<AudioOutput> output;
    std::atomic<uint64_t> segmentStart{0};
    std::atomic<uint64_t> totalFrames{0};
    std::atomic<uint64_t> decodedFrame{0}; // written by the player thread
    std::atomic<bool> ended{false};
    std::atomic<bool> failed{false};
    bool finished = false; // the thread has ended (lock)

    // Format of the open file: written by the player thread under lock,
    // read by it freely and by others under lock.
    uint16_t channels = 0;
    uint32_t rate = 0;

    // Player thread only.
    const SndfileApi* sf = nullptr; // the decoder's entry points, from the first open on
    SNDFILE* file = nullptr;        // every format but MPEG audio
    Mp3Input mp3;                   // MPEG audio
    int fileChannels = 0;
    uint64_t writtenBytes = 0;
    uint64_t lastPlayed = 0;
    bool inputDone = false;
    bool outputPaused = false;
    Clock::time_point lastProgress{};
    std::vector<int16_t> readBuf;
    std::vector<int16_t> outBuf;

    std::atomic<sv_window_t> notifyWindow{SV_WINDOW_NONE};
    std::atomic<uint32_t> notifyMessage{0};

    std::thread thread; // last: starts once everything above exists
};

MediaPlayer::MediaPlayer(OutputFactory makeOutput)
    : impl_(std::make_unique<Impl>(std::move(makeOutput))) {}

MediaPlayer::~MediaPlayer() {
    // A thread stuck in a command (a file that does not answer) must not
    // hang the caller: after a bounded wait it is left to end on its own,
    // with the state it uses.
    if (!impl_->shutdown(kCloseWaitMs)) {
        impl_->thread.detach();
        (void)impl_.release();
    }
}

MMRESULT MediaPlayer::open(const std::string& path) {
    return impl_->send(Op::Open, path);
}
MMRESULT MediaPlayer::play() {
    return impl_->send(Op::Play, {});
}
MMRESULT MediaPlayer::pause() {
    return impl_->send(Op::Pause, {});
}
MMRESULT MediaPlayer::resume() {
    return impl_->send(Op::Resume, {});
}
MMRESULT MediaPlayer::stop() {
    return impl_->send(Op::Stop, {});
}
MMRESULT MediaPlayer::seek(uint32_t ms) {
    return impl_->send(Op::Seek, {}, ms);
}
MMRESULT MediaPlayer::close() {
    return impl_->send(Op::Close, {});
}

uint32_t MediaPlayer::position() const {
    std::lock_guard<std::mutex> g(impl_->lock);
    if (impl_->mode == Mode::NotOpen) {
        return 0;
    }
    const uint32_t at = impl_->toMs(impl_->playedFrame());
    const uint32_t length = impl_->toMs(impl_->knownFrames());
    // Only the end reaches the length.
    if (!impl_->ended.load() && length > 0 && at >= length) {
        return length - 1;
    }
    return at;
}

uint32_t MediaPlayer::length() const {
    std::lock_guard<std::mutex> g(impl_->lock);
    if (impl_->mode == Mode::NotOpen) {
        return 0;
    }
    return impl_->toMs(impl_->knownFrames());
}

bool MediaPlayer::failed() const {
    return impl_->failed.load();
}

MediaPlayer::Mode MediaPlayer::mode() const {
    std::lock_guard<std::mutex> g(impl_->lock);
    return impl_->mode;
}

std::string MediaPlayer::lastErrorText() const {
    std::lock_guard<std::mutex> g(impl_->lock);
    return impl_->errorText;
}

void MediaPlayer::setNotify(sv_window_t window, uint32_t message) {
    impl_->notifyMessage.store(message);
    impl_->notifyWindow.store(window);
}
