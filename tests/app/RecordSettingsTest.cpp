#include "app/RecordSettings.h"

#include <gtest/gtest.h>

#include <set>

using namespace sonvale::app;

TEST(RecordSettings, ConstantRateConfigurationCarriesTheChosenRateAndFlags) {
    svar::TOptions o; // stereo, 128 kbit/s, noise reduction on, 44100
    o.MP3UseCRC = true;
    o.MP3UseOriginal = true;
    const BE_CONFIG c = MakeMp3Config(o);
    EXPECT_EQ(c.dwConfig, 256u);
    EXPECT_EQ(c.dwStructVersion, 1u);
    EXPECT_EQ(c.dwStructSize, 331u);
    EXPECT_EQ(c.dwSampleRate, 44100u);
    EXPECT_EQ(c.nMode, 0);
    EXPECT_EQ(c.dwBitrate, 128u);
    EXPECT_EQ(c.dwMaxBitrate, 128u);
    EXPECT_EQ(c.nPreset, -1);
    EXPECT_EQ(c.bCRC, -1);
    EXPECT_EQ(c.bOriginal, -1);
    EXPECT_EQ(c.bCopyright, 0);
    EXPECT_EQ(c.bPrivate, 0);
    EXPECT_EQ(c.bEnableVBR, 0);
    EXPECT_EQ(c.nVbrMethod, -1);
    EXPECT_EQ(c.bNoRes, 0) << "noise reduction on keeps the bit reservoir";
    EXPECT_EQ(c.nVBRQuality, 5);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&c);
    for (size_t i = offsetof(BE_CONFIG, btReserved); i < sizeof c; ++i)
        ASSERT_EQ(bytes[i], 0) << i;
}

TEST(RecordSettings, VbrMonoConfigurationUsesTheLimitsAndMonoMode) {
    svar::TOptions o;
    o.MP3Mode = 0;
    o.MP3UseVBR = true;
    o.MP3BitsMin = 3;
    o.MP3BitsMax = 9;
    o.MP3VBRLevel = 2;
    o.IsNoiseReduction = false;
    o.WavRate = 2;
    const BE_CONFIG c = MakeMp3Config(o);
    EXPECT_EQ(c.nMode, 3);
    EXPECT_EQ(c.dwBitrate, 64u);
    EXPECT_EQ(c.dwMaxBitrate, 192u);
    EXPECT_EQ(c.nVbrMethod, 2);
    EXPECT_EQ(c.bEnableVBR, -1);
    EXPECT_EQ(c.nVBRQuality, 2);
    EXPECT_EQ(c.bNoRes, -1);
    EXPECT_EQ(c.dwSampleRate, 11025u);
}

TEST(RecordSettings, IndicesOutsideTheListsGiveNoValue) {
    svar::TOptions o;
    o.WavRate = 3;
    o.MP3Mode = 7;
    o.MP3Bits = 13;
    const BE_CONFIG c = MakeMp3Config(o);
    EXPECT_EQ(c.dwSampleRate, 0u);
    EXPECT_EQ(c.nMode, 0);
    EXPECT_EQ(c.dwBitrate, 0u);
    EXPECT_EQ(BitRateOf(-1), 0u);
    EXPECT_FALSE(WavChannelsOf(2).has_value());
    EXPECT_FALSE(WavBitsOf(-1).has_value());
    EXPECT_EQ(WavRateOf(1), 22050u);
}

TEST(RecordSettings, ErrorCodesAreUpperCaseHexadecimal) {
    EXPECT_EQ(ErrorCodeText(26), "1A");
    EXPECT_EQ(ErrorCodeText(0x10000004), "10000004");
    EXPECT_EQ(ErrorCodeText(-26), "-1A");
    EXPECT_EQ(ErrorCodeText(0), "0");
}

TEST(RecordSettings, NewRecordingTakesTheFirstFreeNumber) {
    std::set<std::string> taken{"/r/Untitled1.wav", "/r/Untitled2.wav"};
    int pumped = 0;
    auto exists = [&](const std::string& n) { return taken.count(n) > 0; };
    EXPECT_EQ(NewRecordingName("/r/", ".wav", exists, [&] { ++pumped; }), "/r/Untitled3.wav");
    EXPECT_EQ(pumped, 2);
    taken = {"/r/Untitled2.wav"};
    EXPECT_EQ(NewRecordingName("/r/", ".wav", exists), "/r/Untitled1.wav");
    EXPECT_EQ(NewRecordingName("/r/", ".mp3", exists), "/r/Untitled1.mp3");
}

TEST(RecordSettings, ExtensionsAreReplacedInTheFileNameOnly) {
    EXPECT_EQ(ReplaceExtension("/a/b.mp3", ".wav"), "/a/b.wav");
    EXPECT_EQ(ReplaceExtension("/a.d/copy", ".wav"), "/a.d/copy.wav");
    EXPECT_EQ(ReplaceExtension("/a/copy.txt", ".wav"), "/a/copy.wav");
    EXPECT_EQ(LowerExtension("/a/B.WAV"), ".wav");
    EXPECT_EQ(LowerExtension("/a.b/c"), "");
}

TEST(RecordSettings, VolumeScaleRoundsHalvesToEven) {
    EXPECT_EQ(SliderToVolume(100), 65535);
    EXPECT_EQ(SliderToVolume(50), 32768);
    EXPECT_EQ(SliderToVolume(0), 0);
    EXPECT_EQ(SliderToVolume(10), 6554); // 6553.5 -> even
    EXPECT_EQ(VolumeToSlider(32768), 50);
    EXPECT_EQ(VolumeToSlider(65535), 100);
    EXPECT_EQ(VolumeToSlider(0), 0);
    for (int s = 0; s <= 100; ++s)
        ASSERT_EQ(VolumeToSlider(SliderToVolume(s)), s);
    EXPECT_EQ(RoundHalfEven(5, 2), 2u);
    EXPECT_EQ(RoundHalfEven(7, 2), 4u);
}
