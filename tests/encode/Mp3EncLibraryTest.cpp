// The mp3enc.so library on its own: how it answers good and bad records,
// and what the frames it writes carry.
#include "Mp3Frames.h"
#include "libs/mp3enc/mp3enc.h"
#include "platform/loader/LibraryLoader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include <unistd.h>

namespace {

struct Api {
    LibraryLoader::Module module = nullptr;
    BEINITSTREAM init = nullptr;
    BEENCODECHUNK encode = nullptr;
    BEDEINITSTREAM deinit = nullptr;
    BECLOSESTREAM close = nullptr;
    BEVERSION version = nullptr;
    BEWRITEVBRHEADER vbrHeader = nullptr;
};

Api& api() {
    static Api a = [] {
        Api r;
        LoaderError err;
        r.module = systemLibraryLoader().load(MP3ENC_PATH, &err);
        if (!r.module)
            return r;
        auto sym = [&](const char* n) {
            return systemLibraryLoader().symbol(r.module, n, nullptr);
        };
        r.init = reinterpret_cast<BEINITSTREAM>(sym(TEXT_BEINITSTREAM));
        r.encode = reinterpret_cast<BEENCODECHUNK>(sym(TEXT_BEENCODECHUNK));
        r.deinit = reinterpret_cast<BEDEINITSTREAM>(sym(TEXT_BEDEINITSTREAM));
        r.close = reinterpret_cast<BECLOSESTREAM>(sym(TEXT_BECLOSESTREAM));
        r.version = reinterpret_cast<BEVERSION>(sym(TEXT_BEVERSION));
        r.vbrHeader = reinterpret_cast<BEWRITEVBRHEADER>(sym(TEXT_BEWRITEVBRHEADER));
        return r;
    }();
    return a;
}

// The record as the recorder fills it for constant 128 kbit/s stereo.
BE_CONFIG recorderConfig(uint32_t rate = 44100, int32_t mode = BE_MP3_MODE_STEREO,
                         uint32_t kbps = 128) {
    BE_CONFIG c;
    std::memset(&c, 0, sizeof c);
    c.dwConfig = BE_CONFIG_LAME;
    c.dwStructVersion = 1;
    c.dwStructSize = sizeof c;
    c.dwSampleRate = rate;
    c.nMode = mode;
    c.dwBitrate = kbps;
    c.dwMaxBitrate = kbps;
    c.nPreset = LQP_NOPRESET;
    c.nVbrMethod = VBR_METHOD_NONE;
    c.bNoRes = -1;
    return c;
}

std::vector<int16_t> tone(uint32_t rate, int channels, double seconds, double freq = 1000) {
    const size_t n = size_t(rate * seconds);
    std::vector<int16_t> pcm(n * size_t(channels));
    for (size_t i = 0; i < n; ++i) {
        // A little second harmonic keeps VBR busy without moving the pitch.
        const double t = double(i) / rate;
        const double v = 9000 * std::sin(2 * M_PI * freq * t) +
                         (i / (rate / 4)) % 2 * 3000 * std::sin(2 * M_PI * 3 * freq * t);
        for (int c = 0; c < channels; ++c)
            pcm[i * size_t(channels) + size_t(c)] = int16_t(v);
    }
    return pcm;
}

// Encodes pcm chunk by chunk; the bytes of every call appended.
std::vector<uint8_t> encodeAll(BE_CONFIG c, const std::vector<int16_t>& pcm) {
    uint32_t samples = 0, bufSize = 0, h = 0;
    EXPECT_EQ(api().init(&c, &samples, &bufSize, &h), 0u);
    std::vector<uint8_t> buf(bufSize), out;
    for (size_t pos = 0; pos < pcm.size(); pos += samples) {
        const uint32_t n = uint32_t(std::min<size_t>(samples, pcm.size() - pos));
        uint32_t written = 0;
        EXPECT_EQ(api().encode(h, n, pcm.data() + pos, buf.data(), &written), 0u);
        EXPECT_LE(written, bufSize);
        out.insert(out.end(), buf.begin(), buf.begin() + written);
    }
    uint32_t written = 0;
    EXPECT_EQ(api().deinit(h, buf.data(), &written), 0u);
    out.insert(out.end(), buf.begin(), buf.begin() + written);
    EXPECT_EQ(api().close(h), 0u);
    return out;
}

// main_data_begin of a layer III frame: 0 when the frame borrows nothing
// from the bit reservoir.
int mainDataBegin(const std::vector<uint8_t>& d, const Mp3Frame& f) {
    const size_t p = f.offset + 4 + (f.crc ? 2 : 0);
    return f.version == 1 ? (d[p] << 1 | d[p + 1] >> 7) : d[p];
}

class Mp3EncLibrary : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(api().module, nullptr) << "cannot load " << MP3ENC_PATH; }
};

TEST_F(Mp3EncLibrary, AnswersChunkAndBufferSizesThatFitOneChunk) {
    for (int32_t mode : {BE_MP3_MODE_STEREO, BE_MP3_MODE_MONO}) {
        BE_CONFIG c = recorderConfig(44100, mode, 320);
        uint32_t samples = 0, bufSize = 0, h = 0xFFFFFFFF;
        ASSERT_EQ(api().init(&c, &samples, &bufSize, &h), 0u);
        EXPECT_EQ(samples, mode == BE_MP3_MODE_MONO ? 1152u : 2304u);
        EXPECT_GE(bufSize, 1152u * 5 / 4 + 7200);
        EXPECT_NE(h, 0xFFFFFFFFu);
        // Loud noise at the highest rate still fits, chunk after chunk.
        std::vector<int16_t> noise(samples);
        uint32_t seed = 1;
        for (auto& s : noise)
            s = int16_t((seed = seed * 1664525 + 1013904223) >> 16);
        std::vector<uint8_t> buf(bufSize);
        for (int i = 0; i < 50; ++i) {
            uint32_t written = 0;
            ASSERT_EQ(api().encode(h, samples, noise.data(), buf.data(), &written), 0u);
            EXPECT_LE(written, bufSize);
        }
        uint32_t written = 0;
        EXPECT_EQ(api().deinit(h, buf.data(), &written), 0u);
        EXPECT_LE(written, bufSize);
        EXPECT_EQ(api().close(h), 0u);
    }
}

TEST_F(Mp3EncLibrary, RefusesInvalidRecordsWithoutCrashing) {
    uint32_t samples, bufSize, h;
    auto refused = [&](BE_CONFIG c) { return api().init(&c, &samples, &bufSize, &h) != 0; };
    BE_CONFIG c = recorderConfig();
    c.dwConfig = 1;
    EXPECT_TRUE(refused(c));
    c = recorderConfig();
    c.dwStructSize = 94;
    EXPECT_TRUE(refused(c));
    EXPECT_TRUE(refused(recorderConfig(0)));
    EXPECT_TRUE(refused(recorderConfig(4000)));
    EXPECT_TRUE(refused(recorderConfig(400000)));
    c = recorderConfig();
    c.dwReSampleRate = 12345; // not a rate MPEG audio can carry
    EXPECT_TRUE(refused(c));
    EXPECT_TRUE(refused(recorderConfig(44100, BE_MP3_MODE_STEREO, 0)));
    EXPECT_TRUE(refused(recorderConfig(44100, BE_MP3_MODE_STEREO, 100)));
    EXPECT_TRUE(refused(recorderConfig(44100, 4)));
    EXPECT_TRUE(refused(recorderConfig(44100, -1)));
    c = recorderConfig();
    c.bEnableVBR = -1;
    c.nVBRQuality = 10;
    EXPECT_TRUE(refused(c));
    c.nVBRQuality = 2;
    c.dwBitrate = 192;
    c.dwMaxBitrate = 64; // minimum above maximum
    EXPECT_TRUE(refused(c));
    c.dwBitrate = 64;
    c.dwMaxBitrate = 192;
    c.nVbrMethod = 9;
    EXPECT_TRUE(refused(c));
    c = recorderConfig();
    c.nQuality = 0x1234;
    EXPECT_TRUE(refused(c));
    c = recorderConfig();
    c.nPreset = 12345;
    EXPECT_TRUE(refused(c));
    c = recorderConfig();
    c.dwEmphasis = 2;
    EXPECT_TRUE(refused(c));

    c = recorderConfig();
    EXPECT_NE(api().init(nullptr, &samples, &bufSize, &h), 0u);
    EXPECT_NE(api().init(&c, nullptr, &bufSize, &h), 0u);
    EXPECT_NE(api().init(&c, &samples, &bufSize, nullptr), 0u);

    // Records LAME accepts after all: quality in the low byte with its
    // complement above it, resampling to a rate asked for, or to the nearest
    // MPEG rate when the input rate is not one.
    c = recorderConfig(12345);
    ASSERT_EQ(api().init(&c, &samples, &bufSize, &h), 0u);
    EXPECT_EQ(api().close(h), 0u);
    c.dwReSampleRate = 22050;
    c.nQuality = uint16_t(2 | (uint16_t(~2u & 0xFF) << 8));
    ASSERT_EQ(api().init(&c, &samples, &bufSize, &h), 0u);
    EXPECT_EQ(api().close(h), 0u);
}

TEST_F(Mp3EncLibrary, StreamCallsCheckHandlesAndSizes) {
    BE_CONFIG c = recorderConfig();
    uint32_t samples = 0, bufSize = 0, h = 0;
    ASSERT_EQ(api().init(&c, &samples, &bufSize, &h), 0u);
    std::vector<int16_t> pcm(samples * 2);
    std::vector<uint8_t> buf(bufSize);
    uint32_t written = 77;
    // More than one chunk would not fit the buffer the caller was told to use.
    EXPECT_NE(api().encode(h, samples + 2, pcm.data(), buf.data(), &written), 0u);
    EXPECT_EQ(written, 0u);
    EXPECT_NE(api().encode(h + 1000, samples, pcm.data(), buf.data(), &written), 0u);
    EXPECT_NE(api().encode(h, samples, nullptr, buf.data(), &written), 0u);
    EXPECT_NE(api().encode(h, samples, pcm.data(), nullptr, &written), 0u);
    EXPECT_EQ(api().encode(h, 0, nullptr, nullptr, &written), 0u);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(api().encode(h, 1, pcm.data(), buf.data(), &written), 0u); // half a stereo sample
    EXPECT_EQ(api().deinit(h, buf.data(), &written), 0u);
    EXPECT_NE(api().encode(h, samples, pcm.data(), buf.data(), &written), 0u); // finished
    EXPECT_EQ(api().close(h), 0u);
    EXPECT_NE(api().close(h), 0u);
    EXPECT_NE(api().deinit(h, buf.data(), &written), 0u);
}

TEST_F(Mp3EncLibrary, FrameHeadersCarryModeBitRateAndFlags) {
    struct Case {
        int32_t mode;
        bool flags;
        int headerMode;
    };
    for (const Case k :
         {Case{BE_MP3_MODE_STEREO, true, 0}, Case{BE_MP3_MODE_JSTEREO, false, 1},
          Case{BE_MP3_MODE_DUALCHANNEL, true, 2}, Case{BE_MP3_MODE_MONO, false, 3}}) {
        SCOPED_TRACE(k.mode);
        const int channels = k.mode == BE_MP3_MODE_MONO ? 1 : 2;
        BE_CONFIG c = recorderConfig(44100, k.mode, k.mode == BE_MP3_MODE_MONO ? 64 : 160);
        c.bPrivate = c.bCRC = c.bCopyright = c.bOriginal = k.flags ? -1 : 0;
        std::vector<uint8_t> mp3 = encodeAll(c, tone(44100, channels, 1.0));
        std::vector<Mp3Frame> frames;
        std::string why;
        ASSERT_TRUE(parseMp3Frames(mp3, frames, &why)) << why;
        ASSERT_GE(frames.size(), 38u);
        for (const Mp3Frame& f : frames) {
            ASSERT_EQ(f.version, 1);
            ASSERT_EQ(f.sampleRate, 44100);
            ASSERT_EQ(f.bitrate, int(c.dwBitrate));
            ASSERT_EQ(f.mode, k.headerMode);
            ASSERT_EQ(f.privateBit, k.flags);
            ASSERT_EQ(f.crc, k.flags);
            ASSERT_EQ(f.copyright, k.flags);
            ASSERT_EQ(f.original, k.flags);
        }
    }
}

TEST_F(Mp3EncLibrary, BitReservoirFollowsNoResFlag) {
    const std::vector<int16_t> pcm = tone(44100, 2, 1.0);
    for (bool noRes : {true, false}) {
        BE_CONFIG c = recorderConfig(44100, BE_MP3_MODE_JSTEREO, 128);
        c.bNoRes = noRes ? -1 : 0;
        std::vector<uint8_t> mp3 = encodeAll(c, pcm);
        std::vector<Mp3Frame> frames;
        ASSERT_TRUE(parseMp3Frames(mp3, frames));
        int borrowing = 0;
        for (const Mp3Frame& f : frames)
            borrowing += mainDataBegin(mp3, f) != 0;
        if (noRes)
            EXPECT_EQ(borrowing, 0);
        else
            EXPECT_GT(borrowing, 0);
    }
}

TEST_F(Mp3EncLibrary, VbrStaysWithinItsLimitsAndVaries) {
    BE_CONFIG c = recorderConfig(44100, BE_MP3_MODE_JSTEREO, 64);
    c.dwMaxBitrate = 192;
    c.bEnableVBR = -1;
    c.nVBRQuality = 2;
    c.nVbrMethod = VBR_METHOD_NEW;
    // Silence, a tone and noise make the encoder pick different rates.
    std::vector<int16_t> pcm(44100 * 2, 0);
    const std::vector<int16_t> t = tone(44100, 2, 1.0);
    pcm.insert(pcm.end(), t.begin(), t.end());
    uint32_t seed = 7;
    for (int i = 0; i < 44100 * 2; ++i)
        pcm.push_back(int16_t(int32_t((seed = seed * 1664525 + 1013904223) >> 16) / 3));
    std::vector<uint8_t> mp3 = encodeAll(c, pcm);
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
}

TEST_F(Mp3EncLibrary, VersionNamesTheEngine) {
    BE_VERSION v;
    std::memset(&v, 0xAB, sizeof v);
    api().version(&v);
    EXPECT_EQ(v.byDLLMajorVersion, 1);
    EXPECT_EQ(v.byMajorVersion, 3); // LAME 3.x
    EXPECT_NE(std::string(v.zDescription).find("LAME"), std::string::npos);
    EXPECT_GE(v.wYear, 2024);
    EXPECT_EQ(v.btReserved[0], 0);
    api().version(nullptr); // ignored
}

TEST_F(Mp3EncLibrary, VbrHeaderReplacesThePlaceholderFrame) {
    BE_CONFIG c = recorderConfig(44100, BE_MP3_MODE_JSTEREO, 0);
    c.dwMaxBitrate = 0;
    c.bEnableVBR = -1;
    c.nVBRQuality = 4;
    c.nVbrMethod = VBR_METHOD_NEW;
    c.bWriteVBRHeader = -1;
    std::vector<uint8_t> mp3 = encodeAll(c, tone(44100, 2, 1.0));
    const std::string path =
        (std::filesystem::temp_directory_path() / ("vbrhdr-" + std::to_string(::getpid()) + ".mp3"))
            .string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(mp3.data()), std::streamsize(mp3.size()));
    ASSERT_EQ(api().vbrHeader(path.c_str()), 0u);
    std::vector<uint8_t> after = readFileBytes(path);
    ASSERT_EQ(after.size(), mp3.size());
    EXPECT_NE(after, mp3); // the frame count and table were filled in
    const std::string head(after.begin(), after.begin() + 64);
    EXPECT_NE(head.find("Xing"), std::string::npos);
    EXPECT_EQ(std::string(mp3.begin(), mp3.begin() + 64).find("Xing"), std::string::npos);
    std::vector<Mp3Frame> frames;
    EXPECT_TRUE(parseMp3Frames(after, frames));

    // A file that does not start with the placeholder is left alone.
    std::ofstream(path, std::ios::binary | std::ios::trunc) << "not an mp3 file at all";
    EXPECT_NE(api().vbrHeader(path.c_str()), 0u);
    EXPECT_EQ(readFileBytes(path).size(), 22u);
    std::filesystem::remove(path);
    EXPECT_NE(api().vbrHeader(nullptr), 0u);
}

} // namespace
