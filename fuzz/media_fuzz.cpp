// Fuzz target: WAV playback through the media player service. Every input
// becomes a RAM-backed file that one long-lived player opens and plays to
// its end into an output that takes everything at once; position and
// length are read while it plays. Playback must end (or fail cleanly).
#include "fuzz/FuzzDefaults.h"
#include "fuzz/MemoryFile.h"
#include "platform/audio/AudioOutput.h"
#include "platform/media/MediaPlayer.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <thread>

namespace {

// Plays every write at once; at most a few seconds of sound per input.
class InstantOutput final : public AudioOutput {
public:
    MMRESULT open(const WAVEFORMATEX&) override {
        played_ = 0;
        return MMR_NOERROR;
    }
    MMRESULT write(const void*, uint32_t bytes) override {
        if (played_ + bytes > (8u << 20))
            return MMR_ERROR; // long files end as a failing output would
        played_ += bytes;
        return MMR_NOERROR;
    }
    MMRESULT pause() override { return MMR_NOERROR; }
    MMRESULT resume() override { return MMR_NOERROR; }
    MMRESULT drain() override { return MMR_NOERROR; }
    MMRESULT stop() override {
        played_ = 0;
        return MMR_NOERROR;
    }
    MMRESULT close() override { return MMR_NOERROR; }
    uint64_t playedBytes() const override { return played_; }

private:
    std::atomic<uint64_t> played_{0};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemoryFile file;
    static MediaPlayer player([] { return std::make_unique<InstantOutput>(); });
    file.set(data, size);
    if (player.open(file.path()) != MMR_NOERROR)
        return 0;
    if (player.play() == MMR_NOERROR) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (player.mode() == MediaPlayer::Mode::Playing) {
            if (player.position() > player.length())
                std::abort(); // the position never passes the length
            if (std::chrono::steady_clock::now() > limit)
                std::abort(); // playback that never ends
            std::this_thread::yield();
        }
    }
    player.close();
    return 0;
}
