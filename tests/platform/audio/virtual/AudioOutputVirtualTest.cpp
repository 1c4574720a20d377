#include "platform/AudioTestSupport.h"

#include "platform/audio/AudioOutput.h"

#include <thread>

namespace {

WAVEFORMATEX pcm(uint32_t rate = 8000, uint16_t bits = 16, uint16_t channels = 2) {
    WAVEFORMATEX f;
    FillPcmFormat(f, rate, bits, channels);
    return f;
}

std::vector<uint8_t> ramp(size_t bytes) {
    std::vector<uint8_t> v(bytes);
    for (size_t i = 0; i < bytes; ++i)
        v[i] = uint8_t(i * 7 + i / 251);
    return v;
}

using AudioOutputVirtual = VirtualCardTest;

TEST_F(AudioOutputVirtual, SpeakersKeepExactlyWhatWasPlayed) {
    auto out = createAudioOutput();
    ASSERT_EQ(out->open(pcm()), MMR_NOERROR);
    auto data = ramp(32000 * 2 + 4);
    ASSERT_EQ(out->write(data.data(), uint32_t(data.size() / 2)), MMR_NOERROR);
    ASSERT_EQ(out->write(data.data() + data.size() / 2, uint32_t(data.size() / 2)), MMR_NOERROR);
    ASSERT_EQ(out->drain(), MMR_NOERROR);
    EXPECT_EQ(out->playedBytes(), data.size());
    ASSERT_EQ(out->close(), MMR_NOERROR);

    auto rec = VirtualCard::instance().speakerRecordings(0);
    ASSERT_EQ(rec.size(), 1u);
    EXPECT_EQ(rec[0].format.nSamplesPerSec, 8000u);
    EXPECT_EQ(rec[0].bytes, data);
}

TEST_F(AudioOutputVirtual, SpeakersKeepOnlyTheFirstBytesUpToTheLimitButPlayEverything) {
    VirtualCardConfig c;
    c.speed = 0;
    c.speakerKeepBytes = 1000;
    ASSERT_TRUE(VirtualCard::instance().configure(c));
    auto out = createAudioOutput();
    ASSERT_EQ(out->open(pcm()), MMR_NOERROR);
    auto data = ramp(3000);
    ASSERT_EQ(out->write(data.data(), 600), MMR_NOERROR);
    ASSERT_EQ(out->write(data.data() + 600, 2400), MMR_NOERROR);
    EXPECT_EQ(out->playedBytes(), 3000u);
    ASSERT_EQ(out->close(), MMR_NOERROR);
    auto rec = VirtualCard::instance().speakerRecordings(0);
    ASSERT_EQ(rec.size(), 1u);
    EXPECT_EQ(rec[0].bytes, std::vector<uint8_t>(data.begin(), data.begin() + 1000));
}

TEST_F(AudioOutputVirtual, PacedPlayingAdvancesWithTheClockAndDrainFinishes) {
    configure(20.0); // one second of sound takes 50 ms
    auto out = createAudioOutput();
    ASSERT_EQ(out->open(pcm()), MMR_NOERROR);
    auto data = ramp(32000); // one second
    ASSERT_EQ(out->write(data.data(), uint32_t(data.size())), MMR_NOERROR);
    // write returns once what is left fits the device buffer (200 ms).
    EXPECT_GE(out->playedBytes(), data.size() - 32000 / 5 - 4);
    uint64_t before = out->playedBytes();
    ASSERT_EQ(out->drain(), MMR_NOERROR);
    EXPECT_GE(out->playedBytes(), before);
    EXPECT_EQ(out->playedBytes(), data.size());
}

TEST_F(AudioOutputVirtual, PauseHoldsThePositionAndResumeContinues) {
    configure(1.0);
    auto out = createAudioOutput();
    ASSERT_EQ(out->open(pcm()), MMR_NOERROR);
    auto data = ramp(32000 / 10); // 100 ms, fits the device buffer
    ASSERT_EQ(out->write(data.data(), uint32_t(data.size())), MMR_NOERROR);
    ASSERT_EQ(out->pause(), MMR_NOERROR);
    uint64_t held = out->playedBytes();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(out->playedBytes(), held);
    // Draining a paused output would wait for ever: it says so instead.
    EXPECT_EQ(out->drain(), MMR_STILLPLAYING);
    // Writing while paused neither blocks nor loses anything.
    auto more = ramp(32000);
    ASSERT_EQ(out->write(more.data(), uint32_t(more.size())), MMR_NOERROR);
    ASSERT_EQ(out->resume(), MMR_NOERROR);
    VirtualCard::instance().setSpeed(0);
    ASSERT_EQ(out->close(), MMR_NOERROR);
    auto rec = VirtualCard::instance().speakerRecordings(0);
    ASSERT_EQ(rec.size(), 1u);
    // Close drops what was not played yet; what was played is a prefix.
    ASSERT_LE(rec[0].bytes.size(), data.size() + more.size());
    std::vector<uint8_t> all = data;
    all.insert(all.end(), more.begin(), more.end());
    EXPECT_TRUE(std::equal(rec[0].bytes.begin(), rec[0].bytes.end(), all.begin()));
}

TEST_F(AudioOutputVirtual, StopDropsWhatIsQueuedAndRestartsTheCount) {
    configure(1.0);
    auto out = createAudioOutput();
    ASSERT_EQ(out->open(pcm()), MMR_NOERROR);
    auto data = ramp(32000 / 10);
    ASSERT_EQ(out->write(data.data(), uint32_t(data.size())), MMR_NOERROR);
    ASSERT_EQ(out->stop(), MMR_NOERROR);
    EXPECT_EQ(out->playedBytes(), 0u);
    ASSERT_EQ(out->drain(), MMR_NOERROR); // nothing left: returns at once
    EXPECT_LT(VirtualCard::instance().speakerRecordings(0)[0].bytes.size(), data.size());
}

TEST_F(AudioOutputVirtual, RefusesBadFormatsDevicesAndSecondOpens) {
    auto out = createAudioOutput();
    WAVEFORMATEX bad = pcm();
    bad.wBitsPerSample = 24;
    bad.nBlockAlign = 6;
    EXPECT_EQ(out->open(bad), MMR_BADFORMAT);
    bad = pcm();
    bad.wFormatTag = 2;
    EXPECT_EQ(out->open(bad), MMR_BADFORMAT);
    EXPECT_EQ(createAudioOutput(3)->open(pcm()), MMR_BADDEVICEID);
    ASSERT_EQ(out->open(pcm()), MMR_NOERROR);
    EXPECT_EQ(out->open(pcm()), MMR_ALLOCATED);
    ASSERT_EQ(out->close(), MMR_NOERROR);
    EXPECT_EQ(out->write("ab", 2), MMR_INVALHANDLE);
    EXPECT_EQ(out->close(), MMR_NOERROR);
}

} // namespace
