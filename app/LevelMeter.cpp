#include "app/LevelMeter.h"

#include <algorithm>
#include <cmath>

namespace sonvale::app {

double LevelMeter::levelToDb(uint32_t level, uint32_t bitsPerSample) {
    if (level == 0)
        return kFloorDb;
    const uint32_t bits = bitsPerSample <= 16 ? 16 : std::min<uint32_t>(bitsPerSample, 32);
    const double fullScale = std::ldexp(1.0, int(bits) - 1);
    // The RMS of a full-scale sine is full scale / sqrt(2).
    const double db = 20.0 * std::log10(double(level) * std::sqrt(2.0) / fullScale);
    return std::max(db, kFloorDb);
}

void LevelMeter::update(const uint32_t* levels, int channels, uint32_t bitsPerSample,
                        int64_t nowMs) {
    advance(nowMs);
    if (channels <= 0)
        return;
    for (int c = 0; c < kChannels; ++c) {
        Channel& ch = ch_[c];
        ch.level = levelToDb(levels[std::min(c, channels - 1)], bitsPerSample);
        if (ch.level >= ch.peak) {
            ch.peak = ch.level;
            ch.peakAt = nowMs;
        }
        if (ch.level > kClipDb)
            ch.clipUntil = nowMs + kClipHoldMs;
    }
}

void LevelMeter::advance(int64_t nowMs) {
    const int64_t step = std::max<int64_t>(0, nowMs - now_);
    now_ = nowMs;
    for (Channel& ch : ch_) {
        const int64_t over = nowMs - (ch.peakAt + kHoldMs);
        if (over > 0) {
            ch.peak = std::max(ch.level,
                               ch.peak - kFallDbPerSecond * double(std::min(step, over)) / 1000.0);
        }
    }
}

bool LevelMeter::settled() const {
    return std::all_of(ch_.begin(), ch_.end(), [this](const Channel& ch) {
        return ch.peak <= ch.level && ch.clipUntil <= now_;
    });
}

void LevelMeter::reset() {
    ch_ = {};
}

} // namespace sonvale::app
