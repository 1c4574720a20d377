// The capture thread and buffer queue with sources that fail on purpose.
#include "AudioTestSupport.h"

#include "platform/audio/WaveInDevice.h"

#include <atomic>
#include <cstring>
#include <thread>

namespace {

// Produces a counting byte pattern on demand; fails after `failAfter` bytes
// (negative read), or refuses to start.
class FakeSource : public CaptureSource {
public:
    FakeSource(uint64_t failAfter, MMRESULT startResult = MMR_NOERROR)
        : failAfter_(failAfter), startResult_(startResult) {}
    MMRESULT start() override { return startResult_; }
    void stop() override { ++stops; }
    long read(void* buffer, uint32_t maxBytes) override {
        if (produced_ >= failAfter_)
            return -1; // the device went away
        uint32_t n = uint32_t(std::min<uint64_t>(maxBytes, failAfter_ - produced_));
        n -= n % 4;
        auto* p = static_cast<uint8_t*>(buffer);
        for (uint32_t i = 0; i < n; ++i)
            p[i] = uint8_t(produced_ + i);
        produced_ += n;
        return long(n);
    }
    void wake() override {}
    bool paced() const override { return false; }
    bool readyNow(uint32_t) override { return ready; }
    std::atomic<int> stops{0};
    bool ready = false; // set before begin()

private:
    uint64_t failAfter_;
    uint64_t produced_ = 0;
    MMRESULT startResult_;
};

WAVEFORMATEX stereo16() {
    WAVEFORMATEX f;
    FillPcmFormat(f, 8000, 16, 2);
    return f;
}

TEST(WaveInDevice, ALostDeviceStopsCaptureAndResetReturnsTheRest) {
    SignalCounter signals;
    auto* raw = new FakeSource(1000);
    WaveInDevice dev(std::unique_ptr<CaptureSource>(raw), stereo16(), std::ref(signals), 800);
    dev.begin();
    std::vector<char> a(800), b(800), c(800);
    WAVEHDR h[3] = {};
    char* bufs[3] = {a.data(), b.data(), c.data()};
    for (int i = 0; i < 3; ++i) {
        h[i].lpData = bufs[i];
        h[i].dwBufferLength = 800;
        ASSERT_EQ(dev.prepare(&h[i]), MMR_NOERROR);
        ASSERT_EQ(dev.add(&h[i]), MMR_NOERROR);
    }
    ASSERT_EQ(dev.start(), MMR_NOERROR);
    ASSERT_TRUE(signals.waitFor(2)); // open + the first buffer
    // 1000 bytes came: one full buffer, 200 bytes in the second, then nothing.
    while (dev.stats().recordedBytes < 1000)
        std::this_thread::yield();
    EXPECT_EQ(h[0].dwBytesRecorded, 800u);
    EXPECT_FALSE(waveHeaderFlags(h[1]) & WHDR_DONE);
    ASSERT_EQ(dev.reset(), MMR_NOERROR);
    EXPECT_EQ(h[1].dwBytesRecorded, 200u);
    EXPECT_EQ(static_cast<uint8_t>(b[0]), uint8_t(800)); // the pattern runs on
    EXPECT_TRUE(waveHeaderFlags(h[2]) & WHDR_DONE);
    EXPECT_EQ(h[2].dwBytesRecorded, 0u);
    EXPECT_EQ(dev.finish(), MMR_NOERROR);
    EXPECT_GE(raw->stops.load(), 1);
}

TEST(WaveInDevice, AFailedStartIsReportedAndNothingIsRecorded) {
    WaveInDevice dev(std::make_unique<FakeSource>(1 << 20, MMR_ALLOCATED), stereo16(), {}, 800);
    dev.begin();
    std::vector<char> a(800);
    WAVEHDR h{};
    h.lpData = a.data();
    h.dwBufferLength = 800;
    ASSERT_EQ(dev.prepare(&h), MMR_NOERROR);
    ASSERT_EQ(dev.add(&h), MMR_NOERROR);
    EXPECT_EQ(dev.start(), MMR_ALLOCATED);
    EXPECT_EQ(dev.stats().recordedBytes, 0u);
    EXPECT_EQ(dev.finish(), MMR_STILLPLAYING);
    EXPECT_EQ(dev.reset(), MMR_NOERROR);
    EXPECT_EQ(dev.finish(), MMR_NOERROR);
    // After finishing, commands are refused instead of waiting on a thread
    // that is gone.
    EXPECT_EQ(dev.start(), MMR_INVALHANDLE);
}

TEST(WaveInDevice, HeadersSmallerThanABlockOrOddSizedFillInWholeBlocks) {
    SignalCounter signals;
    WaveInDevice dev(std::make_unique<FakeSource>(1 << 20), stereo16(), std::ref(signals), 800);
    dev.begin();
    char tiny[3], odd[10];
    WAVEHDR t{}, o{};
    t.lpData = tiny;
    t.dwBufferLength = sizeof tiny;
    o.lpData = odd;
    o.dwBufferLength = sizeof odd;
    ASSERT_EQ(dev.prepare(&t), MMR_NOERROR);
    ASSERT_EQ(dev.prepare(&o), MMR_NOERROR);
    ASSERT_EQ(dev.add(&t), MMR_NOERROR);
    ASSERT_EQ(dev.add(&o), MMR_NOERROR);
    ASSERT_EQ(dev.start(), MMR_NOERROR);
    while (!(waveHeaderFlags(o) & WHDR_DONE))
        ASSERT_TRUE(signals.waitFor(signals.count() + 1));
    EXPECT_EQ(t.dwBytesRecorded, 0u); // cannot hold one 4-byte frame
    EXPECT_EQ(o.dwBytesRecorded, 8u); // two frames, never half a frame
    EXPECT_EQ(dev.reset(), MMR_NOERROR);
    EXPECT_EQ(dev.finish(), MMR_NOERROR);
}

TEST(WaveInDevice, ABurstFilledAtOnceIsSignalledEveryFourHeadersAndAtItsEnd) {
    SignalCounter signals;
    auto* raw = new FakeSource(1 << 20);
    raw->ready = true; // every header's bytes are there at once
    WaveInDevice dev(std::unique_ptr<CaptureSource>(raw), stereo16(), std::ref(signals), 800);
    dev.begin();
    std::vector<std::vector<char>> data(10, std::vector<char>(800));
    std::vector<WAVEHDR> h(10);
    for (size_t i = 0; i < h.size(); ++i) {
        h[i] = WAVEHDR{};
        h[i].lpData = data[i].data();
        h[i].dwBufferLength = 800;
        ASSERT_EQ(dev.prepare(&h[i]), MMR_NOERROR);
        ASSERT_EQ(dev.add(&h[i]), MMR_NOERROR);
    }
    ASSERT_EQ(dev.start(), MMR_NOERROR);
    // Open, after headers 4 and 8, and when the queue ran dry after 10:
    // the last completion is never left unsignalled.
    ASSERT_TRUE(signals.waitFor(4));
    for (auto& x : h) {
        EXPECT_TRUE(waveHeaderFlags(x) & WHDR_DONE);
        EXPECT_EQ(x.dwBytesRecorded, 800u);
    }
    EXPECT_EQ(static_cast<uint8_t>(data[9][0]), uint8_t(9 * 800));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(signals.count(), 4);
    EXPECT_EQ(dev.finish(), MMR_NOERROR);
    EXPECT_EQ(signals.count(), 5);
}

TEST(WaveInDevice, DestroyingAnOpenDeviceEndsItsThread) {
    auto dev = std::make_unique<WaveInDevice>(std::make_unique<FakeSource>(1 << 20), stereo16(),
                                              WaveInSignal{}, 800);
    dev->begin();
    ASSERT_EQ(dev->start(), MMR_NOERROR);
    dev.reset(); // joins without hanging
}

} // namespace
