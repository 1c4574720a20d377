// The ALSA backend for real, without a sound card: ALSA's `file` plugin over a
// `null` slave reads capture data from a raw file and writes playback data to
// a file, defined in a configuration the test writes and points
// ALSA_CONFIG_PATH at.
#include "platform/AudioTestSupport.h"

#include "platform/audio/AudioOutput.h"
#include "platform/audio/Mixer.h"

#include <alsa/asoundlib.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>

namespace {

std::vector<uint8_t> randomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = uint8_t(rng());
    return v;
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class AlsaBackend : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/sonvale-alsa-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        input_ = dir_ + "/input.raw";
        played_ = dir_ + "/played.raw";
        std::ofstream conf(dir_ + "/alsa.conf");
        conf << "pcm.!default {\n type file\n slave.pcm { type null }\n file \"/dev/null\"\n"
             << " infile \"" << input_ << "\"\n format \"raw\"\n}\n"
             << "pcm.sonvale_test_out {\n type file\n slave.pcm { type null }\n file \"" << played_
             << "\"\n format \"raw\"\n}\n";
        conf.close();
        setenv("ALSA_CONFIG_PATH", ("/usr/share/alsa/alsa.conf:" + dir_ + "/alsa.conf").c_str(), 1);
        snd_config_update_free_global(); // read the configuration again
        setAudioBackend(AudioBackend::Alsa);
    }

    void TearDown() override {
        unsetenv("ALSA_CONFIG_PATH");
        unsetenv("SONVALE_ALSA_CAPTURE");
        unsetenv("SONVALE_ALSA_PLAYBACK");
        snd_config_update_free_global();
        setAudioBackend(AudioBackend::Virtual);
        std::system(("rm -rf " + dir_).c_str());
    }

    std::string dir_, input_, played_;
};

TEST_F(AlsaBackend, CaptureRecordsTheRawInputByteForByteAtEveryRateDepthAndChannelCount) {
    struct Case {
        uint32_t rate;
        uint16_t bits, channels;
        size_t count;
        uint32_t size;
    } cases[] = {{44100, 16, 2, 5, 17640}, {11025, 8, 1, 4, 2205}};
    WAVEFORMATEX f;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        FillPcmFormat(f, c.rate, c.bits, c.channels);
        const auto input = randomBytes(c.size * c.count, c.rate);
        writeFile(input_, input);
        EXPECT_EQ(recordBuffers(WAVE_MAPPER, f, c.count, c.size), input);
    }
    FillPcmFormat(f, 22050, 16, 1);
    EXPECT_EQ(waveInOpen(nullptr, WAVE_MAPPER, &f, {}, WAVE_FORMAT_QUERY), MMR_NOERROR);
}

TEST_F(AlsaBackend, StopAndCloseReturnPromptlyWhileCapturing) {
    WAVEFORMATEX f;
    FillPcmFormat(f, 44100, 16, 2);
    writeFile(input_, randomBytes(176400, 3));
    HWAVEIN h = nullptr;
    ASSERT_EQ(waveInOpen(&h, WAVE_MAPPER, &f, {}, CALLBACK_EVENT), MMR_NOERROR);
    std::vector<char> big(176400 * 20);
    WAVEHDR hdr{};
    hdr.lpData = big.data();
    hdr.dwBufferLength = uint32_t(big.size());
    ASSERT_EQ(waveInPrepareHeader(h, &hdr, sizeof hdr), MMR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(h, &hdr, sizeof hdr), MMR_NOERROR);
    ASSERT_EQ(waveInStart(h), MMR_NOERROR);
    WaveInStats stats;
    while (waveInGetStats(h, &stats) && stats.recordedBytes == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(waveInStop(h), MMR_NOERROR);
    EXPECT_TRUE(waveHeaderFlags(hdr) & WHDR_DONE);
    EXPECT_GT(hdr.dwBytesRecorded, 0u);
    EXPECT_EQ(hdr.dwBytesRecorded % 4, 0u);
    // Started again without a buffer, then closed: nothing waits on the device.
    ASSERT_EQ(waveInStart(h), MMR_NOERROR);
    ASSERT_EQ(waveInReset(h), MMR_NOERROR);
    EXPECT_EQ(waveInClose(h), MMR_NOERROR);
}

TEST_F(AlsaBackend, MissingDevicesFailCleanlyWithResultCodes) {
    WAVEFORMATEX f;
    FillPcmFormat(f, 44100, 16, 2);
    HWAVEIN h = nullptr;
    const int count = int(waveInGetNumDevs());
    EXPECT_EQ(waveInOpen(&h, count, &f, {}, 0), MMR_BADDEVICEID);
    WAVEINCAPS caps;
    EXPECT_EQ(waveInGetDevCapsA(count, &caps), MMR_BADDEVICEID);
    EXPECT_EQ(waveInGetDevCapsA(WAVE_MAPPER, &caps), MMR_NOERROR);
    setenv("SONVALE_ALSA_CAPTURE", "hw:57,0", 1);
    EXPECT_EQ(waveInOpen(&h, WAVE_MAPPER, &f, {}, 0), MMR_BADDEVICEID);
    setenv("SONVALE_ALSA_CAPTURE", "no_such_pcm_name", 1);
    EXPECT_NE(waveInOpen(&h, WAVE_MAPPER, &f, {}, 0), MMR_NOERROR);
    setenv("SONVALE_ALSA_PLAYBACK", "hw:57,0", 1);
    EXPECT_EQ(createAudioOutput()->open(f), MMR_BADDEVICEID);
    EXPECT_EQ(createAudioOutput(count + 100)->open(f), MMR_BADDEVICEID);
    // One mixer per card; none beyond the count.
    const uint32_t mixers = mixerGetNumDevs();
    MIXERCAPS mc;
    EXPECT_EQ(mixerGetDevCapsA(mixers, &mc), MMR_BADDEVICEID);
    HMIXER m = nullptr;
    EXPECT_EQ(mixerOpen(&m, mixers), MMR_BADDEVICEID);
}

TEST_F(AlsaBackend, OutputWritesWhatWasPlayedToTheFile) {
    setenv("SONVALE_ALSA_PLAYBACK", "sonvale_test_out", 1);
    WAVEFORMATEX f;
    FillPcmFormat(f, 22050, 16, 2);
    auto out = createAudioOutput();
    ASSERT_EQ(out->open(f), MMR_NOERROR);
    auto bytes = randomBytes(22050 * 4, 4); // one second
    // Writes need not end on a frame: the rest of a frame comes with the next.
    ASSERT_EQ(out->write(bytes.data(), 5), MMR_NOERROR);
    ASSERT_EQ(out->write(bytes.data() + 5, uint32_t(bytes.size() / 3 * 2 - 5)), MMR_NOERROR);
    ASSERT_EQ(out->pause(), MMR_NOERROR);
    ASSERT_EQ(out->write(bytes.data() + bytes.size() / 3 * 2,
                         uint32_t(bytes.size() - bytes.size() / 3 * 2)),
              MMR_NOERROR);
    ASSERT_EQ(out->resume(), MMR_NOERROR);
    ASSERT_EQ(out->drain(), MMR_NOERROR);
    EXPECT_EQ(out->playedBytes(), bytes.size());
    ASSERT_EQ(out->close(), MMR_NOERROR);
    EXPECT_EQ(readFile(played_), bytes);
}

} // namespace
