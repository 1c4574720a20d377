// An audio output for the player tests: plays every write at once (or holds
// it while paused), keeps what it played, and can fail on purpose. Told to
// gather, it holds writes back until a flush, resume or drain, as the sound
// server's output does; a drain that still finds them counts a late tail.
// Drains are counted.
#pragma once

#include "platform/audio/AudioOutput.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

struct FakeOutputLog {
    std::mutex lock;
    std::vector<uint8_t> played;
    WAVEFORMATEX format{};
    int opens = 0;
    int closes = 0;
    // Failure plan: refuse open; refuse writes once this many bytes went.
    bool failOpen = false;
    uint64_t failAfterBytes = UINT64_MAX;
    bool gather = false;
    int lateTails = 0;
    int drains = 0;
};

class FakeAudioOutput final : public AudioOutput {
public:
    explicit FakeAudioOutput(std::shared_ptr<FakeOutputLog> log) : log_(std::move(log)) {}

    MMRESULT open(const WAVEFORMATEX& format) override {
        std::lock_guard<std::mutex> g(log_->lock);
        if (log_->failOpen) {
            return MMR_ALLOCATED;
        }
        log_->format = format;
        ++log_->opens;
        open_ = true;
        return MMR_NOERROR;
    }
    MMRESULT write(const void* data, uint32_t bytes) override {
        std::lock_guard<std::mutex> g(log_->lock);
        if (!open_) {
            return MMR_INVALHANDLE;
        }
        if (total_ + bytes > log_->failAfterBytes) {
            return MMR_ERROR;
        }
        total_ += bytes;
        const auto* p = static_cast<const uint8_t*>(data);
        if (paused_ || log_->gather) {
            held_.insert(held_.end(), p, p + bytes);
        } else {
            log_->played.insert(log_->played.end(), p, p + bytes);
            played_ += bytes;
        }
        return MMR_NOERROR;
    }
    MMRESULT pause() override {
        paused_ = true;
        return MMR_NOERROR;
    }
    MMRESULT resume() override {
        std::lock_guard<std::mutex> g(log_->lock);
        paused_ = false;
        playHeld();
        return MMR_NOERROR;
    }
    MMRESULT flush() override {
        std::lock_guard<std::mutex> g(log_->lock);
        playHeld();
        return MMR_NOERROR;
    }
    MMRESULT drain() override {
        std::lock_guard<std::mutex> g(log_->lock);
        log_->lateTails += held_.empty() ? 0 : 1;
        ++log_->drains;
        playHeld();
        return MMR_NOERROR;
    }
    MMRESULT stop() override {
        std::lock_guard<std::mutex> g(log_->lock);
        held_.clear();
        played_ = 0;
        return MMR_NOERROR;
    }
    MMRESULT close() override {
        std::lock_guard<std::mutex> g(log_->lock);
        if (open_) {
            ++log_->closes;
        }
        open_ = false;
        return MMR_NOERROR;
    }
    uint64_t playedBytes() const override { return played_; }

private:
    void playHeld() {
        log_->played.insert(log_->played.end(), held_.begin(), held_.end());
        played_ += held_.size();
        held_.clear();
    }

    std::shared_ptr<FakeOutputLog> log_;
    bool open_ = false;
    std::atomic<bool> paused_{false};
    std::vector<uint8_t> held_;
    uint64_t total_ = 0;
    std::atomic<uint64_t> played_{0};
};
