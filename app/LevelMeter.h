// What the level meter shows, without any widget: per channel the level in
// dBFS, a peak held for a while and then falling, and a clipping mark that
// stays lit for a while. It is fed the levels the capture device already
// measures for every block (the RMS sample value, see waveLevel); nothing
// here looks at samples.
//
// Levels are shown on the sine scale: a sine whose peaks touch full scale
// reads 0 dBFS, one at half the amplitude -6 dBFS. A block louder than any
// full-scale sine can be (a clipped, squared-off wave) lights the clipping
// mark.
//
// Main thread only (owned by the window's meter widget).
#pragma once

#include <array>
#include <cstdint>

namespace sonvale::app {

class LevelMeter {
public:
    static constexpr int kChannels = 2;
    static constexpr double kFloorDb = -60.0;
    // Above this the block cannot be an undistorted sine.
    static constexpr double kClipDb = 0.5;
    static constexpr int64_t kHoldMs = 1500;
    static constexpr int64_t kClipHoldMs = 2000;
    // How fast a held peak falls once its hold time is over.
    static constexpr double kFallDbPerSecond = 20.0;

    // dBFS of a measured level for samples of that many bits (8-bit samples
    // are measured on the 16-bit scale); kFloorDb for silence.
    static double levelToDb(uint32_t level, uint32_t bitsPerSample);

    // New measurements (channels beyond the first two are ignored; a mono
    // source shows the same level on both bars).
    void update(const uint32_t* levels, int channels, uint32_t bitsPerSample, int64_t nowMs);
    // Lets held peaks fall and marks go out as time passes.
    void advance(int64_t nowMs);
    // Back to silence (the source was closed).
    void reset();

    double levelDb(int channel) const { return ch_[channel].level; }
    double peakDb(int channel) const { return ch_[channel].peak; }
    bool clipped(int channel) const { return ch_[channel].clipUntil > now_; }
    // Time alone changes nothing shown: no held peak above its level, no
    // clipping mark lit.
    bool settled() const;

private:
    struct Channel {
        double level = kFloorDb;
        double peak = kFloorDb;
        int64_t peakAt = 0;
        int64_t clipUntil = 0;
    };
    std::array<Channel, kChannels> ch_{};
    int64_t now_ = 0;
};

} // namespace sonvale::app
