// Stream devices: chunk sizes, open/close, delivery and overflow limits,
// volume and silence suppression, result texts, and the wave-in device on the
// virtual card.
#include "CaptureTestHelpers.h"

#include "capture/unaWaveDevice.h"
#include "core/unaUtils.h"
#include "platform/audio/MMTimer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using namespace capture_test;

namespace {

// A software device whose buffer loop does nothing, with hooks opened up.
class TestSoftwareDevice : public unaWaveSoftwareDevice {
public:
    using unaWaveSoftwareDevice::unaWaveSoftwareDevice;
    ~TestSoftwareDevice() override { shutdown(); }
    bool check(const void* data, uint32_t length) { return checkChunk(data, length); }

protected:
    bool handleHeader(unaMsAcmDeviceHeader*) override { return false; }
};

class TestWaveIn : public unaWaveInDevice {
public:
    using unaWaveInDevice::unaWaveInDevice;
    bool check(const void* data, uint32_t length) { return checkChunk(data, length); }
};

// Interleaved 16-bit stereo of constant amplitudes per channel.
Bytes stereo16(int16_t left, int16_t right, uint32_t frames) {
    Bytes b(frames * 4);
    for (uint32_t i = 0; i < frames; ++i) {
        const int16_t l = (i & 1) ? left : int16_t(-left);
        const int16_t r = (i & 1) ? right : int16_t(-right);
        std::memcpy(&b[i * 4], &l, 2);
        std::memcpy(&b[i * 4 + 2], &r, 2);
    }
    return b;
}

} // namespace

TEST(StreamDeviceTest, ChunkSizeFollowsThePrimaryFormat) {
    unaWaveInDevice in;
    struct Case {
        uint32_t rate;
        uint16_t bits, channels;
        uint32_t chunk, perSecond;
    } cases[] = {{44100, 16, 2, 17640, 10},
                 {11025, 8, 1, 2205, 5},
                 {11025, 16, 2, 4412, 10},
                 {22050, 16, 2, 8820, 10},
                 {11025, 16, 1, 2206, 10}};
    for (const Case& c : cases) {
        ASSERT_TRUE(in.setPcmFormat(c.rate, c.bits, c.channels));
        EXPECT_EQ(in.chunkSize(), c.chunk) << c.rate << "/" << c.bits << "/" << c.channels;
        EXPECT_EQ(in.chunksPerSecond(), c.perSecond);
    }
    // The wave-in device's primary side is its destination: a source format
    // leaves the chunk size alone.
    WAVEFORMATEX other = pcm(8000, 8, 1);
    ASSERT_TRUE(in.setFormatRecord(true, &other));
    EXPECT_EQ(in.chunkSize(), 2206u);

    // Block align 0 rounds to 512 bytes; rate 0 counts as 1000 Hz.
    WAVEFORMATEX noAlign = pcm(8000, 16, 1);
    noAlign.nBlockAlign = 0;
    ASSERT_TRUE(in.setFormatRecord(false, &noAlign));
    EXPECT_EQ(in.chunkSize(), 2048u);
    WAVEFORMATEX zeroRate = pcm(0, 16, 1);
    ASSERT_TRUE(in.setFormatRecord(false, &zeroRate));
    EXPECT_EQ(in.chunkSize(), 200u);

    // A compressed format goes by its byte rate, in whole blocks.
    WAVEFORMATEX adpcm{};
    adpcm.wFormatTag = 0x11;
    adpcm.nChannels = 1;
    adpcm.nSamplesPerSec = 8000;
    adpcm.nAvgBytesPerSec = 4055;
    adpcm.nBlockAlign = 256;
    adpcm.wBitsPerSample = 4;
    ASSERT_TRUE(in.setFormatRecord(false, &adpcm));
    EXPECT_EQ(in.chunkSize(), 512u);
    EXPECT_EQ(in.chunksPerSecond(), 10u);

    // Text that decodes to nothing changes nothing.
    EXPECT_FALSE(in.setFormat(false, ""));
    EXPECT_EQ(in.chunkSize(), 512u);

    // The software device's primary side is its source.
    TestSoftwareDevice soft;
    ASSERT_TRUE(soft.setPcmFormat(11025, 8, 1));
    EXPECT_EQ(soft.chunkSize(), 2205u);
    WAVEFORMATEX src;
    EXPECT_TRUE(soft.getFormat(true, src));
    EXPECT_FALSE(soft.getFormat(false, src));
}

TEST(StreamDeviceTest, QuarterLevelsFollowASoundThatChangesWithinTheBlock) {
    // 1001 stereo frames (quarters of 250 and 251, and a tail the vector
    // steps leave over): silent left half then loud, right loud then
    // silent, full-scale extremes included.
    TestSoftwareDevice dev;
    dev.setPcmFormat(44100, 16, 2);
    dev.setCalcVolume(true);
    const uint32_t frames = 1001;
    std::vector<int16_t> s(frames * 2);
    for (uint32_t i = 0; i < frames; ++i) {
        const bool late = i >= frames / 2;
        s[2 * i] = late ? int16_t(i % 2 ? -32768 : 32767) : 0;
        s[2 * i + 1] = late ? 0 : int16_t(i % 3 ? -20000 : 20000);
    }
    ASSERT_TRUE(dev.check(s.data(), uint32_t(s.size() * 2)));
    // The block level is exactly what the one-channel measurement says.
    EXPECT_EQ(dev.getVolume(0), waveLevel(s.data(), frames, 16, 0, 2));
    EXPECT_EQ(dev.getVolume(1), waveLevel(s.data(), frames, 16, 1, 2));
    const unaMsAcmStreamDevice::LevelWindows w = dev.levelWindows();
    EXPECT_EQ(w.block, 1u);
    EXPECT_EQ(w.level[0][0], 0u);
    EXPECT_EQ(w.level[0][1], 0u);
    EXPECT_NEAR(w.level[0][2], 32767.5, 1.0);
    EXPECT_NEAR(w.level[0][3], 32767.5, 1.0);
    EXPECT_EQ(w.level[1][0], 20000u);
    EXPECT_EQ(w.level[1][1], 20000u);
    EXPECT_EQ(w.level[1][2], 0u);
    EXPECT_EQ(w.level[1][3], 0u);

    // Mono uses the same pass; other sample sizes show the block's level in
    // every quarter.
    TestSoftwareDevice mono;
    mono.setPcmFormat(8000, 16, 1);
    mono.setCalcVolume(true);
    std::vector<int16_t> m(803, 0);
    for (size_t i = 400; i < m.size(); ++i)
        m[i] = int16_t(i % 2 ? -32768 : 32767);
    mono.check(m.data(), uint32_t(m.size() * 2));
    EXPECT_EQ(mono.getVolume(0), waveLevel(m.data(), uint32_t(m.size()), 16, 0, 1));
    EXPECT_EQ(mono.levelWindows().level[0][0], 0u);
    EXPECT_NEAR(mono.levelWindows().level[0][3], 32767.5, 1.0);
    TestSoftwareDevice eight;
    eight.setPcmFormat(8000, 8, 1);
    eight.setCalcVolume(true);
    Bytes b(100, 138);
    eight.check(b.data(), uint32_t(b.size()));
    EXPECT_EQ(eight.levelWindows().level[0][0], eight.getVolume(0));
    EXPECT_EQ(eight.levelWindows().level[0][3], eight.getVolume(0));
}

TEST(StreamDeviceTest, OpenAndCloseAreIdempotentAndCloseZeroesTheLevels) {
    TestSoftwareDevice dev;
    dev.setPcmFormat(8000, 16, 2);
    dev.setCalcVolume(true);
    EXPECT_EQ(dev.close(), MMR_NOERROR);
    ASSERT_EQ(dev.open(), MMR_NOERROR);
    EXPECT_TRUE(dev.isOpen());
    EXPECT_EQ(dev.open(), MMR_NOERROR);
    const Bytes loud = stereo16(1000, 2000, 800);
    dev.check(loud.data(), uint32_t(loud.size()));
    EXPECT_EQ(dev.getVolume(0), 1000u);
    EXPECT_EQ(dev.getVolume(1), 2000u);
    EXPECT_EQ(dev.close(), MMR_NOERROR);
    EXPECT_FALSE(dev.isOpen());
    EXPECT_EQ(dev.getVolume(0), 0u);
    EXPECT_EQ(dev.getVolume(1), 0u);
    EXPECT_EQ(dev.levelWindows().level[1][3], 0u);
    EXPECT_EQ(dev.close(), MMR_NOERROR);
    // A query open does not leave the device open.
    EXPECT_EQ(dev.open(true), MMR_NOERROR);
    EXPECT_FALSE(dev.isOpen());
}

TEST(StreamDeviceTest, StopWakesABufferLoopThatWaitsForWork) {
    // With nothing to do the buffer loop sleeps without a time-out: stop must
    // wake it, or the stop below gives up and the thread stays.
    TestSoftwareDevice dev;
    dev.setPcmFormat(8000, 16, 2);
    ASSERT_EQ(dev.open(), MMR_NOERROR);
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // let it fall asleep
    EXPECT_TRUE(dev.stop(5000));
    EXPECT_EQ(dev.close(), MMR_NOERROR);
    EXPECT_FALSE(dev.isOpen());
}

TEST(StreamDeviceTest, DeliveryFillsTheOutputStreamUpToItsLimitAndCountsTheRest) {
    WAVEFORMATEX f = pcm(8000, 8, 1);
    TestWaveIn in;
    in.outOverNum = 5;
    in.setFormatRecord(false, &f);
    const uint32_t chunk = in.chunkSize();
    ASSERT_EQ(chunk, 800u);
    EXPECT_EQ(in.outOverSize(), 5u * chunk);
    std::atomic<uint32_t> hooked{0};
    in.onChunk = [&](unaMsAcmStreamDevice*, const void*, uint32_t len) { hooked += len; };
    const Bytes block = pattern(chunk);
    for (int i = 0; i < 10; ++i)
        in.deliverChunk(block.data(), chunk);
    EXPECT_EQ(in.getDataAvailable(false), 6u * chunk);
    EXPECT_EQ(in.outOverflowBytes(), 4u * chunk);
    EXPECT_EQ(in.outBytes(), 10u * chunk);
    EXPECT_EQ(hooked.load(), 10u * chunk);
    // Size 0 reads exactly the oldest block.
    Bytes out(chunk * 2);
    EXPECT_EQ(in.readOutput(out.data(), 0), chunk);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), out.begin()));
    // An empty block changes nothing.
    EXPECT_EQ(in.deliverChunk(block.data(), 0), 0u);
    EXPECT_EQ(in.outBytes(), 10u * chunk);
    EXPECT_EQ(in.skippedBytes(), 0u);
}

TEST(StreamDeviceTest, InputLimitDropsAndHackPacketsAreReported) {
    std::mutex lock;
    std::vector<std::string> lines;
    setInfoMessageSink([&](const std::string& text) {
        std::lock_guard<std::mutex> guard(lock);
        lines.push_back(text);
    });
    TestSoftwareDevice dev;
    dev.inOverNum = 2;
    dev.setPcmFormat(8000, 8, 1); // 800-byte chunks, limit 1600
    EXPECT_EQ(dev.inOverSize(), 1600u);
    const Bytes block = pattern(800);
    for (int i = 0; i < 5; ++i)
        dev.write(block.data(), 800);
    EXPECT_EQ(dev.getDataAvailable(true), 2400u);
    EXPECT_EQ(dev.inOverflowBytes(), 1600u);

    uint8_t hack[8];
    std::memset(hack, 0x33, sizeof hack);
    dev.inOverNum = 0;
    EXPECT_EQ(dev.write(hack, sizeof hack), 8u);
    setInfoMessageSink(nullptr);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "unaWaveSoftwareDevice.write() - got **hack** packet (8 bytes)");

    // readInput takes the bytes out and counts them.
    Bytes out(10000);
    EXPECT_EQ(dev.readInput(out.data(), 10000), 2408u);
    EXPECT_EQ(dev.inBytes(), 2408u);
    EXPECT_EQ(dev.readInput(out.data(), 10000), 0u);
}

TEST(StreamDeviceTest, VolumeIsMeasuredPerChannelOnlyWhenAsked) {
    TestSoftwareDevice dev;
    dev.setPcmFormat(8000, 16, 2);
    const Bytes loud = stereo16(3000, 500, 400);
    dev.check(loud.data(), uint32_t(loud.size()));
    EXPECT_EQ(dev.getVolume(0), 0u);
    dev.setCalcVolume(true);
    dev.check(loud.data(), uint32_t(loud.size()));
    EXPECT_EQ(dev.getVolume(0), 3000u);
    EXPECT_EQ(dev.getVolume(1), 500u);
    const Bytes quiet = stereo16(10, 20, 400);
    dev.check(quiet.data(), uint32_t(quiet.size()));
    EXPECT_EQ(dev.getPrevVolume(0), 3000u);
    EXPECT_EQ(dev.getVolume(1), 20u);

    // 8-bit samples are on the 16-bit scale.
    TestSoftwareDevice eight;
    eight.setPcmFormat(8000, 8, 1);
    eight.setCalcVolume(true);
    Bytes b(100);
    for (size_t i = 0; i < b.size(); ++i)
        b[i] = (i & 1) ? 138 : 118;
    eight.check(b.data(), uint32_t(b.size()));
    EXPECT_EQ(eight.getVolume(0), 2560u);

    // Sample sizes below 8 bits never read past the block.
    TestSoftwareDevice four;
    four.setPcmFormat(8000, 4, 1);
    four.setCalcVolume(true);
    EXPECT_TRUE(four.check(b.data(), 3));
}

TEST(StreamDeviceTest, SilenceSuppressionDropsQuietChunksAfterTheActiveTime) {
    TestWaveIn in;
    in.setPcmFormat(8000, 16, 2);
    const Bytes quiet = stereo16(100, 100, 200);
    const Bytes loud = stereo16(100, 600, 200);

    // Level 0: everything passes, nothing is measured.
    EXPECT_TRUE(in.check(quiet.data(), uint32_t(quiet.size())));
    EXPECT_FALSE(in.calcVolume());

    in.setMinVolumeLevel(500);
    EXPECT_TRUE(in.calcVolume());
    in.minActiveTime = 60000;
    // The first quiet chunk and those within the active time still pass.
    EXPECT_TRUE(in.check(quiet.data(), uint32_t(quiet.size())));
    EXPECT_TRUE(in.check(quiet.data(), uint32_t(quiet.size())));
    EXPECT_FALSE(in.isSilent());
    // Once the active time is over, the next quiet chunk starts the silence.
    in.minActiveTime = 0;
    sleepMs(5);
    EXPECT_FALSE(in.check(quiet.data(), uint32_t(quiet.size())));
    EXPECT_TRUE(in.isSilent());
    EXPECT_FALSE(in.check(quiet.data(), uint32_t(quiet.size())));
    // Any channel at the level ends it.
    EXPECT_TRUE(in.check(loud.data(), uint32_t(loud.size())));
    EXPECT_FALSE(in.isSilent());

    // Dropped chunks are counted and reach neither hook nor stream.
    std::atomic<uint32_t> hooked{0};
    in.onChunk = [&](unaMsAcmStreamDevice*, const void*, uint32_t) { ++hooked; };
    in.check(quiet.data(), uint32_t(quiet.size())); // silence starts counting
    sleepMs(5);
    EXPECT_EQ(in.deliverChunk(quiet.data(), uint32_t(quiet.size())), 0u);
    EXPECT_EQ(in.skippedBytes(), quiet.size());
    EXPECT_EQ(hooked.load(), 0u);
}

TEST(StreamDeviceTest, MinVolumeLevelRestoresTheEarlierVolumeChoice) {
    TestWaveIn in;
    in.setCalcVolume(false);
    in.setMinVolumeLevel(500);
    EXPECT_TRUE(in.calcVolume());
    in.setMinVolumeLevel(600);
    in.setMinVolumeLevel(0);
    EXPECT_FALSE(in.calcVolume());
    in.setCalcVolume(true);
    in.setMinVolumeLevel(10);
    in.setMinVolumeLevel(0);
    EXPECT_TRUE(in.calcVolume());

    // A choice made while the level is on is the one the level's end restores.
    for (bool choice : {true, false}) {
        in.setCalcVolume(!choice);
        in.setMinVolumeLevel(500);
        in.setCalcVolume(choice);
        EXPECT_TRUE(in.calcVolume()) << "suppression needs the measurement";
        in.setMinVolumeLevel(0);
        EXPECT_EQ(in.calcVolume(), choice);
    }
}

TEST(StreamDeviceTest, ErrorTextsCarryTheCodeAndItsMeaning) {
    TestSoftwareDevice dev;
    EXPECT_EQ(dev.getErrorText(12),
              "12 (handle being used simultaneously on another thread (eg callback))");
    EXPECT_EQ(dev.getErrorText(512), "512 (NOT POSSIBLE)");
    EXPECT_EQ(dev.getErrorText(77), "77");
    unaWaveInDevice in;
    const std::string text = in.getErrorText(MMR_BADDEVICEID);
    EXPECT_EQ(text.rfind("2 (", 0), 0u) << text;
    EXPECT_EQ(text.back(), ')');
}

TEST(StreamDeviceTest, WaveHeaderFlagsAndSequence) {
    TestSoftwareDevice dev;
    unaWaveHeader h(&dev, "abcd", 4);
    EXPECT_EQ(std::string(h.hdr.lpData, 4), "abcd");
    EXPECT_EQ(h.hdr.dwUser, reinterpret_cast<uintptr_t>(&h));
    EXPECT_TRUE(h.isProcessed());
    h.prepare();
    EXPECT_TRUE(h.isFlagSet(WHDR_PREPARED));
    EXPECT_FALSE(h.isDone());
    h.setFlag(WHDR_DONE, true);
    EXPECT_TRUE(h.isDone());
    h.setFlag(WHDR_INQUEUE, true);
    EXPECT_FALSE(h.isDone());
    EXPECT_TRUE(h.isInQueue());
    h.hdr.dwBytesRecorded = 4;
    h.rearm();
    const uint32_t first = h.sequence();
    h.rearm();
    EXPECT_EQ(h.sequence(), first + 1);
    EXPECT_EQ(h.hdr.dwBytesRecorded, 0u);
    EXPECT_FALSE(h.isProcessed());
    h.takeNextSequence = false;
    h.rearm();
    EXPECT_EQ(h.sequence(), first + 1);
    EXPECT_TRUE(h.takeNextSequence);
}

TEST(StreamDeviceTest, TimerTicksAndHoldsItsPeriod) {
    std::atomic<uint32_t> ticks{0};
    {
        unaMMTimer timer(1000);
        timer.onTimer = [&](unaAbstractTimer*) { ++ticks; };
        const uint32_t before = timeHeldPeriods();
        timer.setInterval(20);
        EXPECT_EQ(timer.heldPeriod(), 2u);
        EXPECT_EQ(timeHeldPeriods(), before + 1);
        timer.start();
        EXPECT_TRUE(waitUntil([&] { return ticks.load() >= 3; }));
        timer.stop();
    }
    const uint32_t after = ticks.load();
    sleepMs(50);
    EXPECT_EQ(ticks.load(), after);
}

class WaveInDeviceTest : public ::testing::Test {
protected:
    TempDir dir;
    Bytes feed = pattern(8000 * 2 * 20);
    void SetUp() override {
        writeFile(dir.file("feed.raw"), feed);
        useVirtualCard(dir.file("feed.raw"), 0);
    }
    void TearDown() override { setAudioBackend(AudioBackend::Alsa); }
};

TEST_F(WaveInDeviceTest, CapturesInQueueOrderWithTwentyBuffersAndALimitedOutputStream) {
    unaWaveInDevice in(WAVE_MAPPER, false, false, 5);
    ASSERT_EQ(in.capsResult(), MMR_NOERROR);
    ASSERT_TRUE(in.setPcmFormat(8000, 16, 1));
    const uint32_t chunk = in.chunkSize();
    ASSERT_EQ(chunk, 1600u);
    std::mutex lock;
    Bytes got;
    in.onChunk = [&](unaMsAcmStreamDevice*, const void* data, uint32_t len) {
        std::lock_guard<std::mutex> guard(lock);
        got.insert(got.end(), static_cast<const uint8_t*>(data),
                   static_cast<const uint8_t*>(data) + len);
    };
    ASSERT_EQ(in.open(), MMR_NOERROR);
    EXPECT_TRUE(waitUntil([&] { return in.outOverflowBytes() >= 10u * chunk; }));
    EXPECT_EQ(in.headerCount(), 20u);
    EXPECT_LE(in.queuedHeaders(), 20u);
    EXPECT_EQ(in.close(), MMR_NOERROR);
    EXPECT_EQ(in.headerCount(), 0u);

    // Nobody read the output stream: it holds six chunks.
    EXPECT_EQ(in.getDataAvailable(false), 6u * chunk);
    {
        std::lock_guard<std::mutex> guard(lock);
        ASSERT_GE(got.size(), 16u * chunk);
        for (size_t i = 0; i < got.size(); ++i)
            ASSERT_EQ(got[i], feed[i % feed.size()]) << "byte " << i;
        got.clear();
    }

    // A second open starts over with the same buffers and order.
    ASSERT_EQ(in.open(), MMR_NOERROR);
    EXPECT_TRUE(waitUntil([&] { return in.outBytes() >= 4u * chunk; }));
    EXPECT_EQ(in.close(), MMR_NOERROR);
    std::lock_guard<std::mutex> guard(lock);
    ASSERT_GE(got.size(), 4u * chunk);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 4 * chunk, feed.begin()));
}

TEST_F(WaveInDeviceTest, FailuresKeepTheDeviceClosed) {
    unaWaveInDevice noFormat;
    EXPECT_NE(noFormat.open(), MMR_NOERROR);
    EXPECT_FALSE(noFormat.isOpen());

    unaWaveInDevice badId(57);
    badId.setPcmFormat(8000, 16, 1);
    EXPECT_EQ(badId.open(), MMR_BADDEVICEID);
    EXPECT_FALSE(badId.isOpen());
    EXPECT_EQ(badId.close(), MMR_NOERROR);

    unaWaveInDevice query;
    query.setPcmFormat(8000, 16, 1);
    EXPECT_EQ(query.open(true), MMR_NOERROR);
    EXPECT_FALSE(query.isOpen());
}

TEST_F(WaveInDeviceTest, RealTimeSoftwareDeviceCountsTimerTicks) {
    TestSoftwareDevice dev(true);
    dev.setPcmFormat(8000, 8, 1);
    ASSERT_NE(dev.timer(), nullptr);
    EXPECT_EQ(dev.timer()->interval(), 100u);
    ASSERT_EQ(dev.open(), MMR_NOERROR);
    EXPECT_TRUE(waitUntil([&] { return dev.pendingTicks() >= 2; }));
    dev.close();
    EXPECT_FALSE(dev.timer()->isRunning());
    dev.setRealTime(false);
    EXPECT_EQ(dev.timer(), nullptr);
}
