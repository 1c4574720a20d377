#include "platform/acm/AcmCodecs.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Reference values of the G.711 expansion tables.
TEST(AcmCodecs, G711ExpandsToTheReferenceValues) {
    struct Vector {
        uint8_t code;
        int16_t alaw, mulaw;
    };
    const Vector vectors[] = {{0x00, -5504, -32124}, {0x01, -5248, -31100}, {0x2A, -32256, -5372},
                              {0x55, -8, -716},      {0x7F, -848, 0},       {0x80, 5504, 32124},
                              {0xAA, 32256, 5372},   {0xD5, 8, 716},        {0xFF, 848, 0}};
    for (const Vector& v : vectors) {
        EXPECT_EQ(alawToLinear(v.code), v.alaw) << int(v.code);
        EXPECT_EQ(mulawToLinear(v.code), v.mulaw) << int(v.code);
    }
    // Both laws are odd-symmetric around the sign bit.
    for (int c = 0; c < 128; ++c) {
        EXPECT_EQ(alawToLinear(uint8_t(c)), -alawToLinear(uint8_t(c | 0x80)));
        EXPECT_EQ(mulawToLinear(uint8_t(c)), -mulawToLinear(uint8_t(c | 0x80)));
    }
}

TEST(AcmCodecs, ImaBlockGeometry) {
    EXPECT_EQ(imaSamplesPerBlock(256, 1), 505u);
    EXPECT_EQ(imaSamplesPerBlock(512, 2), 505u);
    EXPECT_EQ(imaSamplesPerBlock(1024, 2), 1017u);
    // Blocks that cannot hold the headers and whole groups are refused.
    EXPECT_EQ(imaSamplesPerBlock(4, 1), 0u);
    EXPECT_EQ(imaSamplesPerBlock(10, 1), 0u);
    EXPECT_EQ(imaSamplesPerBlock(12, 2), 0u);
    EXPECT_EQ(imaSamplesPerBlock(256, 3), 0u);
}

TEST(AcmCodecs, ImaDecodesNibblesInOrderFromTheHeader) {
    // Predictor 1000, step index 0; nibbles 7 then 0 (low first), 8, 15.
    const uint8_t block[8] = {0xE8, 0x03, 0, 0, 0x07, 0xF8, 0x00, 0x00};
    int16_t out[9];
    imaDecodeBlock(block, 8, 1, out);
    EXPECT_EQ(out[0], 1000);
    EXPECT_EQ(out[1], 1000 + 11); // step 7: 7/8 + 7 + 7/2 + 7/4 -> 0+7+3+1
    // Index is now 8 (step 16): nibble 0 adds 16 >> 3.
    EXPECT_EQ(out[2], 1011 + 2);
    // Index 7 (step 14): nibble 8 subtracts 14 >> 3.
    EXPECT_EQ(out[3], 1013 - 1);
    // Index 6 (step 13): nibble 15 subtracts 1 + 3 + 6 + 13.
    EXPECT_EQ(out[4], 1012 - 23);
}

TEST(AcmCodecs, ImaDamagedHeaderIsClampedNotOverrun) {
    uint8_t block[256] = {0xFF, 0x7F, 200, 0};
    for (size_t i = 4; i < sizeof block; ++i)
        block[i] = 0x77; // large positive steps
    std::vector<int16_t> out(505);
    imaDecodeBlock(block, sizeof block, 1, out.data());
    for (int16_t v : out)
        EXPECT_EQ(v, 32767); // saturates instead of wrapping
}

TEST(AcmCodecs, PcmConversionBetweenDepthsAndChannelCounts) {
    const uint8_t stereo16[8] = {0x00, 0x10, 0x00, 0x30,
                                 0x00, 0x80, 0xFF, 0x7F}; // 4096,12288 | -32768,32767
    uint8_t mono16[4];
    convertPcm(stereo16, 16, 2, mono16, 16, 1, 2);
    EXPECT_EQ(int16_t(mono16[0] | mono16[1] << 8), 8192);
    EXPECT_EQ(int16_t(mono16[2] | mono16[3] << 8), 0);

    uint8_t mono8[2];
    convertPcm(stereo16, 16, 2, mono8, 8, 1, 2);
    EXPECT_EQ(mono8[0], 128 + 32);
    EXPECT_EQ(mono8[1], 128);

    const uint8_t eight[3] = {0, 128, 255};
    uint8_t wide[12];
    convertPcm(eight, 8, 1, wide, 16, 2, 3);
    EXPECT_EQ(int16_t(wide[0] | wide[1] << 8), -32768);
    EXPECT_EQ(int16_t(wide[2] | wide[3] << 8), -32768);
    EXPECT_EQ(int16_t(wide[4] | wide[5] << 8), 0);
    EXPECT_EQ(int16_t(wide[8] | wide[9] << 8), 127 << 8);
    // Loud 16-bit samples do not wrap when narrowed to 8 bits.
    const uint8_t loud[2] = {0xFF, 0x7F};
    uint8_t narrow[1];
    convertPcm(loud, 16, 1, narrow, 8, 1, 1);
    EXPECT_EQ(narrow[0], 255);
}

} // namespace
