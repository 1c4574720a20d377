// Repairing recordings cut off before their sizes were written: stale and
// zero sizes, a partial last frame, RF64 files, and files that are not WAV
// files at all (which must never block).
#include "CaptureTestHelpers.h"

#include "capture/WaveHeader.h"
#include "capture/WaveRepair.h"
#include "capture/unaRiffStream.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace capture_test;

namespace {

// A recording of `bytes` sample bytes, 16-bit stereo, whose header gives
// `declared` bytes (an RF64 header past 4 GiB).
Bytes recording(uint32_t bytes, uint64_t declared) {
    wave_header::Image h = wave_header::build(pcm(44100, 16, 2));
    wave_header::setSizes(h, declared, 4);
    Bytes file(h.begin(), h.end());
    const Bytes data = pattern(bytes);
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

void setU32(Bytes& b, size_t at, uint32_t v) {
    std::memcpy(&b[at], &v, 4);
}

} // namespace

TEST(WaveRepairTest, StaleOrZeroSizesAreSetFromTheLengthInWholeFrames) {
    TempDir dir;
    const std::string name = dir.file("cut.wav");
    for (uint32_t stale : {0u, 4000u}) {
        Bytes file = recording(10000, 10000);
        file.push_back(0x55); // a frame cut in the middle
        file.push_back(0x66);
        setU32(file, 4, stale ? kWavHeader - 8 + stale : 0);
        setU32(file, kDataSizeAt, stale);
        writeFile(name, file);

        EXPECT_EQ(repairWaveFile(name), WaveRepairResult::Repaired);
        const Bytes fixed = readFile(name);
        ASSERT_EQ(fixed.size(), file.size()) << "nothing is cut off";
        EXPECT_EQ(u32At(fixed, kDataSizeAt), 10000u);
        EXPECT_EQ(u32At(fixed, 4), kWavHeader - 8 + 10000u);
        EXPECT_TRUE(std::equal(fixed.begin() + kWavHeader, fixed.end(), file.begin() + kWavHeader));

        unaRiffStream reader(name, false, false, nullptr);
        EXPECT_EQ(reader.riffStatus(), unaRiffStream::rsReady);
        EXPECT_EQ(reader.totalDataSize(), 10000u);
        // Once repaired, it stays as it is.
        EXPECT_EQ(repairWaveFile(name), WaveRepairResult::Intact);
    }

    // The classic 44-byte layout of other programs is repaired the same way.
    WAVEFORMATEX f = pcm(8000, 8, 1);
    Bytes body = {'W', 'A', 'V', 'E'};
    const Bytes fmtChunkBytes = fmtChunk(f);
    body.insert(body.end(), fmtChunkBytes.begin(), fmtChunkBytes.end());
    const Bytes data = chunk("data", pattern(501), 0, false);
    body.insert(body.end(), data.begin(), data.end());
    const Bytes classic = chunk("RIFF", body, 0, false);
    writeFile(name, classic);
    EXPECT_EQ(repairWaveFile(name), WaveRepairResult::Repaired);
    const Bytes fixed = readFile(name);
    EXPECT_EQ(u32At(fixed, 40), 501u);
    EXPECT_EQ(u32At(fixed, 4), fixed.size() - 8);
}

TEST(WaveRepairTest, IntactFilesAndFilesWithMoreChunksAreLeftAlone) {
    TempDir dir;
    const std::string name = dir.file("whole.wav");
    const Bytes whole = recording(4000, 4000);
    writeFile(name, whole);
    EXPECT_EQ(repairWaveFile(name), WaveRepairResult::Intact);
    EXPECT_EQ(readFile(name), whole);

    // A chunk after the data, covered by the RIFF size.
    Bytes more = whole;
    const Bytes list = chunk("LIST", Bytes{'I', 'N', 'F', 'O'});
    more.insert(more.end(), list.begin(), list.end());
    setU32(more, 4, uint32_t(more.size() - 8));
    writeFile(name, more);
    EXPECT_EQ(repairWaveFile(name), WaveRepairResult::Intact);
    EXPECT_EQ(readFile(name), more);
}

TEST(WaveRepairTest, Rf64SizesAreRepairedInTheDs64Chunk) {
    TempDir dir;
    const std::string name = dir.file("rf64.wav");
    writeFile(name, recording(6002, uint64_t(UINT32_MAX) + 1));

    EXPECT_EQ(repairWaveFile(name), WaveRepairResult::Repaired);
    const Bytes fixed = readFile(name);
    EXPECT_EQ(0, std::memcmp(fixed.data(), "RF64", 4));
    EXPECT_EQ(wave_header::getU64(&fixed[28]), 6000u);
    EXPECT_EQ(wave_header::getU64(&fixed[20]), kWavHeader - 8 + 6000u);
    EXPECT_EQ(wave_header::getU64(&fixed[36]), 1500u);
    unaRiffStream reader(name, false, false, nullptr);
    EXPECT_EQ(reader.riffStatus(), unaRiffStream::rsReady);
    EXPECT_EQ(reader.totalDataSize(), 6000u);
}

TEST(WaveRepairTest, WhatIsNotAWavFileIsNeverTouchedAndNeverBlocks) {
    TempDir dir;
    const std::string text = dir.file("notes.wav");
    writeFile(text, Bytes(300, 'x'));
    EXPECT_EQ(repairWaveFile(text), WaveRepairResult::NotWave);
    EXPECT_EQ(readFile(text), Bytes(300, 'x'));

    const std::string fifo = dir.file("pipe.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(repairWaveFile(fifo), WaveRepairResult::NotWave); // returns at once
    EXPECT_EQ(repairWaveFile(dir.path()), WaveRepairResult::NotWave);
    EXPECT_EQ(repairWaveFile(dir.file("missing.wav")), WaveRepairResult::Failed);
}
