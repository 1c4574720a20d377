#include "platform/AudioTestSupport.h"

#include "platform/audio/WaveIn.h"

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Sets environment variables for one test and removes them afterwards.
class ScopedEnv {
public:
    void set(const char* name, const char* value) {
        setenv(name, value, 1);
        names_.push_back(name);
    }
    ~ScopedEnv() {
        for (const char* n : names_)
            unsetenv(n);
    }

private:
    std::vector<const char*> names_;
};

TEST(VirtualCardConfig, EnvironmentDescribesDevicesMuxSpeedFeedsAndNames) {
    ScopedEnv env;
    env.set("SONVALE_VCARD_DEVICES", "2");
    env.set("SONVALE_VCARD_MUX", "1,0");
    env.set("SONVALE_VCARD_SPEED", "12.5");
    env.set("SONVALE_VCARD_FEED_1_2", "/tmp/cd.wav");
    env.set("SONVALE_VCARD_NAME_0", "Desk");
    VirtualCardConfig c = virtualCardConfigFromEnvironment();
    ASSERT_EQ(c.devices.size(), 2u);
    EXPECT_TRUE(c.devices[0].hasMux);
    EXPECT_FALSE(c.devices[1].hasMux);
    EXPECT_DOUBLE_EQ(c.speed, 12.5);
    EXPECT_EQ(c.devices[1].sourceFiles[VS_CD_AUDIO], "/tmp/cd.wav");
    EXPECT_EQ(c.devices[0].name, "Desk");
    EXPECT_EQ(c.speakerKeepBytes, uint64_t(64) << 20); // the default from the environment
    env.set("SONVALE_VCARD_SPEAKER_KEEP_MB", "3");
    EXPECT_EQ(virtualCardConfigFromEnvironment().speakerKeepBytes, uint64_t(3) << 20);
}

TEST(VirtualCardConfig, MalformedValuesKeepTheDefaults) {
    ScopedEnv env;
    env.set("SONVALE_VCARD_DEVICES", "7");
    env.set("SONVALE_VCARD_MUX", "maybe");
    env.set("SONVALE_VCARD_SPEED", "-3");
    VirtualCardConfig c = virtualCardConfigFromEnvironment();
    EXPECT_EQ(c.devices.size(), 1u);
    EXPECT_TRUE(c.devices[0].hasMux);
    EXPECT_DOUBLE_EQ(c.speed, 1.0);
    env.set("SONVALE_VCARD_SPEED", "fast");
    EXPECT_DOUBLE_EQ(virtualCardConfigFromEnvironment().speed, 1.0);
    for (const char* bad : {"-1", "lots", "", "12MB"}) {
        env.set("SONVALE_VCARD_SPEAKER_KEEP_MB", bad);
        EXPECT_EQ(virtualCardConfigFromEnvironment().speakerKeepBytes, uint64_t(64) << 20) << bad;
    }
    // A single MUX value applies to every device.
    env.set("SONVALE_VCARD_DEVICES", "2");
    env.set("SONVALE_VCARD_MUX", "0");
    c = virtualCardConfigFromEnvironment();
    EXPECT_FALSE(c.devices[0].hasMux);
    EXPECT_FALSE(c.devices[1].hasMux);
}

TEST(VirtualCardConfig, ConfigureRefusesImpossibleCards) {
    VirtualCardConfig none;
    none.devices.clear();
    EXPECT_FALSE(VirtualCard::instance().configure(none));
    VirtualCardConfig three;
    three.devices.resize(3);
    EXPECT_FALSE(VirtualCard::instance().configure(three));
}

using VirtualCardFeed = VirtualCardTest;

// Writes a 16-bit stereo WAV file of two tones.
std::string writeToneWav(uint32_t rate, double left, double right, double seconds) {
    char path[] = "/tmp/sonvale-wav-XXXXXX";
    int fd = mkstemp(path);
    close(fd);
    const uint32_t frames = uint32_t(rate * seconds);
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    u32(36 + frames * 4);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(2);
    u32(rate);
    u32(rate * 4);
    u16(4);
    u16(16);
    out.write("data", 4);
    u32(frames * 4);
    for (uint32_t i = 0; i < frames; ++i) {
        u16(uint16_t(int16_t(16000 * std::sin(2 * M_PI * left * i / rate))));
        u16(uint16_t(int16_t(16000 * std::sin(2 * M_PI * right * i / rate))));
    }
    return path;
}

std::vector<uint8_t> recordOnce(const WAVEFORMATEX& f, uint32_t bytes) {
    SignalCounter signals;
    HWAVEIN h = nullptr;
    EXPECT_EQ(waveInOpen(&h, 0, &f, std::ref(signals), 0), MMR_NOERROR);
    std::vector<uint8_t> data(bytes);
    WAVEHDR hdr{};
    hdr.lpData = reinterpret_cast<char*>(data.data());
    hdr.dwBufferLength = bytes;
    EXPECT_EQ(waveInPrepareHeader(h, &hdr, sizeof hdr), MMR_NOERROR);
    EXPECT_EQ(waveInAddBuffer(h, &hdr, sizeof hdr), MMR_NOERROR);
    EXPECT_EQ(waveInStart(h), MMR_NOERROR);
    EXPECT_TRUE(signals.waitFor(2));
    EXPECT_EQ(waveInReset(h), MMR_NOERROR);
    EXPECT_EQ(waveInClose(h), MMR_NOERROR);
    data.resize(hdr.dwBytesRecorded);
    return data;
}

TEST_F(VirtualCardFeed, AWavFeedIsResampledToTheCaptureRate) {
    const std::string wav = writeToneWav(22050, 600, 900, 0.5);
    VirtualCardConfig c;
    c.speed = 0;
    c.devices[0].sourceFiles[VS_MICROPHONE] = wav;
    ASSERT_TRUE(VirtualCard::instance().configure(c));
    WAVEFORMATEX f;
    FillPcmFormat(f, 44100, 16, 2);
    auto got = recordOnce(f, 17640);
    unlink(wav.c_str());
    EXPECT_NEAR(measureFrequency(channelOf(got.data(), got.size(), 2, 0), 44100), 600, 3);
    EXPECT_NEAR(measureFrequency(channelOf(got.data(), got.size(), 2, 1), 44100), 900, 3);
}

TEST_F(VirtualCardFeed, AnUnreadableFeedFallsBackToTheTone) {
    // A missing file, and a FIFO without a writer, which must not hold up
    // the set-up either.
    const std::string fifo = ::testing::TempDir() + "sonvale-feed-fifo";
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& feed : {std::string("/nonexistent/feed.wav"), fifo}) {
        VirtualCardConfig c;
        c.speed = 0;
        c.devices[0].sourceFiles[VS_MICROPHONE] = feed;
        ASSERT_TRUE(VirtualCard::instance().configure(c)) << feed;
        WAVEFORMATEX f;
        FillPcmFormat(f, 8000, 16, 1);
        auto got = recordOnce(f, 1600);
        EXPECT_NEAR(measureFrequency(channelOf(got.data(), got.size(), 1, 0), 8000), 500, 5)
            << feed;
    }
    ::unlink(fifo.c_str());
}

TEST_F(VirtualCardFeed, EightBitMonoCapturesTheLeftToneAroundTheMidpoint) {
    WAVEFORMATEX f;
    FillPcmFormat(f, 11025, 8, 1);
    auto got = recordOnce(f, 2205);
    ASSERT_EQ(got.size(), 2205u);
    std::vector<double> s;
    for (uint8_t b : got)
        s.push_back((b - 128) / 128.0);
    EXPECT_NEAR(measureFrequency(s, 11025), 500, 3);
    EXPECT_NEAR(rms(s), 0.5 / std::sqrt(2.0), 0.01);
}

} // namespace
