// The capture thread and buffer queue with sources that fail on purpose.
#include "AudioTestSupport.h"

#include "platform/audio/WaveInDevice.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
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
    bool keepsUnread() const override { return true; }
    bool readyNow(uint32_t) override { return ready; }
    std::atomic<int> stops{0};
    bool ready = false; // set before begin()

private:
    uint64_t failAfter_;
    uint64_t produced_ = 0;
    MMRESULT startResult_;
};

// A device with a ring buffer of `capacity` bytes that the test fills
// (feed), as a sound card fills its buffer whether or not anyone reads. A
// feed that does not fit is an overrun: the buffer is emptied, and the next
// read counts and reports it, as ALSA does.
class BufferedSource : public CaptureSource {
public:
    explicit BufferedSource(size_t capacity) : capacity_(capacity) {}
    MMRESULT start() override { return MMR_NOERROR; }
    void stop() override {}
    long read(void* buffer, uint32_t maxBytes) override {
        std::unique_lock lock(m_);
        cv_.wait(lock, [&] { return woken_ || xrun_ || held_.size() >= maxBytes; });
        woken_ = false;
        if (xrun_) {
            xrun_ = false;
            ++overruns_;
        }
        const size_t n = std::min<size_t>(maxBytes, held_.size());
        std::copy_n(held_.begin(), n, static_cast<uint8_t*>(buffer));
        held_.erase(held_.begin(), held_.begin() + long(n));
        return long(n);
    }
    void wake() override {
        std::lock_guard lock(m_);
        woken_ = true;
        cv_.notify_all();
    }
    bool keepsUnread() const override { return true; }
    uint32_t overruns() const override { return overruns_; }

    // Test thread: the device captures `n` more bytes of a counting pattern.
    void feed(size_t n) {
        std::lock_guard lock(m_);
        for (size_t i = 0; i < n; ++i)
            held_.push_back(uint8_t(fed_++));
        if (held_.size() > capacity_) {
            held_.clear();
            xrun_ = true;
        }
        cv_.notify_all();
    }

private:
    const size_t capacity_;
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<uint8_t> held_; // guarded by m_
    uint64_t fed_ = 0;          // guarded by m_
    bool woken_ = false, xrun_ = false;
    uint32_t overruns_ = 0; // capture thread
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

TEST(WaveInDevice, ABurstFilledAtOnceWakesTheOwnerOnceHalfIsDoneAndAtItsEnd) {
    SignalCounter signals;
    std::vector<WAVEHDR> h(10);
    std::mutex m;
    std::vector<int> doneWhenSignalled; // guarded by m
    auto signal = [&] {
        int done = 0;
        for (const WAVEHDR& x : h)
            done += (waveHeaderFlags(x) & WHDR_DONE) ? 1 : 0;
        {
            std::lock_guard lock(m);
            doneWhenSignalled.push_back(done);
        }
        signals();
    };
    auto* raw = new FakeSource(1 << 20);
    raw->ready = true; // every header's bytes are there at once
    WaveInDevice dev(std::unique_ptr<CaptureSource>(raw), stereo16(), signal, 800);
    dev.begin();
    std::vector<std::vector<char>> data(10, std::vector<char>(800));
    for (size_t i = 0; i < h.size(); ++i) {
        h[i].lpData = data[i].data();
        h[i].dwBufferLength = 800;
        ASSERT_EQ(dev.prepare(&h[i]), MMR_NOERROR);
        ASSERT_EQ(dev.add(&h[i]), MMR_NOERROR);
    }
    ASSERT_EQ(dev.start(), MMR_NOERROR);
    // Open; once as many are done as still queued (5); once four more wait
    // (9); and when the queue ran dry: the last completion is never left
    // unsignalled.
    ASSERT_TRUE(signals.waitFor(4));
    for (auto& x : h) {
        EXPECT_TRUE(waveHeaderFlags(x) & WHDR_DONE);
        EXPECT_EQ(x.dwBytesRecorded, 800u);
    }
    EXPECT_EQ(static_cast<uint8_t>(data[9][0]), uint8_t(9 * 800));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    {
        std::lock_guard lock(m);
        EXPECT_EQ(doneWhenSignalled, (std::vector<int>{0, 5, 9, 10}));
    }
    EXPECT_EQ(dev.finish(), MMR_NOERROR);
    EXPECT_EQ(signals.count(), 5);
}

TEST(WaveInDevice, AnOwnerLateWithinTheDeviceBufferLosesNothingAndBeyondItAnOverrunIsCounted) {
    SignalCounter signals;
    auto* raw = new BufferedSource(3200);
    WaveInDevice dev(std::unique_ptr<CaptureSource>(raw), stereo16(), std::ref(signals), 800);
    dev.begin();
    std::vector<std::vector<char>> data(5, std::vector<char>(800));
    std::vector<WAVEHDR> h(5);
    for (size_t i = 0; i < h.size(); ++i) {
        h[i] = WAVEHDR{};
        h[i].lpData = data[i].data();
        h[i].dwBufferLength = 800;
        ASSERT_EQ(dev.prepare(&h[i]), MMR_NOERROR);
    }
    ASSERT_EQ(dev.add(&h[0]), MMR_NOERROR);
    ASSERT_EQ(dev.start(), MMR_NOERROR);
    raw->feed(800);
    ASSERT_TRUE(signals.waitFor(2));
    ASSERT_TRUE(waveHeaderFlags(h[0]) & WHDR_DONE);
    // No header queued: three headers' worth waits in the device meanwhile,
    // untouched by the capture thread, and reaches the headers queued late.
    raw->feed(2400);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    for (int i = 1; i <= 3; ++i)
        ASSERT_EQ(dev.add(&h[size_t(i)]), MMR_NOERROR);
    while (!(waveHeaderFlags(h[3]) & WHDR_DONE))
        ASSERT_TRUE(signals.waitFor(signals.count() + 1));
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(h[size_t(i)].dwBytesRecorded, 800u);
        EXPECT_EQ(uint8_t(data[size_t(i)][0]), uint8_t(i * 800));
        EXPECT_EQ(uint8_t(data[size_t(i)][799]), uint8_t(i * 800 + 799));
    }
    EXPECT_EQ(dev.stats().droppedBytes, 0u);
    EXPECT_EQ(dev.stats().overruns, 0u);
    // Later than the device's buffer holds: the sound is lost in the device
    // and shows as an overrun once a header comes; capture then goes on.
    raw->feed(4000);
    ASSERT_EQ(dev.add(&h[4]), MMR_NOERROR);
    raw->feed(800);
    while (!(waveHeaderFlags(h[4]) & WHDR_DONE))
        ASSERT_TRUE(signals.waitFor(signals.count() + 1));
    EXPECT_EQ(h[4].dwBytesRecorded, 800u);
    EXPECT_EQ(uint8_t(data[4][0]), uint8_t(3200 + 4000));
    EXPECT_EQ(dev.stats().overruns, 1u);
    EXPECT_EQ(dev.stats().recordedBytes, 4000u);
    EXPECT_EQ(dev.finish(), MMR_NOERROR);
}

TEST(WaveInDevice, DestroyingAnOpenDeviceEndsItsThread) {
    auto dev = std::make_unique<WaveInDevice>(std::make_unique<FakeSource>(1 << 20), stereo16(),
                                              WaveInSignal{}, 800);
    dev->begin();
    ASSERT_EQ(dev->start(), MMR_NOERROR);
    dev.reset(); // joins without hanging
}

} // namespace
