#include "core/unaUtils.h"

#include "TestHelpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

TEST(Int2Str, DigitsSignsAndBases) {
    EXPECT_EQ(int2str(int32_t(-255), 16), "-FF");
    EXPECT_EQ(int2str(int32_t(0), 10, 3), "0");
    EXPECT_EQ(int2str(int32_t(0), 1), "0");
    EXPECT_EQ(int2str(int32_t(5), 1), "");
    EXPECT_EQ(int2str(int32_t(5), 17), "");
    EXPECT_EQ(int2str(uint32_t(0x10000004u), 16), "10000004");
    EXPECT_EQ(int2str(int32_t(INT32_MIN), 10), "-2147483648");
    EXPECT_EQ(int2str(uint32_t(UINT32_MAX), 2), std::string(32, '1'));
    EXPECT_EQ(int2str(uint16_t(65535), 10), "65535");
}

TEST(Int2Str, GroupsCountFromTheRightAndSignComesAfterGrouping) {
    EXPECT_EQ(int2str(int32_t(1234567), 10, 3, ','), "1,234,567");
    EXPECT_EQ(int2str(uint32_t(44100), 10, 3, ','), "44,100");
    EXPECT_EQ(int2str(int32_t(-123456), 10, 3, ' '), "-123 456");
    EXPECT_EQ(int2str(int32_t(999), 10, 3, ','), "999");
    EXPECT_EQ(int2str(uint32_t(0xABCD), 16, 2, ':'), "AB:CD");
}

TEST(Str2Int, LenientPrefixesAndSuffixes) {
    EXPECT_EQ(str2int("40", 128, 10), 40);
    EXPECT_EQ(str2int("", 128, 10), 128);
    EXPECT_EQ(str2int("   ", 128, 10), 128);
    EXPECT_EQ(str2int("1F", 128, 16), 31);
    EXPECT_EQ(str2int("$1F", 128, 10), 31);
    EXPECT_EQ(str2int("0x1f", 128, 10), 31);
    EXPECT_EQ(str2int("12h", 128, 10), 18);
    EXPECT_EQ(str2int("-7", 128, 10), -7);
    EXPECT_EQ(str2int(" +42 ", 0, 10), 42);
    EXPECT_EQ(str2int("007", 0, 10), 7);
    EXPECT_EQ(str2int("0", 9, 10), 0);
    EXPECT_EQ(str2int("4x2", 128, 10), 128);
    EXPECT_EQ(str2int("-", 128, 10), 128);
    EXPECT_EQ(str2int("12 3", 128, 10), 128);
    EXPECT_EQ(str2int("?5", 128, 10), 128);
    // hex letters are digits even in base 10: they are not checked against it
    EXPECT_EQ(str2int("1A", 0, 10), 20);
}

TEST(Str2Int, BaseLimitsAndWideBases) {
    EXPECT_EQ(str2int("10", 77, 1), 77);
    EXPECT_EQ(str2int("10", 77, 257), 77);
    EXPECT_EQ(str2int("101", 0, 2), 5);
    // above 16 every byte is its own digit value
    EXPECT_EQ(str2int("AB", 0, 256), 65 * 256 + 66);
    EXPECT_EQ(str2int("9223372036854775807", 0, 10), INT64_MAX);
}

TEST(TrimStr, KeepsLastByteWhenTrimmingOnlyTheStart) {
    EXPECT_EQ(trimStr("  a b \t\n"), "a b");
    EXPECT_EQ(trimStr("  a ", true, false), "a ");
    EXPECT_EQ(trimStr("  a ", false, true), "  a");
    EXPECT_EQ(trimStr("   ", true, false), " ");
    EXPECT_EQ(trimStr("   ", true, true), "");
    EXPECT_EQ(trimStr("", true, true), "");
    EXPECT_EQ(trimStr("x", true, true), "x");
    // bytes above 127 (UTF-8) are not blanks
    EXPECT_EQ(trimStr(" \xC3\xA9 "), "\xC3\xA9");
}

TEST(Utils, ChoiceGcdAndBlocks) {
    EXPECT_EQ(choice(true, 1, 2), 1);
    EXPECT_EQ(choice(false, std::string("a"), std::string("b")), "b");
    int x = 0, y = 0;
    EXPECT_EQ(choice(false, &x, &y), &y);

    EXPECT_EQ(gcd(0, 7), 1u);
    EXPECT_EQ(gcd(7, 0), 1u);
    EXPECT_EQ(gcd(12, 18), 6u);
    EXPECT_EQ(gcd(18, 12), 6u);
    EXPECT_EQ(gcd(44100, 48000), 300u);

    EXPECT_EQ(allocBlock(0, true, 1), nullptr);
    auto* b = static_cast<uint8_t*>(allocBlock(8, true, 0x5A));
    ASSERT_NE(b, nullptr);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(b[i], 0x5A);
    EXPECT_NE(resizeBlock(b, 4096), nullptr);
    EXPECT_EQ(b[7], 0x5A); // contents kept
    EXPECT_EQ(resizeBlock(b, 0), nullptr);
    EXPECT_EQ(b, nullptr);
    uint8_t* grown = nullptr;
    EXPECT_NE(resizeBlock(grown, 3), nullptr);
    freeBlock(grown);
    EXPECT_EQ(grown, nullptr);
}

TEST(Utils, FreeObjectRefClearsTheVariableBeforeDestroying) {
    struct Probe {
        Probe*& holder;
        bool* sawNull;
        ~Probe() { *sawNull = (holder == nullptr); }
    };
    bool sawNull = false;
    Probe* p = nullptr;
    p = new Probe{p, &sawNull};
    EXPECT_TRUE(freeObjectRef(p));
    EXPECT_EQ(p, nullptr);
    EXPECT_TRUE(sawNull);
    EXPECT_TRUE(freeObjectRef(p)); // empty: nothing to do
}

TEST(Base64, RoundTripsAndSkipsForeignCharacters) {
    EXPECT_EQ(base64Encode("f", 1), "Zg==");
    EXPECT_EQ(base64Encode("fo", 2), "Zm8=");
    EXPECT_EQ(base64Encode("foobar", 6), "Zm9vYmFy");
    EXPECT_EQ(base64Encode(nullptr, 5), "");
    EXPECT_EQ(base64Decode("Zm9vYmFy"), "foobar");
    EXPECT_EQ(base64Decode("Zg=="), "f");
    EXPECT_EQ(base64Decode("Zm8"), "fo");
    EXPECT_EQ(base64Decode("Zm9v\r\nY m F y!"), "foobar");
    EXPECT_EQ(base64Decode("Zm9vY"), "foo"); // a trailing single symbol gives nothing
    EXPECT_EQ(base64Decode("===="), "");

    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(char(i));
    for (size_t n = 0; n <= all.size(); n += 37)
        EXPECT_EQ(base64Decode(base64Encode(all.data(), n)), all.substr(0, n));
}

TEST(WaveFormatText, PcmUses16BytesAndDecodesIntoAFullRecord) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 2;
    f.nSamplesPerSec = 44100;
    f.nAvgBytesPerSec = 176400;
    f.nBlockAlign = 4;
    f.wBitsPerSample = 16;
    const std::string text = format2str(&f);
    EXPECT_EQ(text.size(), 24u);
    EXPECT_EQ(base64Decode(text).size(), 16u);

    WAVEFORMATEX* back = static_cast<WAVEFORMATEX*>(allocBlock(4, true, 0xFF));
    ASSERT_TRUE(str2format(text, back));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(std::memcmp(back, &f, 16), 0);
    EXPECT_EQ(back->cbSize, 0); // readable, and zero
    freeBlock(back);
}

TEST(WaveFormatText, CompressedFormatsCarryTheirExtraBytes) {
    std::vector<uint8_t> rec(18 + 4);
    auto* f = reinterpret_cast<WAVEFORMATEX*>(rec.data());
    f->wFormatTag = 0x55;
    f->nChannels = 2;
    f->cbSize = 4;
    rec[18] = 1, rec[19] = 2, rec[20] = 3, rec[21] = 4;
    const std::string text = format2str(f);
    EXPECT_EQ(base64Decode(text).size(), 22u);

    WAVEFORMATEX* back = nullptr;
    ASSERT_TRUE(str2format(text, back));
    EXPECT_EQ(std::memcmp(back, rec.data(), rec.size()), 0);

    // a text that announces more extra bytes than it carries still yields a
    // block covering the announced record
    f->cbSize = 100;
    const std::string shortText = base64Encode(rec.data(), 18);
    ASSERT_TRUE(str2format(shortText, back));
    EXPECT_EQ(waveFormatRecordSize(*back), 118u);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(back)[117], 0);

    WAVEFORMATEX* kept = back;
    EXPECT_FALSE(str2format("!!==", back));
    EXPECT_EQ(back, kept);
    freeBlock(back);
}

TEST(Files, AppendCreatesAppendsAndReportsBadInput) {
    const std::string path = scratchFile("utils_append");
    EXPECT_FALSE(fileExists(path));
    EXPECT_EQ(AppendToFile(path, "abc", 3), 0);
    EXPECT_TRUE(fileExists(path));
    EXPECT_EQ(AppendToFile(path, "de", 2), 0);
    EXPECT_EQ(AppendToFile(path, "zz", 0), 0);
    EXPECT_EQ(AppendToFile(path, nullptr, 5), 0);
    EXPECT_EQ(fileContent(path), "abcde");

    EXPECT_EQ(AppendToFile("", "x", 1), -1);
    EXPECT_EQ(AppendToFile(scratchFile("utils_nodir") + "/sub/file", "x", 1), -2);
    std::remove(path.c_str());

    EXPECT_FALSE(fileExists(""));
    EXPECT_TRUE(fileExists(::testing::TempDir())); // a folder counts
}

TEST(Files, AppendReportsAFullDisk) {
    if (!fileExists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    EXPECT_EQ(AppendToFile("/dev/full", "x", 1), -3);
}

TEST(WaveLevel, RmsOfConstantAndDeltaSignals) {
    std::vector<int16_t> s(100, 1000);
    EXPECT_EQ(waveLevel(s.data(), 100, 16, 0, 1), 1000u);
    EXPECT_EQ(waveLevel(s.data(), 1, 16, 0, 1, true), 1000u);
    EXPECT_EQ(waveLevel(s.data(), 100, 16, 0, 1, true), 100u);
    EXPECT_EQ(waveLevel(s.data(), 0, 16, 0, 1), 0u);
    EXPECT_EQ(waveLevel(s.data(), 10, 16, 1, 1), 0u);
    EXPECT_EQ(waveLevel(s.data(), 10, 16, 0, 0), 0u);
}

TEST(WaveLevel, PicksTheChannelOfInterleavedSamples) {
    std::vector<int16_t> st;
    for (int i = 0; i < 50; ++i) {
        st.push_back(300);
        st.push_back(i % 2 ? -4000 : 4000);
    }
    EXPECT_EQ(waveLevel(st.data(), 50, 16, 0, 2), 300u);
    EXPECT_EQ(waveLevel(st.data(), 50, 16, 1, 2), 4000u);

    std::vector<uint8_t> b8 = {128 + 2, 200, 128 + 2, 200};
    EXPECT_EQ(waveLevel(b8.data(), 2, 8, 0, 2), 512u);
    EXPECT_EQ(waveLevel(b8.data(), 2, 8, 1, 2), 72u * 256u);

    // full-scale 32-bit samples do not overflow the sum
    std::vector<int32_t> s32(1000, INT32_MIN);
    EXPECT_EQ(waveLevel(s32.data(), 1000, 32, 0, 1), 2147483648u);
    // 4-bit samples are read as the byte holding them, without reading past
    // the block (two samples per byte)
    std::vector<uint8_t> s4(1, 128 + 4);
    EXPECT_EQ(waveLevel(s4.data(), 2, 4, 0, 1), 1024u);
    // 24-bit samples are read within their own three bytes
    std::vector<uint8_t> s24 = {0x00, 0x10, 0x00, 0x00, 0xF0, 0xFF};
    EXPECT_EQ(waveLevel(s24.data(), 2, 24, 0, 1), 4096u);
}

TEST(InfoMessage, SilentByDefaultAndRoutedToASink) {
    EXPECT_TRUE(infoMessage("nothing listens"));
    std::string got;
    setInfoMessageSink([&](const std::string& t) { got = t; });
    EXPECT_TRUE(infoMessage("hello"));
    setInfoMessageSink(nullptr);
    EXPECT_EQ(got, "hello");
    EXPECT_TRUE(infoMessage("off again"));
    EXPECT_EQ(got, "hello");
}
