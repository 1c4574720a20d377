// The encoder framework and its lazy-write thread, driven through a fake
// encoder that "encodes" by copying its input, so the delivered bytes can be
// compared with what was queued.
#include "encode/unaEncoder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

struct FakeConfig {
    uint32_t chunkSize = 1000;
    uint32_t outBufSize = 1000;
    int32_t result = 0;
};

const uint8_t kFinal[4] = {'E', 'N', 'D', '!'};

class CopyEncoder : public unaAbstractEncoder {
public:
    ~CopyEncoder() override { close(); }

    // What happened, in order: 'E' + size for each encode, 'C' for a close.
    std::vector<std::pair<char, uint32_t>> calls() {
        std::lock_guard<std::mutex> g(lock_);
        return calls_;
    }
    int encodes() {
        std::lock_guard<std::mutex> g(lock_);
        int n = 0;
        for (auto& c : calls_)
            n += c.first == 'E';
        return n;
    }

    std::atomic<int> overlaps{0};
    std::atomic<uint32_t> encodeDelayMs{0};
    std::atomic<int> failEncodeCall{0}; // 1-based call number that fails
    std::atomic<int> throwOnEncodeCall{0};
    std::atomic<int32_t> closeResult{0};

protected:
    int32_t doSetConfig(const void* config) override {
        const auto* c = static_cast<const FakeConfig*>(config);
        if (c->result == 0) {
            chunkSize_ = c->chunkSize;
            outBufSize_ = c->outBufSize;
        }
        return c->result;
    }
    int32_t doOpen() override { return 0; }
    int32_t doClose() override {
        Inside in(*this);
        record('C', 0);
        if (closeResult)
            return closeResult;
        std::memcpy(outBuf(), kFinal, sizeof kFinal);
        encodedBytes_ = sizeof kFinal;
        return 0;
    }
    int32_t doEncode(const void* block, uint32_t size) override {
        Inside in(*this);
        const int call = record('E', size);
        if (encodeDelayMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(encodeDelayMs.load()));
        if (call == throwOnEncodeCall)
            throw std::runtime_error("encoder broke");
        if (call == failEncodeCall)
            return 77;
        std::memcpy(outBuf(), block, size);
        encodedBytes_ = size;
        return 0;
    }

private:
    struct Inside {
        explicit Inside(CopyEncoder& e) : e(e) {
            if (e.inside_.fetch_add(1) != 0)
                e.overlaps.fetch_add(1);
        }
        ~Inside() { e.inside_.fetch_sub(1); }
        CopyEncoder& e;
    };
    int record(char what, uint32_t size) {
        std::lock_guard<std::mutex> g(lock_);
        calls_.emplace_back(what, size);
        int n = 0;
        for (auto& c : calls_)
            n += c.first == what;
        return n;
    }
    std::mutex lock_;
    std::vector<std::pair<char, uint32_t>> calls_;
    std::atomic<int> inside_{0};
};

// Collects what the handler receives, on whichever thread it runs.
struct Sink {
    std::mutex lock;
    std::vector<uint8_t> bytes;
    int calls = 0;
    bool keepInStream = false;
    void attach(unaAbstractEncoder& e) {
        e.onDataAvailable = [this](unaAbstractEncoder*, const void* data, uint32_t size,
                                   bool& copy) {
            EXPECT_FALSE(copy); // preset false
            std::lock_guard<std::mutex> g(lock);
            const auto* p = static_cast<const uint8_t*>(data);
            bytes.insert(bytes.end(), p, p + size);
            ++calls;
            copy = keepInStream;
        };
    }
    std::vector<uint8_t> get() {
        std::lock_guard<std::mutex> g(lock);
        return bytes;
    }
};

std::vector<uint8_t> pattern(size_t n, uint8_t seed = 0) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(i * 7 + seed);
    return v;
}

std::vector<uint8_t> withFinal(std::vector<uint8_t> v) {
    v.insert(v.end(), std::begin(kFinal), std::end(kFinal));
    return v;
}

std::vector<uint8_t> streamBytes(unaMemoryStream& s) {
    std::vector<uint8_t> v(size_t(s.getSize()));
    s.read(v.data(), uint32_t(v.size()), false);
    return v;
}

// Waits (up to 10 s, for slow sanitizer runs) until cond holds.
template <class F> bool eventually(F cond) {
    for (int i = 0; i < 2000; ++i) {
        if (cond())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return cond();
}

TEST(Encoder, OpenBeforeSetConfigIsRefused) {
    CopyEncoder e;
    EXPECT_EQ(e.open(), encErrNotConfigured);
    EXPECT_EQ(e.lastError(), encErrNotConfigured);
    EXPECT_FALSE(e.active());
    EXPECT_EQ(e.writer().status(), unaThread::unatsStopped);

    FakeConfig bad;
    bad.result = 5;
    EXPECT_EQ(e.setConfig(&bad), 5);
    EXPECT_FALSE(e.configOK());
    EXPECT_EQ(e.open(), encErrNotConfigured);
}

TEST(Encoder, FullChunksWhileRecordingRemainderAndFinalBytesAtClose) {
    Sink sink; // outlives the encoder, whose destructor may still deliver
    CopyEncoder e;
    sink.attach(e);
    FakeConfig cfg;
    ASSERT_EQ(e.setConfig(&cfg), 0);
    EXPECT_EQ(e.chunkSize(), 1000u);
    ASSERT_EQ(e.open(), 0);
    EXPECT_EQ(e.open(), 0); // already open: nothing changes

    const std::vector<uint8_t> pcm = pattern(2500);
    e.lazyWrite(pcm.data(), 700);
    e.lazyWrite(pcm.data() + 700, 1100);
    e.lazyWrite(pcm.data() + 1800, 700);
    ASSERT_TRUE(eventually([&] { return e.encodes() == 2; }));
    // The half chunk waits for the close.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(e.encodes(), 2);
    EXPECT_EQ(e.writer().queuedBytes(), 500u);

    EXPECT_EQ(e.close(), 0);
    const auto calls = e.calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0], std::make_pair('E', 1000u));
    EXPECT_EQ(calls[1], std::make_pair('E', 1000u));
    EXPECT_EQ(calls[2], std::make_pair('E', 500u));
    EXPECT_EQ(calls[3], std::make_pair('C', 0u));
    EXPECT_EQ(sink.get(), withFinal(pcm));
    EXPECT_EQ(e.totalEncoded(), 2504u);
    EXPECT_EQ(e.outStream().getSize(), 0); // the handler kept copyToStream false
    EXPECT_FALSE(e.configOK());
    EXPECT_FALSE(e.active());
    EXPECT_EQ(e.writer().status(), unaThread::unatsStopped);
    EXPECT_EQ(e.overlaps, 0);
}

TEST(Encoder, OutputGoesToOutStreamWithoutHandlerOrWhenHandlerAsks) {
    const std::vector<uint8_t> pcm = pattern(3001);
    for (int withHandler = 0; withHandler < 2; ++withHandler) {
        SCOPED_TRACE(withHandler);
        Sink sink;
        CopyEncoder e;
        sink.keepInStream = true;
        if (withHandler)
            sink.attach(e);
        FakeConfig cfg;
        ASSERT_EQ(e.setConfig(&cfg), 0);
        ASSERT_EQ(e.open(), 0);
        e.lazyWrite(pcm.data(), uint32_t(pcm.size()));
        ASSERT_EQ(e.close(), 0);
        // The odd last byte is never encoded.
        const std::vector<uint8_t> expected =
            withFinal(std::vector<uint8_t>(pcm.begin(), pcm.end() - 1));
        EXPECT_EQ(streamBytes(e.outStream()), expected);
        EXPECT_EQ(sink.get(), withHandler ? expected : std::vector<uint8_t>{});
        EXPECT_EQ(e.totalEncoded(), expected.size());

        // The next recording starts with an empty outStream and count.
        ASSERT_EQ(e.setConfig(&cfg), 0);
        ASSERT_EQ(e.open(), 0);
        EXPECT_EQ(e.outStream().getSize(), 0);
        EXPECT_EQ(e.totalEncoded(), 0u);
    }
}

TEST(Encoder, SetConfigDuringRecordingFinishesItFirst) {
    Sink sink;
    CopyEncoder e;
    sink.attach(e);
    FakeConfig cfg;
    ASSERT_EQ(e.setConfig(&cfg), 0);
    ASSERT_EQ(e.open(), 0);
    const std::vector<uint8_t> pcm = pattern(1500);
    e.lazyWrite(pcm.data(), uint32_t(pcm.size()));

    FakeConfig bigger;
    bigger.chunkSize = 4000;
    bigger.outBufSize = 4000;
    ASSERT_EQ(e.setConfig(&bigger), 0);
    EXPECT_EQ(sink.get(), withFinal(pcm));
    EXPECT_TRUE(e.configOK());
    EXPECT_FALSE(e.active());
    EXPECT_EQ(e.chunkSize(), 4000u);
    EXPECT_EQ(e.outBufSize(), 4000u);

    // The grown buffer takes the new chunk size whole.
    ASSERT_EQ(e.open(), 0);
    const std::vector<uint8_t> more = pattern(4000, 3);
    e.lazyWrite(more.data(), uint32_t(more.size()));
    ASSERT_TRUE(eventually([&] { return e.encodes() == 3; }));
    EXPECT_EQ(e.close(), 0);
    auto got = sink.get();
    EXPECT_TRUE(std::equal(more.begin(), more.end(), got.begin() + long(pcm.size() + 4)));
}

TEST(Encoder, CloseOnIdleEncoderChangesNothing) {
    CopyEncoder e;
    EXPECT_EQ(e.close(), 0);
    EXPECT_TRUE(e.calls().empty());
    EXPECT_EQ(e.lastError(), 0);

    // Configured but never opened: the library stream is ended, the writer
    // was never needed.
    FakeConfig cfg;
    ASSERT_EQ(e.setConfig(&cfg), 0);
    EXPECT_EQ(e.close(), 0);
    EXPECT_EQ(e.calls().size(), 1u);
    EXPECT_EQ(e.close(), 0);
    EXPECT_EQ(e.calls().size(), 1u);
}

TEST(Encoder, StopWakesAnIdleWriterAndCloseStillDeliversEverything) {
    // The writer waits for data without a time-out; stop must wake it. What
    // was queued after it stopped is encoded by close itself.
    Sink sink;
    CopyEncoder e;
    sink.attach(e);
    FakeConfig cfg;
    ASSERT_EQ(e.setConfig(&cfg), 0);
    ASSERT_EQ(e.open(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // let it fall asleep
    EXPECT_TRUE(e.writer().stop(5000));
    const std::vector<uint8_t> pcm = pattern(2500);
    e.lazyWrite(pcm.data(), uint32_t(pcm.size()));
    EXPECT_EQ(e.close(), 0);
    EXPECT_EQ(sink.get(), withFinal(pcm));
}

TEST(Encoder, NullAndEmptyBlocksQueueNothing) {
    CopyEncoder e;
    FakeConfig cfg;
    ASSERT_EQ(e.setConfig(&cfg), 0);
    ASSERT_EQ(e.open(), 0);
    const std::vector<uint8_t> pcm = pattern(10);
    e.lazyWrite(nullptr, 100);
    e.lazyWrite(pcm.data(), 0);
    EXPECT_EQ(e.writer().queuedBytes(), 0u);
    EXPECT_EQ(e.close(), 0);
    ASSERT_EQ(e.calls().size(), 1u); // only the end of the stream
    EXPECT_EQ(e.totalEncoded(), 4u);
}

TEST(Encoder, CloseWaitsForTheEncodeStepStillRunning) {
    // Each chunk takes longer to encode than close waits between looks at
    // the queue, so close finds the queue empty while the last chunk is
    // still being encoded; it must not end the stream under it.
    Sink sink;
    CopyEncoder e;
    sink.attach(e);
    e.encodeDelayMs = 150;
    FakeConfig cfg;
    ASSERT_EQ(e.setConfig(&cfg), 0);
    ASSERT_EQ(e.open(), 0);
    const std::vector<uint8_t> pcm = pattern(3000);
    e.lazyWrite(pcm.data(), uint32_t(pcm.size()));
    EXPECT_EQ(e.close(), 0);
    EXPECT_EQ(e.overlaps, 0);
    const auto calls = e.calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls.back().first, 'C');
    EXPECT_EQ(sink.get(), withFinal(pcm));
}

TEST(Encoder, WriterThatEndedEarlyDoesNotHangCloseAndNothingIsLost) {
    Sink sink;
    CopyEncoder e;
    sink.attach(e);
    e.throwOnEncodeCall = 1; // the writer thread ends on its first step
    FakeConfig cfg;
    ASSERT_EQ(e.setConfig(&cfg), 0);
    ASSERT_EQ(e.open(), 0);
    const std::vector<uint8_t> pcm = pattern(1000);
    e.lazyWrite(pcm.data(), uint32_t(pcm.size()));
    ASSERT_TRUE(eventually([&] { return e.writer().status() == unaThread::unatsStopped; }));
    EXPECT_EQ(e.writer().exitCode(), -1);

    const std::vector<uint8_t> rest = pattern(2500, 9);
    e.lazyWrite(rest.data(), uint32_t(rest.size()));
    EXPECT_EQ(e.close(), 0); // encodes the queue on this thread instead of waiting
    EXPECT_EQ(sink.get(), withFinal(rest));
    EXPECT_EQ(e.writer().queuedBytes(), 0u);
    EXPECT_EQ(e.overlaps, 0);
}

TEST(Encoder, FailingEncodeLosesOnlyThatBlock) {
    Sink sink;
    CopyEncoder e;
    sink.attach(e);
    e.failEncodeCall = 2;
    FakeConfig cfg;
    ASSERT_EQ(e.setConfig(&cfg), 0);
    ASSERT_EQ(e.open(), 0);
    const std::vector<uint8_t> pcm = pattern(3000);
    e.lazyWrite(pcm.data(), uint32_t(pcm.size()));
    EXPECT_EQ(e.close(), 0);
    std::vector<uint8_t> expected(pcm.begin(), pcm.begin() + 1000);
    expected.insert(expected.end(), pcm.begin() + 2000, pcm.end());
    EXPECT_EQ(sink.get(), withFinal(expected));
    EXPECT_EQ(e.totalEncoded(), 2004u);
}

TEST(Encoder, FailingCloseReportsItsCodeAndDeliversNothingMore) {
    Sink sink;
    CopyEncoder e;
    sink.attach(e);
    e.closeResult = 0x1234;
    FakeConfig cfg;
    ASSERT_EQ(e.setConfig(&cfg), 0);
    ASSERT_EQ(e.open(), 0);
    const std::vector<uint8_t> pcm = pattern(1200);
    e.lazyWrite(pcm.data(), uint32_t(pcm.size()));
    EXPECT_EQ(e.close(), 0x1234);
    EXPECT_EQ(e.lastError(), 0x1234);
    EXPECT_EQ(sink.get(), pcm); // the queue was drained, no final bytes
    EXPECT_FALSE(e.configOK());
    EXPECT_FALSE(e.active());
    EXPECT_EQ(e.open(), encErrNotConfigured);
}

TEST(Encoder, NextRecordingDoesNotInheritLeftoverBytes) {
    Sink sink;
    CopyEncoder e;
    sink.attach(e);
    FakeConfig cfg;
    ASSERT_EQ(e.setConfig(&cfg), 0);
    ASSERT_EQ(e.open(), 0);
    const std::vector<uint8_t> first = pattern(2001);
    e.lazyWrite(first.data(), uint32_t(first.size()));
    ASSERT_EQ(e.close(), 0);
    EXPECT_EQ(e.writer().queuedBytes(), 1u); // the lone odd byte
    e.lazyWrite(first.data(), 10);           // a block that came after the stop

    ASSERT_EQ(e.setConfig(&cfg), 0);
    ASSERT_EQ(e.open(), 0);
    EXPECT_EQ(e.writer().queuedBytes(), 0u);
    sink.bytes.clear();
    const std::vector<uint8_t> second = pattern(2000, 5);
    e.lazyWrite(second.data(), uint32_t(second.size()));
    ASSERT_EQ(e.close(), 0);
    EXPECT_EQ(sink.get(), withFinal(second)); // sample-aligned, nothing of the first
}

TEST(Encoder, QueueFedFromAnotherThreadArrivesWholeAndInOrder) {
    Sink sink;
    CopyEncoder e;
    sink.attach(e);
    FakeConfig cfg;
    cfg.chunkSize = 4608;
    cfg.outBufSize = 4608;
    ASSERT_EQ(e.setConfig(&cfg), 0);
    ASSERT_EQ(e.open(), 0);
    const std::vector<uint8_t> pcm = pattern(17640 * 40);
    std::thread capture([&] {
        for (size_t pos = 0; pos < pcm.size(); pos += 17640)
            e.lazyWrite(pcm.data() + pos, 17640);
    });
    capture.join();
    ASSERT_EQ(e.close(), 0);
    EXPECT_EQ(sink.get(), withFinal(pcm));
    EXPECT_EQ(e.overlaps, 0);
}

} // namespace
