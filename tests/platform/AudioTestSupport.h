// Helpers shared by the audio service tests: a fixture that puts the virtual
// card in place, a waitable counter for device signals, capture buffers and a
// whole recording from a device, and signal analysis. Test thread only; the
// counter is also called from the device's thread.
#pragma once

#include "platform/audio/AudioBackend.h"
#include "platform/audio/VirtualCard.h"
#include "platform/audio/WaveIn.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Selects the virtual card in its default configuration at `speed` (playback
// and capture paced at that many times real time).
inline void useVirtualCard(double speed) {
    setAudioBackend(AudioBackend::Virtual);
    VirtualCardConfig config;
    config.speed = speed;
    ASSERT_TRUE(VirtualCard::instance().configure(config));
}

// Selects the virtual card with a fresh configuration for every test.
class VirtualCardTest : public ::testing::Test {
protected:
    void SetUp() override {
        setAudioBackend(AudioBackend::Virtual);
        configure(0.0);
    }
    void TearDown() override { setAudioBackend(AudioBackend::Virtual); }

    static void configure(double speed, bool hasMux = true, int devices = 1) {
        VirtualCardConfig c;
        c.devices.assign(size_t(devices), VirtualDeviceConfig{});
        for (auto& d : c.devices)
            d.hasMux = hasMux;
        c.speed = speed;
        ASSERT_TRUE(VirtualCard::instance().configure(c));
    }
};

// Polls pred every 5 ms until it holds or a generous limit (a failure, not a
// timing assertion) passes.
inline bool waitFor(const std::function<bool()>& pred,
                    std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Counts signals; wait() returns once the count reaches a value or a generous
// time-out (a failure, not a timing assertion) passes.
class SignalCounter {
public:
    void operator()() {
        std::lock_guard lock(m_);
        ++count_;
        cv_.notify_all();
    }
    bool waitFor(int count, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        std::unique_lock lock(m_);
        return cv_.wait_for(lock, limit, [&] { return count_ >= count; });
    }
    int count() {
        std::lock_guard lock(m_);
        return count_;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    int count_ = 0;
};

// Headers with their buffers, owned by the test as the capture layer would.
struct CaptureBuffers {
    CaptureBuffers(size_t count, uint32_t size) : data(count), headers(count) {
        for (size_t i = 0; i < count; ++i) {
            data[i].assign(size, 0xEE);
            headers[i] = WAVEHDR{};
            headers[i].lpData = reinterpret_cast<char*>(data[i].data());
            headers[i].dwBufferLength = size;
        }
    }
    void queue(HWAVEIN h) {
        for (auto& hdr : headers) {
            ASSERT_EQ(waveInPrepareHeader(h, &hdr, sizeof hdr), MMR_NOERROR);
            ASSERT_EQ(waveInAddBuffer(h, &hdr, sizeof hdr), MMR_NOERROR);
        }
    }
    bool done(size_t i) const { return waveHeaderFlags(headers[i]) & WHDR_DONE; }
    // What the device recorded into the buffers, in queue order.
    std::vector<uint8_t> recorded() const {
        std::vector<uint8_t> all;
        for (size_t i = 0; i < data.size(); ++i)
            all.insert(all.end(), data[i].begin(), data[i].begin() + headers[i].dwBytesRecorded);
        return all;
    }
    std::vector<std::vector<uint8_t>> data;
    std::vector<WAVEHDR> headers;
};

// Records `count` buffers of `size` bytes from a device (or WAVE_MAPPER) and
// returns their bytes; a capture that stalls is a failure, not a hang.
inline std::vector<uint8_t> recordBuffers(int device, const WAVEFORMATEX& f, size_t count,
                                          uint32_t size) {
    SignalCounter counter;
    HWAVEIN h = nullptr;
    EXPECT_EQ(waveInOpen(&h, device, &f, std::ref(counter), CALLBACK_EVENT), MMR_NOERROR);
    if (!h)
        return {};
    CaptureBuffers b(count, size);
    b.queue(h);
    EXPECT_EQ(waveInStart(h), MMR_NOERROR);
    for (int n = 2; !b.done(count - 1); ++n) {
        if (!counter.waitFor(n)) {
            ADD_FAILURE() << "capture did not complete";
            break;
        }
    }
    EXPECT_EQ(waveInReset(h), MMR_NOERROR);
    EXPECT_EQ(waveInClose(h), MMR_NOERROR);
    return b.recorded();
}

// Samples of one channel of interleaved 16-bit PCM.
inline std::vector<double> channelOf(const uint8_t* data, size_t bytes, int channels, int channel) {
    std::vector<double> out;
    for (size_t off = size_t(channel) * 2; off + 1 < bytes; off += size_t(channels) * 2)
        out.push_back(int16_t(data[off] | data[off + 1] << 8) / 32768.0);
    return out;
}

// Frequency from the rising zero crossings (exact enough for pure tones).
inline double measureFrequency(const std::vector<double>& s, uint32_t rate) {
    int first = -1, last = -1, crossings = 0;
    for (size_t i = 1; i < s.size(); ++i) {
        if (s[i - 1] < 0 && s[i] >= 0) {
            if (first < 0)
                first = int(i);
            last = int(i);
            ++crossings;
        }
    }
    if (crossings < 2)
        return 0;
    return double(crossings - 1) * rate / double(last - first);
}

inline double rms(const std::vector<double>& s) {
    double sum = 0;
    for (double v : s)
        sum += v * v;
    return s.empty() ? 0 : std::sqrt(sum / double(s.size()));
}
