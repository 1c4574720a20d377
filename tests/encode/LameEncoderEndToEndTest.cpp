// A recording as the recorder makes it: PCM queued in 100 ms blocks from a
// capture thread, the real mp3enc.so encoding on the writer thread, and the
// handler appending every block to a file. The file is then decoded and its
// frame headers read back.
#include "Mp3Frames.h"
#include "core/unaUtils.h"
#include "encode/unaBladeMp3Enc.h"

#include <gtest/gtest.h>
#include <mpg123.h>

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <set>
#include <thread>

namespace {

namespace fs = std::filesystem;

struct Recording {
    uint32_t rate = 44100;
    int channels = 2;
    int32_t mode = BE_MP3_MODE_STEREO;
    uint32_t kbps = 128, maxKbps = 128;
    bool vbr = false;
    bool flags = false; // private, CRC, copyright and original all on
    double seconds = 3.0;
    bool noiseBursts = false;
};

// The record exactly as the recorder fills it (booleans are -1 for true).
BE_CONFIG recorderRecord(const Recording& r) {
    BE_CONFIG c;
    std::memset(&c, 0, sizeof c);
    c.dwConfig = BE_CONFIG_LAME;
    c.dwStructVersion = 1;
    c.dwStructSize = 331;
    c.dwSampleRate = r.rate;
    c.nMode = r.mode;
    c.dwBitrate = r.kbps;
    c.dwMaxBitrate = r.maxKbps;
    c.nPreset = LQP_NOPRESET;
    c.bPrivate = c.bCRC = c.bCopyright = c.bOriginal = r.flags ? -1 : 0;
    c.bEnableVBR = r.vbr ? -1 : 0;
    c.nVBRQuality = r.vbr ? 2 : 0;
    c.nVbrMethod = r.vbr ? VBR_METHOD_NEW : VBR_METHOD_NONE;
    c.bNoRes = -1;
    return c;
}

std::vector<int16_t> signal(const Recording& r) {
    const size_t n = size_t(r.rate * r.seconds);
    std::vector<int16_t> pcm(n * size_t(r.channels));
    uint32_t seed = 12345;
    for (size_t i = 0; i < n; ++i) {
        double v = 10000 * std::sin(2 * M_PI * 1000 * double(i) / r.rate);
        if (r.noiseBursts && (i / (r.rate / 2)) % 2 == 1)
            v += double(int32_t((seed = seed * 1664525 + 1013904223) >> 16) - 32768) / 8;
        for (int c = 0; c < r.channels; ++c)
            pcm[i * size_t(r.channels) + size_t(c)] = int16_t(v);
    }
    return pcm;
}

class LameEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        path = (fs::temp_directory_path() /
                ("e2e-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".mp3"))
                   .string();
        fs::remove(path);
    }
    void TearDown() override { fs::remove(path); }

    // Records r through the encoder; returns the file's bytes. With
    // vbrHeader, the information frame is written once the file is complete.
    std::vector<uint8_t> record(const Recording& r, bool vbrHeader = false) {
        unaLameMp3Enc enc(MP3ENC_PATH, THREAD_PRIORITY_NORMAL);
        EXPECT_EQ(enc.lastError(), 0);
        enc.onDataAvailable = [this](unaAbstractEncoder*, const void* data, uint32_t size, bool&) {
            EXPECT_EQ(AppendToFile(path, data, size), 0);
        };
        BE_CONFIG c = recorderRecord(r);
        EXPECT_EQ(enc.setConfig(&c), 0);
        EXPECT_EQ(enc.chunkSize(), 1152u * 2 * uint32_t(r.channels));
        EXPECT_EQ(enc.open(), 0);

        const std::vector<int16_t> pcm = signal(r);
        const size_t block = size_t(r.rate / 10) * size_t(r.channels); // 100 ms
        std::thread capture([&] {
            for (size_t pos = 0; pos < pcm.size(); pos += block) {
                const size_t n = std::min(block, pcm.size() - pos);
                enc.lazyWrite(pcm.data() + pos, uint32_t(n * 2));
            }
        });
        capture.join();
        EXPECT_EQ(enc.close(), 0);
        if (vbrHeader) {
            EXPECT_EQ(enc.writeVBRHeader(path), 0);
        }
        std::vector<uint8_t> mp3 = readFileBytes(path);
        EXPECT_EQ(enc.totalEncoded(), mp3.size());
        return mp3;
    }

    // The file decodes to the recording's length (give or take one frame,
    // after the fixed encoder delay) with the 1 kHz tone dominant.
    void expectDecodesToTone(const std::vector<uint8_t>& mp3, const Recording& r,
                             int frameSamples) {
        DecodedPcm pcm;
        std::string why;
        ASSERT_TRUE(decodeMp3(mp3, pcm, &why)) << why;
        EXPECT_EQ(pcm.rate, long(r.rate));
        EXPECT_EQ(pcm.channels, r.channels);
        const double expected = r.rate * r.seconds;
        const double delay = 576 + 529; // encoder look-ahead plus decoder delay
        EXPECT_NEAR(double(pcm.frames()) - delay, expected, frameSamples)
            << "decoded " << pcm.frames() << " sample frames";
        const size_t window = r.rate / 2; // a tone-only half second
        for (int c = 0; c < r.channels; ++c)
            EXPECT_GT(toneShare(pcm, c, 1000, r.rate / 10, window), 0.9);
        EXPECT_LT(toneShare(pcm, 0, 1500, r.rate / 10, window), 0.05);
    }

    std::string path;
};

TEST_F(LameEndToEnd, StereoRecordingDecodesAndCarriesRequestedHeader) {
    Recording r;
    r.flags = true;
    const std::vector<uint8_t> mp3 = record(r);
    std::vector<Mp3Frame> frames;
    std::string why;
    ASSERT_TRUE(parseMp3Frames(mp3, frames, &why)) << why;
    for (const Mp3Frame& f : frames) {
        ASSERT_EQ(f.bitrate, 128);
        ASSERT_EQ(f.sampleRate, 44100);
        ASSERT_EQ(f.mode, 0);
        ASSERT_TRUE(f.privateBit);
        ASSERT_TRUE(f.crc);
        ASSERT_TRUE(f.copyright);
        ASSERT_TRUE(f.original);
    }
    expectDecodesToTone(mp3, r, 1152);
}

TEST_F(LameEndToEnd, MonoRecordingAtHalfRate) {
    Recording r;
    r.rate = 22050;
    r.channels = 1;
    r.mode = BE_MP3_MODE_MONO;
    r.kbps = r.maxKbps = 64;
    const std::vector<uint8_t> mp3 = record(r);
    std::vector<Mp3Frame> frames;
    std::string why;
    ASSERT_TRUE(parseMp3Frames(mp3, frames, &why)) << why;
    for (const Mp3Frame& f : frames) {
        ASSERT_EQ(f.version, 2);
        ASSERT_EQ(f.bitrate, 64);
        ASSERT_EQ(f.mode, 3);
        ASSERT_FALSE(f.privateBit);
        ASSERT_FALSE(f.crc);
        ASSERT_FALSE(f.copyright);
        ASSERT_FALSE(f.original);
    }
    expectDecodesToTone(mp3, r, 576);
}

TEST_F(LameEndToEnd, VbrRecordingVariesWithinItsLimits) {
    Recording r;
    r.mode = BE_MP3_MODE_JSTEREO;
    r.vbr = true;
    r.kbps = 64;     // index 3 of the recorder's list
    r.maxKbps = 192; // index 9
    r.noiseBursts = true;
    const std::vector<uint8_t> mp3 = record(r);
    std::vector<Mp3Frame> frames;
    std::string why;
    ASSERT_TRUE(parseMp3Frames(mp3, frames, &why)) << why;
    std::set<int> rates;
    for (const Mp3Frame& f : frames) {
        EXPECT_GE(f.bitrate, 64);
        EXPECT_LE(f.bitrate, 192);
        rates.insert(f.bitrate);
    }
    EXPECT_GE(rates.size(), 2u);
    DecodedPcm pcm;
    ASSERT_TRUE(decodeMp3(mp3, pcm));
    // The frame reserved for the information frame, left unwritten here,
    // decodes as one frame of silence.
    EXPECT_NEAR(double(pcm.frames()) - 1105 - 1152, 3 * 44100.0, 1152);
}

TEST_F(LameEndToEnd, VbrRecordingGetsAnInformationFrameGivingItsTrueLength) {
    Recording r;
    r.mode = BE_MP3_MODE_JSTEREO;
    r.vbr = true;
    r.kbps = 40;
    r.maxKbps = 320;
    r.seconds = 6.0;
    r.noiseBursts = true; // the first frame's rate says little about the rest
    const std::vector<uint8_t> mp3 = record(r, true);
    const std::string head(mp3.begin(), mp3.begin() + 64);
    ASSERT_NE(head.find("Xing"), std::string::npos);

    // A decoder that reads only the start of the file knows the length.
    mpg123_init();
    int err = 0;
    mpg123_handle* mh = mpg123_new(nullptr, &err);
    ASSERT_NE(mh, nullptr);
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    ASSERT_EQ(mpg123_open(mh, path.c_str()), MPG123_OK);
    long rate = 0;
    int channels = 0, enc = 0;
    ASSERT_EQ(mpg123_getformat(mh, &rate, &channels, &enc), MPG123_OK);
    const off_t announced = mpg123_length(mh);
    mpg123_close(mh);
    mpg123_delete(mh);
    DecodedPcm pcm;
    ASSERT_TRUE(decodeMp3(mp3, pcm));
    EXPECT_NEAR(double(announced), double(pcm.frames()), 1152);
    EXPECT_NEAR(double(announced), r.rate * r.seconds, 1152);
}

} // namespace
