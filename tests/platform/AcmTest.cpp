#include "platform/acm/Acm.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<HACMDRIVERID> drivers() {
    std::vector<HACMDRIVERID> out;
    acmDriverEnum(
        [&](HACMDRIVERID id, uint32_t) {
            out.push_back(id);
            return true;
        },
        0);
    return out;
}

// The lookup the recorder's compression registry makes: PCM by ids, other
// tags by the first driver listing them.
HACMDRIVERID driverForTag(uint32_t tag) {
    for (HACMDRIVERID id : drivers()) {
        ACMDRIVERDETAILS d;
        acmDriverDetailsA(id, &d, 0);
        if (tag == WAVE_FORMAT_PCM) {
            if (d.wMid == 1 && d.wPid == 38)
                return id;
            continue;
        }
        HACMDRIVER h = nullptr;
        EXPECT_EQ(acmDriverOpen(&h, id, 0), MMR_NOERROR);
        bool found = false;
        acmFormatTagEnumA(
            h,
            [&](HACMDRIVERID, const ACMFORMATTAGDETAILS& t) {
                found = found || t.dwFormatTag == tag;
                return !found;
            },
            0);
        acmDriverClose(h, 0);
        if (found)
            return id;
    }
    return nullptr;
}

TEST(Acm, DriversDetailsTagsAndMetrics) {
    EXPECT_EQ(acmGetVersion() >> 24, 4u);
    auto ids = drivers();
    ASSERT_EQ(ids.size(), 3u);
    ACMDRIVERDETAILS d;
    ASSERT_EQ(acmDriverDetailsA(ids[0], &d, 0), MMR_NOERROR);
    EXPECT_EQ(d.wMid, 1);
    EXPECT_EQ(d.wPid, 38);
    EXPECT_GT(std::strlen(d.szShortName), 0u);
    EXPECT_EQ(driverForTag(WAVE_FORMAT_PCM), ids[0]);
    EXPECT_EQ(driverForTag(WAVE_FORMAT_ALAW), ids[1]);
    EXPECT_EQ(driverForTag(WAVE_FORMAT_MULAW), ids[1]);
    EXPECT_EQ(driverForTag(WAVE_FORMAT_IMA_ADPCM), ids[2]);
    EXPECT_EQ(driverForTag(0x55), nullptr);

    EXPECT_EQ(maxFormatSize(), 20u);
    EXPECT_EQ(maxFormatSize(ids[0]), 16u);
    HACMDRIVER h = nullptr;
    ASSERT_EQ(acmDriverOpen(&h, ids[1], 0), MMR_NOERROR);
    EXPECT_EQ(maxFormatSize(h), 18u);
    EXPECT_EQ(acmDriverId(h), ids[1]);
    ASSERT_EQ(acmDriverClose(h, 0), MMR_NOERROR);
    // A closed handle makes the query fail, which reads as 0.
    EXPECT_EQ(maxFormatSize(h), 0u);
    EXPECT_EQ(acmDriverClose(h, 0), MMR_INVALHANDLE);
    uint32_t n = 0;
    EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_COUNT_DRIVERS, &n), MMR_NOERROR);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(acmMetrics(nullptr, 999, &n), MMR_NOTSUPPORTED);
}

WAVEFORMATEX g711(uint16_t tag, uint16_t channels) {
    WAVEFORMATEX f{tag, channels, 8000, 8000u * channels, channels, 8, 0};
    return f;
}

TEST(Acm, G711StreamDecodesWholeFramesAndSizesBothWays) {
    WAVEFORMATEX src = g711(WAVE_FORMAT_ALAW, 2), dst;
    ASSERT_EQ(acmFormatSuggest(nullptr, &src, &dst, sizeof dst, 0), MMR_NOERROR);
    EXPECT_EQ(dst.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(dst.wBitsPerSample, 16);
    EXPECT_EQ(dst.nChannels, 2);
    HACMSTREAM s = nullptr;
    ASSERT_EQ(acmStreamOpen(&s, nullptr, &src, &dst, 0), MMR_NOERROR);
    uint32_t out = 0;
    ASSERT_EQ(acmStreamSize(s, 801, &out, ACM_STREAMSIZEF_SOURCE), MMR_NOERROR);
    EXPECT_EQ(out, 1600u); // 400 whole stereo frames
    ASSERT_EQ(acmStreamSize(s, 1600, &out, ACM_STREAMSIZEF_DESTINATION), MMR_NOERROR);
    EXPECT_EQ(out, 800u);
    EXPECT_EQ(acmStreamSize(s, 1, &out, ACM_STREAMSIZEF_SOURCE), MMR_ACM_NOTPOSSIBLE);

    uint8_t in[5] = {0xD5, 0x55, 0x80, 0x00, 0x2A};
    uint8_t pcm[16] = {};
    ACMSTREAMHEADER h{sizeof h, 0, in, sizeof in, 0, pcm, sizeof pcm, 0};
    EXPECT_EQ(acmStreamConvert(s, &h, 0), MMR_ACM_UNPREPARED);
    ASSERT_EQ(acmStreamPrepareHeader(s, &h, 0), MMR_NOERROR);
    ASSERT_EQ(acmStreamConvert(s, &h, ACM_STREAMCONVERTF_BLOCKALIGN), MMR_NOERROR);
    EXPECT_EQ(h.cbSrcLengthUsed, 4u); // the odd byte is half a frame: left over
    EXPECT_EQ(h.cbDstLengthUsed, 8u);
    EXPECT_TRUE(h.fdwStatus & ACMSTREAMHEADER_STATUSF_DONE);
    const int16_t expect[4] = {8, -8, 5504, -5504};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(int16_t(pcm[i * 2] | pcm[i * 2 + 1] << 8), expect[i]);
    EXPECT_EQ(acmStreamUnprepareHeader(s, &h, 0), MMR_NOERROR);
    ASSERT_EQ(acmStreamClose(s, 0), MMR_NOERROR);
    EXPECT_EQ(acmStreamClose(s, 0), MMR_INVALHANDLE);
}

TEST(Acm, StreamOpenRefusesWhatNoDriverConverts) {
    WAVEFORMATEX pcm16;
    FillPcmFormat(pcm16, 8000, 16, 1);
    WAVEFORMATEX src = g711(WAVE_FORMAT_MULAW, 1);
    EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &src, &pcm16, ACM_STREAMOPENF_QUERY), MMR_NOERROR);
    WAVEFORMATEX wrongRate = pcm16;
    wrongRate.nSamplesPerSec = 11025;
    EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &src, &wrongRate, ACM_STREAMOPENF_QUERY),
              MMR_ACM_NOTPOSSIBLE);
    WAVEFORMATEX badBlock = src;
    badBlock.nBlockAlign = 0;
    EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &badBlock, &pcm16, ACM_STREAMOPENF_QUERY),
              MMR_ACM_NOTPOSSIBLE);
    IMAADPCMWAVEFORMAT ima{{WAVE_FORMAT_IMA_ADPCM, 1, 8000, 4055, 256, 4, 2}, 505};
    EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &ima.wfx, &pcm16, ACM_STREAMOPENF_QUERY),
              MMR_NOERROR);
    ima.wSamplesPerBlock = 600; // disagrees with the block size
    EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &ima.wfx, &pcm16, ACM_STREAMOPENF_QUERY),
              MMR_ACM_NOTPOSSIBLE);
    ima.wSamplesPerBlock = 505;
    ima.wfx.nBlockAlign = 3;
    EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &ima.wfx, &pcm16, ACM_STREAMOPENF_QUERY),
              MMR_ACM_NOTPOSSIBLE);
    WAVEFORMATEX unknown = g711(0x55, 1);
    EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &unknown, &pcm16, ACM_STREAMOPENF_QUERY),
              MMR_ACM_NOTPOSSIBLE);
    WAVEFORMATEX dst;
    EXPECT_EQ(acmFormatSuggest(nullptr, &unknown, &dst, sizeof dst, 0), MMR_ACM_NOTPOSSIBLE);
}

TEST(Acm, PcmConverterChangesDepthAndChannels) {
    WAVEFORMATEX src, dst;
    FillPcmFormat(src, 22050, 16, 2);
    FillPcmFormat(dst, 22050, 8, 1);
    HACMSTREAM s = nullptr;
    ASSERT_EQ(acmStreamOpen(&s, nullptr, &src, &dst, 0), MMR_NOERROR);
    int16_t in[4] = {1000, 3000, -32768, -32768};
    uint8_t out[2];
    ACMSTREAMHEADER h{sizeof h,   0, reinterpret_cast<uint8_t*>(in), sizeof in, 0, out,
                      sizeof out, 0};
    ASSERT_EQ(acmStreamPrepareHeader(s, &h, 0), MMR_NOERROR);
    ASSERT_EQ(acmStreamConvert(s, &h, 0), MMR_NOERROR);
    EXPECT_EQ(out[0], 128 + 8);
    EXPECT_EQ(out[1], 0);
    acmStreamClose(s, 0);
    // A rate change is not something the converter does.
    dst.nSamplesPerSec = 44100;
    dst.nAvgBytesPerSec = 44100;
    EXPECT_EQ(acmStreamOpen(&s, nullptr, &src, &dst, 0), MMR_ACM_NOTPOSSIBLE);
}

// Reads the first "fmt " and "data" chunks of a WAV file.
bool readWav(const std::string& path, std::vector<uint8_t>& fmt, std::vector<uint8_t>& data) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (size_t pos = 12; pos + 8 <= f.size();) {
        uint32_t size =
            f[pos + 4] | f[pos + 5] << 8 | f[pos + 6] << 16 | uint32_t(f[pos + 7]) << 24;
        if (pos + 8 + size > f.size())
            size = uint32_t(f.size() - pos - 8);
        auto begin = f.begin() + long(pos + 8);
        if (std::memcmp(&f[pos], "fmt ", 4) == 0)
            fmt.assign(begin, begin + size);
        else if (std::memcmp(&f[pos], "data", 4) == 0)
            data.assign(begin, begin + size);
        pos += 8 + size + (size & 1);
    }
    return !fmt.empty() && !data.empty();
}

// Decodes an IMA ADPCM file made by an independent tool and compares the
// samples with that tool's own decoding.
TEST(Acm, ImaDecodingMatchesAnIndependentDecoder) {
    if (std::system("sox --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "sox is not installed";
    char dir[] = "/tmp/sonvale-ima-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string d = dir;
    const std::string cmd = "sox -n -r 11025 -c 2 " + d +
                            "/t.wav synth 0.5 sine 440 sine 1250 && " + "sox " + d +
                            "/t.wav -e ima-adpcm " + d + "/ima.wav && " + "sox " + d +
                            "/ima.wav -e signed -b 16 " + d + "/dec.wav";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::vector<uint8_t> fmt, ima, decFmt, dec;
    ASSERT_TRUE(readWav(d + "/ima.wav", fmt, ima));
    ASSERT_TRUE(readWav(d + "/dec.wav", decFmt, dec));
    std::system(("rm -rf " + d).c_str());
    ASSERT_GE(fmt.size(), sizeof(IMAADPCMWAVEFORMAT));
    const auto* src = reinterpret_cast<const WAVEFORMATEX*>(fmt.data());
    ASSERT_EQ(src->wFormatTag, WAVE_FORMAT_IMA_ADPCM);

    WAVEFORMATEX dst;
    ASSERT_EQ(acmFormatSuggest(nullptr, src, &dst, sizeof dst, 0), MMR_NOERROR);
    HACMSTREAM s = nullptr;
    ASSERT_EQ(acmStreamOpen(&s, nullptr, src, &dst, 0), MMR_NOERROR);
    uint32_t outSize = 0;
    ASSERT_EQ(acmStreamSize(s, uint32_t(ima.size()), &outSize, ACM_STREAMSIZEF_SOURCE),
              MMR_NOERROR);
    std::vector<uint8_t> pcm(outSize);
    ACMSTREAMHEADER h{sizeof h, 0, ima.data(), uint32_t(ima.size()), 0, pcm.data(), outSize, 0};
    ASSERT_EQ(acmStreamPrepareHeader(s, &h, 0), MMR_NOERROR);
    ASSERT_EQ(acmStreamConvert(s, &h, ACM_STREAMCONVERTF_BLOCKALIGN), MMR_NOERROR);
    acmStreamClose(s, 0);
    ASSERT_GT(h.cbDstLengthUsed, 0u);
    // The whole blocks agree sample for sample (the tool may trim the last block).
    const size_t n = std::min<size_t>(h.cbDstLengthUsed, dec.size());
    ASSERT_GT(n, 11025u);
    EXPECT_EQ(std::memcmp(pcm.data(), dec.data(), n), 0);
}

} // namespace
