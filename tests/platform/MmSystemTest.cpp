#include "platform/mmsystem.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

TEST(MmSystem, FillPcmFormatDerivesBlockAlignAndByteRate) {
    WAVEFORMATEX f;
    std::memset(&f, 0xAB, sizeof f);
    FillPcmFormat(f, 44100, 16, 2);
    EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(f.nBlockAlign, 4);
    EXPECT_EQ(f.nAvgBytesPerSec, 176400u);
    EXPECT_EQ(f.cbSize, 0);
    EXPECT_EQ(waveFormatRecordSize(f), 16u);

    FillPcmFormat(f, 11025, 8, 1);
    EXPECT_EQ(f.nBlockAlign, 1);
    EXPECT_EQ(f.nAvgBytesPerSec, 11025u);
}

TEST(MmSystem, SameWaveFormatComparesExtraBytesOnlyForCompressedFormats) {
    WAVEFORMATEX a, b;
    FillPcmFormat(a, 22050, 16, 1);
    FillPcmFormat(b, 22050, 16, 1);
    b.nAvgBytesPerSec = 1; // derived fields do not take part
    EXPECT_TRUE(SameWaveFormat(&a, &b));
    EXPECT_FALSE(SameWaveFormat(&a, nullptr));
    b.nChannels = 2;
    EXPECT_FALSE(SameWaveFormat(&a, &b));

    std::vector<uint8_t> x(sizeof(WAVEFORMATEX) + 2), y(sizeof(WAVEFORMATEX) + 2);
    auto* fx = reinterpret_cast<WAVEFORMATEX*>(x.data());
    auto* fy = reinterpret_cast<WAVEFORMATEX*>(y.data());
    FillPcmFormat(*fx, 8000, 4, 1);
    fx->wFormatTag = 0x11;
    fx->cbSize = 2;
    std::memcpy(fy, fx, x.size());
    x[18] = 1;
    y[18] = 1;
    EXPECT_TRUE(SameWaveFormat(fx, fy));
    y[19] = 7;
    EXPECT_FALSE(SameWaveFormat(fx, fy));
    EXPECT_EQ(waveFormatRecordSize(*fx), 20u);
}
