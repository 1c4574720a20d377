// The RIFF WAVE stream: the writer's file layout and its failure paths, the
// reader over odd, nested, truncated and compressed files, and the chunk
// tree's bounds.
#include "CaptureTestHelpers.h"

#include "capture/WaveHeader.h"
#include "capture/unaMsAcm.h"
#include "capture/unaRiffStream.h"
#include "core/unaFileStream.h"
#include "core/unaUtils.h"
#include "platform/acm/Acm.h"

#include <gtest/gtest.h>

#include <mutex>

using namespace capture_test;

namespace {

// A file stream on a disk that is full once the file reaches `limit` bytes:
// writes within that size succeed, writes beyond it are cut.
class FullDiskStream : public unaFileStream {
public:
    FullDiskStream(const std::string& name, uint32_t limit)
        : unaFileStream(name, false), limit_(limit) {}
    uint32_t write(const void* buffer, uint32_t size) override {
        const uint32_t pos = uint32_t(getPosition());
        const uint32_t n = pos >= limit_ ? 0 : std::min(size, limit_ - pos);
        return n ? unaFileStream::write(buffer, n) : 0;
    }

private:
    uint32_t limit_;
};

// Records what a writer gets, closing after the bytes are in.
Bytes recordFile(const std::string& name, const WAVEFORMATEX& f, const Bytes& data,
                 uint32_t blocks = 7) {
    unaRiffStream writer(name, f, 1, nullptr);
    EXPECT_EQ(writer.riffStatus(), unaRiffStream::rsWriterReady);
    EXPECT_EQ(writer.open(), MMR_NOERROR);
    const size_t step = data.size() / blocks + 1;
    for (size_t pos = 0; pos < data.size(); pos += step)
        writer.write(data.data() + pos, uint32_t(std::min(step, data.size() - pos)));
    EXPECT_EQ(writer.close(), MMR_NOERROR);
    EXPECT_EQ(writer.dataSize(), data.size());
    return readFile(name);
}

// Reads a whole file through a reader without threads.
Bytes readAll(unaRiffStream& reader, uint32_t maxChunks = 100000) {
    Bytes out;
    reader.rewind();
    if (reader.riff())
        reader.scanChunks(reader.riff()->root(), unaRiffStream::scanNextData);
    for (uint32_t i = 0; i < maxChunks && reader.fillBuffer(); ++i) {
        out.insert(out.end(), reader.buffer().begin(), reader.buffer().end());
        if (reader.isEof())
            break;
    }
    return out;
}

// Reads through the device's own thread, unpaced, until the end.
Bytes readThreaded(unaRiffStream& reader) {
    std::mutex lock;
    Bytes out;
    reader.onChunk = [&](unaMsAcmStreamDevice*, const void* data, uint32_t len) {
        std::lock_guard<std::mutex> guard(lock);
        out.insert(out.end(), static_cast<const uint8_t*>(data),
                   static_cast<const uint8_t*>(data) + len);
    };
    EXPECT_EQ(reader.open(), MMR_NOERROR);
    EXPECT_TRUE(waitUntil([&] { return reader.isEof(); }));
    // Closing waits for the pass that reached the end; what the codec still
    // holds is read afterwards.
    reader.close();
    std::lock_guard<std::mutex> guard(lock);
    if (unaMsAcmCodec* codec = reader.codec()) {
        Bytes rest(codec->getDataAvailable(false));
        rest.resize(codec->readOutput(rest.data(), uint32_t(rest.size())));
        out.insert(out.end(), rest.begin(), rest.end());
    }
    return out;
}

// A finished file of the writer: the header, then exactly `data`, with both
// sizes to match.
void expectRecordingOf(const Bytes& file, const Bytes& data) {
    ASSERT_EQ(file.size(), kWavHeader + data.size());
    EXPECT_EQ(u32At(file, 4), file.size() - 8);
    EXPECT_EQ(u32At(file, kDataSizeAt), data.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), file.begin() + kWavHeader));
}

Bytes wav(const WAVEFORMATEX& f, const std::vector<Bytes>& more) {
    std::vector<Bytes> children{fmtChunk(f)};
    children.insert(children.end(), more.begin(), more.end());
    return container("RIFF", "WAVE", children);
}

} // namespace

// --- writer ---------------------------------------------------------------------------

TEST(RiffWriterTest, OneSecondOfCdSoundGivesTheExactLayout) {
    TempDir dir;
    const Bytes data = pattern(176400);
    const Bytes file = recordFile(dir.file("one.wav"), pcm(44100, 16, 2), data);
    // The JUNK chunk keeps room for the 64-bit sizes of a file past 4 GiB.
    ASSERT_EQ(file.size(), 80u + 176400u);
    EXPECT_EQ(0, std::memcmp(file.data(), "RIFF", 4));
    EXPECT_EQ(u32At(file, 4), 176472u);
    EXPECT_EQ(0, std::memcmp(file.data() + 8, "WAVEJUNK", 8));
    EXPECT_EQ(u32At(file, 16), 28u);
    EXPECT_EQ(0, std::memcmp(file.data() + 48, "fmt ", 4));
    EXPECT_EQ(u32At(file, 52), 16u);
    EXPECT_EQ(u16At(file, 56), 1u);
    EXPECT_EQ(u16At(file, 58), 2u);
    EXPECT_EQ(u32At(file, 60), 44100u);
    EXPECT_EQ(u32At(file, 64), 176400u);
    EXPECT_EQ(u16At(file, 68), 4u);
    EXPECT_EQ(u16At(file, 70), 16u);
    EXPECT_EQ(0, std::memcmp(file.data() + 72, "data", 4));
    EXPECT_EQ(u32At(file, 76), 176400u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), file.begin() + 80));
}

TEST(RiffWriterTest, OddByteCountsGetNoPadAndEmptyRecordingsAHeaderOnly) {
    TempDir dir;
    expectRecordingOf(recordFile(dir.file("odd.wav"), pcm(11025, 8, 1), pattern(1001), 3),
                      pattern(1001));
    expectRecordingOf(recordFile(dir.file("empty.wav"), pcm(22050, 16, 1), Bytes()), Bytes());
}

TEST(RiffWriterTest, OpeningTruncatesAndEveryOpenStartsANewRecording) {
    TempDir dir;
    const std::string name = dir.file("again.wav");
    writeFile(name, pattern(100000));
    unaRiffStream writer(name, pcm(8000, 8, 1), 1, nullptr);
    // Creating the writer does not yet touch the content.
    EXPECT_EQ(readFile(name).size(), 100000u);
    for (uint32_t size : {5000u, 300u}) {
        ASSERT_EQ(writer.open(), MMR_NOERROR);
        const Bytes data = pattern(size, size);
        writer.write(data.data(), size);
        ASSERT_EQ(writer.close(), MMR_NOERROR);
        expectRecordingOf(readFile(name), data);
    }
}

TEST(RiffWriterTest, AWriterCreatesItsFileAtOnceAndWithoutOneKeepsNothing) {
    TempDir dir;
    const std::string name = dir.file("new.wav");
    unaRiffStream writer(name, pcm(8000, 8, 1), 1, nullptr);
    EXPECT_TRUE(fileExists(name));
    EXPECT_EQ(writer.chunkSize(), 800u);
    WAVEFORMATEX src, dst;
    ASSERT_TRUE(writer.getFormat(true, src));
    ASSERT_TRUE(writer.getFormat(false, dst));
    EXPECT_TRUE(SameWaveFormat(&src, &dst));

    for (const char* none : {"", "   "}) {
        unaRiffStream noFile(none, pcm(44100, 16, 2), 1, nullptr);
        EXPECT_EQ(noFile.riffStatus(), unaRiffStream::rsWriterNoFile);
        ASSERT_EQ(noFile.open(), MMR_NOERROR);
        const Bytes block = pattern(17640);
        for (int i = 0; i < 200; ++i)
            EXPECT_EQ(noFile.write(block.data(), uint32_t(block.size())), 0u);
        EXPECT_EQ(noFile.getDataAvailable(true), 0u);
        EXPECT_EQ(noFile.close(), MMR_NOERROR);
        EXPECT_EQ(noFile.dataSize(), 0u);
    }
    unaRiffStream unwritable(dir.file("no/such/folder.wav"), pcm(8000, 8, 1), 1, nullptr);
    EXPECT_EQ(unwritable.riffStatus(), unaRiffStream::rsWriterNoFile);
}

TEST(RiffWriterTest, FullDiskStopsWritingAndLeavesAValidFile) {
    TempDir dir;
    const std::string name = dir.file("full.wav");
    unaRiffStream writer(name, pcm(8000, 16, 1), 1, nullptr);
    writer.fileFactory = [](const std::string& n) -> unaAbstractStream* {
        return new FullDiskStream(n, kWavHeader + 3000);
    };
    ASSERT_EQ(writer.open(), MMR_NOERROR);
    const Bytes data = pattern(8000);
    for (int i = 0; i < 8; ++i)
        writer.write(data.data() + i * 1000, 1000);
    writer.close();
    EXPECT_TRUE(writer.writeFailed());
    expectRecordingOf(readFile(name), Bytes(data.begin(), data.begin() + 3000));

    // Even the header may not fit.
    writer.fileFactory = [](const std::string& n) -> unaAbstractStream* {
        return new FullDiskStream(n, 10);
    };
    ASSERT_EQ(writer.open(), MMR_NOERROR);
    writer.write(data.data(), 1000);
    writer.close();
    EXPECT_TRUE(writer.writeFailed());
    EXPECT_EQ(readFile(name).size(), 10u);

    // A file that cannot be opened again counts as a failure too.
    writer.fileFactory = [](const std::string&) -> unaAbstractStream* { return nullptr; };
    ASSERT_EQ(writer.open(), MMR_NOERROR);
    writer.close();
    EXPECT_TRUE(writer.writeFailed());
}

// A file stream that leaves a hole of `jump` bytes before the first
// sample: the file passes 4 GiB without the disk holding it.
class SparseJumpStream : public unaFileStream {
public:
    SparseJumpStream(const std::string& name, int64_t jump) : unaFileStream(name), jump_(jump) {}
    uint32_t write(const void* buffer, uint32_t size) override {
        if (!jumped_ && getPosition() == kWavHeader) {
            jumped_ = true;
            seek(kWavHeader + jump_);
        }
        return unaFileStream::write(buffer, size);
    }

private:
    int64_t jump_;
    bool jumped_ = false;
};

TEST(RiffWriterTest, HeaderFollowsTheDataAtMostOnceASecondWhileRecording) {
    TempDir dir;
    const std::string name = dir.file("live.wav");
    unaRiffStream writer(name, pcm(8000, 16, 1), 1, nullptr);
    ASSERT_EQ(writer.open(), MMR_NOERROR);
    // Each write is as much as wakes the writer's thread.
    const uint32_t block = unaRiffStream::kWakeChunks * writer.chunkSize();
    const Bytes data = pattern(3 * block);
    const auto sizesAre = [&](uint32_t bytes) {
        const Bytes f = readFile(name);
        return f.size() >= kWavHeader && u32At(f, kDataSizeAt) == bytes &&
               u32At(f, 4) == kWavHeader - 8 + bytes;
    };
    writer.write(data.data(), block);
    ASSERT_TRUE(waitUntil([&] { return readFile(name).size() == kWavHeader + block; }));
    sleepMs(unaRiffStream::kHeaderRefreshMs + 50);
    writer.write(data.data() + block, block);
    // A crash from now on keeps both blocks: the header already says so.
    EXPECT_TRUE(waitUntil([&] { return sizesAre(2 * block); }, 3000));
    // The next block arrives at once: the header is left alone.
    writer.write(data.data() + 2 * block, block);
    ASSERT_TRUE(waitUntil([&] { return readFile(name).size() == kWavHeader + 3 * block; }));
    EXPECT_TRUE(sizesAre(2 * block));
    ASSERT_EQ(writer.close(), MMR_NOERROR);
    expectRecordingOf(readFile(name), data);
}

TEST(RiffWriterTest, PastFourGiBTheFileBecomesRf64AndReadsBackInFull) {
    // The switch itself, at the last byte a RIFF size can describe.
    WAVEFORMATEX f = pcm(44100, 16, 2);
    wave_header::Image h = wave_header::build(f);
    const uint64_t lastRiff = UINT32_MAX - (kWavHeader - 8);
    wave_header::setSizes(h, lastRiff, 4);
    EXPECT_FALSE(wave_header::isRf64(h));
    EXPECT_EQ(wave_header::getU32(&h[4]), UINT32_MAX);
    EXPECT_EQ(wave_header::getU32(&h[kDataSizeAt]), uint32_t(lastRiff));
    wave_header::setSizes(h, lastRiff + 1, 4);
    EXPECT_TRUE(wave_header::isRf64(h));

    TempDir dir;
    if (haveTool("sox")) {
        // The RF64 layout as sox reads it, on a small file (sox reads a big
        // one through to its end, which takes a minute).
        wave_header::setSizes(h, 5000, 4);
        Bytes small(h.begin(), h.end());
        const Bytes samples = pattern(5000);
        small.insert(small.end(), samples.begin(), samples.end());
        writeFile(dir.file("small64.wav"), small);
        EXPECT_EQ(run("sox --i -s '" + dir.file("small64.wav") + "' 2>/dev/null"), "1250\n");
        EXPECT_NE(run("sox '" + dir.file("small64.wav") + "' -n stat 2>&1")
                      .find("Samples read:              2500"),
                  std::string::npos);
    }

    const std::string name = dir.file("long.wav");
    const int64_t hole = (int64_t(1) << 32) + 4000; // whole frames of 16-bit stereo
    unaRiffStream writer(name, f, 1, nullptr);
    writer.fileFactory = [&](const std::string& n) -> unaAbstractStream* {
        return new SparseJumpStream(n, hole);
    };
    ASSERT_EQ(writer.open(), MMR_NOERROR);
    const Bytes data = pattern(17640);
    writer.write(data.data(), uint32_t(data.size()));
    ASSERT_EQ(writer.close(), MMR_NOERROR);
    const uint64_t dataBytes = uint64_t(hole) + data.size();

    Bytes head(kWavHeader);
    {
        std::ifstream in(name, std::ios::binary);
        in.read(reinterpret_cast<char*>(head.data()), kWavHeader);
    }
    EXPECT_EQ(0, std::memcmp(head.data(), "RF64", 4));
    EXPECT_EQ(u32At(head, 4), UINT32_MAX);
    EXPECT_EQ(0, std::memcmp(head.data() + 12, "ds64", 4));
    EXPECT_EQ(wave_header::getU64(&head[20]), kWavHeader - 8 + dataBytes);
    EXPECT_EQ(wave_header::getU64(&head[28]), dataBytes);
    EXPECT_EQ(wave_header::getU64(&head[36]), dataBytes / 4);
    EXPECT_EQ(u32At(head, kDataSizeAt), UINT32_MAX);

    unaRiffStream reader(name, false, false, nullptr);
    ASSERT_EQ(reader.riffStatus(), unaRiffStream::rsReady);
    EXPECT_EQ(reader.totalDataSize(), dataBytes);
    ASSERT_TRUE(reader.riff()->isRf64());
    const unaRIFFChunk* dataChunk = reader.riff()->root()->child(2);
    ASSERT_TRUE(dataChunk && dataChunk->idIs("data"));
    ASSERT_EQ(dataChunk->dataSize(), dataBytes);
    EXPECT_EQ(0, std::memcmp(dataChunk->data() + hole, data.data(), data.size()));
}

// --- reader -----------------------------------------------------------------------------

TEST(RiffReaderTest, StatusTellsWhatIsWrongWithAFile) {
    TempDir dir;
    const std::string missing = dir.file("missing.wav");
    unaRiffStream none(missing, false, false, AcmRegistry());
    EXPECT_EQ(none.riffStatus(), unaRiffStream::rsNotRiff);
    EXPECT_FALSE(fileExists(missing)) << "reading must not create the file";

    writeFile(dir.file("text.wav"), Bytes(100, 'x'));
    unaRiffStream text(dir.file("text.wav"), false, false, AcmRegistry());
    EXPECT_EQ(text.riffStatus(), unaRiffStream::rsNotRiff);

    const Bytes tiny = container("RIFF", "WAVE", {});
    writeFile(dir.file("tiny.wav"), tiny);
    unaRiffStream noFmt(dir.file("tiny.wav"), false, false, AcmRegistry());
    EXPECT_EQ(noFmt.riffStatus(), unaRiffStream::rsNoFormat);
    EXPECT_EQ(readFile(dir.file("tiny.wav")), tiny) << "reading must not change the file";

    WAVEFORMATEX alaw = pcm(8000, 8, 1);
    alaw.wFormatTag = WAVE_FORMAT_ALAW;
    writeFile(dir.file("alaw.wav"), wav(alaw, {chunk("data", pattern(1000))}));
    unaRiffStream noAcm(dir.file("alaw.wav"), false, false, nullptr);
    EXPECT_EQ(noAcm.riffStatus(), unaRiffStream::rsNoAcm);
    // Without conversion the bytes come as they are.
    const Bytes raw = readAll(noAcm);
    ASSERT_EQ(raw.size(), 1600u);
    EXPECT_EQ(Bytes(raw.begin(), raw.begin() + 1000), pattern(1000));

    WAVEFORMATEX mp3 = pcm(44100, 0, 2);
    mp3.wFormatTag = 0x55;
    mp3.nAvgBytesPerSec = 16000;
    mp3.nBlockAlign = 1;
    writeFile(dir.file("mp3.wav"), wav(mp3, {chunk("data", pattern(100))}));
    unaRiffStream noDriver(dir.file("mp3.wav"), false, false, AcmRegistry());
    EXPECT_EQ(noDriver.riffStatus(), unaRiffStream::rsNoDriver);

    // A later name is parsed again and its status stored.
    writeFile(dir.file("good.wav"), wav(pcm(8000, 8, 1), {chunk("data", pattern(10))}));
    EXPECT_EQ(noDriver.openRiffFile(dir.file("good.wav")), unaRiffStream::rsReady);
    EXPECT_EQ(noDriver.riffStatus(), unaRiffStream::rsReady);
    EXPECT_EQ(noDriver.openRiffFile(missing), unaRiffStream::rsNotRiff);
    EXPECT_EQ(noDriver.riffStatus(), unaRiffStream::rsNotRiff);
    EXPECT_TRUE(readAll(noDriver).empty());
}

TEST(RiffReaderTest, ImpossibleFormatsAreNotReported) {
    TempDir dir;
    const auto statusOf = [&](WAVEFORMATEX f) {
        writeFile(dir.file("odd.wav"), wav(f, {chunk("data", pattern(400))}));
        unaRiffStream reader(dir.file("odd.wav"), false, false, AcmRegistry());
        return reader.riffStatus();
    };
    const WAVEFORMATEX good = pcm(44100, 16, 2);
    EXPECT_EQ(statusOf(good), unaRiffStream::rsReady);
    const std::pair<const char*, void (*)(WAVEFORMATEX&)> broken[] = {
        {"no channels", [](WAVEFORMATEX& f) { f.nChannels = 0; }},
        {"no rate", [](WAVEFORMATEX& f) { f.nSamplesPerSec = 0; }},
        {"0 bits", [](WAVEFORMATEX& f) { f.wBitsPerSample = 0; }},
        {"7 bits", [](WAVEFORMATEX& f) { f.wBitsPerSample = 7; }},
        {"block align 0", [](WAVEFORMATEX& f) { f.nBlockAlign = 0; }},
        {"block align 3", [](WAVEFORMATEX& f) { f.nBlockAlign = 3; }},
        {"block align 65535", [](WAVEFORMATEX& f) { f.nBlockAlign = 65535; }}};
    for (const auto& [what, breakIt] : broken) {
        WAVEFORMATEX f = good;
        breakIt(f);
        EXPECT_EQ(statusOf(f), unaRiffStream::rsNoFormat) << what;
    }
}

TEST(RiffReaderTest, NestedSplitAndOddDataChunksPlayInFileOrderThenPadWithSilence) {
    TempDir dir;
    const Bytes a = pattern(301, 1), b = pattern(99, 2), c = pattern(1000, 3);
    const Bytes file =
        wav(pcm(8000, 8, 1), {chunk("fact", {7, 0, 0, 0}), chunk("data", a),
                              container("LIST", "wavl", {chunk("data", b), chunk("junk", {1, 2})}),
                              chunk("data", c)});
    writeFile(dir.file("split.wav"), file);
    unaRiffStream reader(dir.file("split.wav"), false, false, AcmRegistry());
    ASSERT_EQ(reader.riffStatus(), unaRiffStream::rsReady);
    EXPECT_EQ(reader.totalDataSize(), 1400u);
    EXPECT_EQ(reader.factValue(), 7u);
    ASSERT_EQ(reader.chunkSize(), 800u);

    const Bytes got = readAll(reader);
    ASSERT_EQ(got.size(), 1600u);
    Bytes expected = a;
    expected.insert(expected.end(), b.begin(), b.end());
    expected.insert(expected.end(), c.begin(), c.end());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), got.begin()));
    for (size_t i = 1400; i < 1600; ++i)
        ASSERT_EQ(got[i], 128) << "8-bit silence";
    EXPECT_TRUE(reader.isEof());
    EXPECT_FALSE(reader.fillBuffer());

    // 16-bit silence is zero, and the same comes through the device's thread.
    writeFile(dir.file("s16.wav"), wav(pcm(8000, 16, 1), {chunk("data", pattern(2000))}));
    unaRiffStream r16(dir.file("s16.wav"), false, false, AcmRegistry());
    const Bytes got16 = readThreaded(r16);
    ASSERT_EQ(got16.size(), 3200u);
    EXPECT_TRUE(std::equal(got16.begin(), got16.begin() + 2000, pattern(2000).begin()));
    EXPECT_TRUE(std::all_of(got16.begin() + 2000, got16.end(), [](uint8_t v) { return !v; }));
}

TEST(RiffReaderTest, LoopStartsOverAndEmptyDataEndsInsteadOfSpinning) {
    TempDir dir;
    const Bytes a = pattern(500, 4);
    writeFile(dir.file("loop.wav"), wav(pcm(8000, 8, 1), {chunk("data", a), chunk("data", {})}));
    unaRiffStream reader(dir.file("loop.wav"), false, true, AcmRegistry());
    const Bytes got = readAll(reader, 3);
    ASSERT_EQ(got.size(), 2400u);
    for (size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(got[i], a[i % a.size()]);
    EXPECT_FALSE(reader.isEof());

    writeFile(
        dir.file("hollow.wav"),
        wav(pcm(8000, 8, 1), {chunk("data", {}), container("LIST", "wavl", {chunk("data", {})})}));
    unaRiffStream hollow(dir.file("hollow.wav"), false, true, AcmRegistry());
    EXPECT_TRUE(readAll(hollow, 10).empty());
    EXPECT_TRUE(hollow.isEof());

    // A file with a format but no data ends at once too.
    writeFile(dir.file("nodata.wav"), wav(pcm(8000, 8, 1), {}));
    unaRiffStream nodata(dir.file("nodata.wav"), false, true, AcmRegistry());
    EXPECT_TRUE(readThreaded(nodata).empty());
}

TEST(RiffReaderTest, TruncatedAndOversizedChunksAreReadOnlyAsFarAsTheFileGoes) {
    TempDir dir;
    const Bytes data = pattern(300, 5);
    // Declared 100000 bytes of data, 300 there; the RIFF claims 4 GB.
    Bytes file = wav(pcm(8000, 8, 1), {chunk("data", data, 100000)});
    file[4] = file[5] = file[6] = file[7] = 0xFF;
    writeFile(dir.file("cut.wav"), file);
    unaRiffStream reader(dir.file("cut.wav"), false, false, AcmRegistry());
    ASSERT_EQ(reader.riffStatus(), unaRiffStream::rsReady);
    EXPECT_EQ(reader.totalDataSize(), 300u);
    const Bytes got = readAll(reader);
    ASSERT_EQ(got.size(), 800u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), got.begin()));

    // A fmt chunk cut short is no format.
    Bytes shortFmt = container("RIFF", "WAVE", {chunk("fmt ", pattern(20), 16)});
    shortFmt.resize(12 + 8 + 10);
    unaRIFile image(shortFmt.data(), uint32_t(shortFmt.size()));
    ASSERT_TRUE(image.isRiff());
    ASSERT_EQ(image.root()->childCount(), 1u);
    EXPECT_EQ(image.root()->child(0)->dataSize(), 10u);
    writeFile(dir.file("shortfmt.wav"), shortFmt);
    unaRiffStream noFormat(dir.file("shortfmt.wav"), false, false, AcmRegistry());
    EXPECT_EQ(noFormat.riffStatus(), unaRiffStream::rsNoFormat);
}

TEST(RiffReaderTest, ChunkTreeStaysInsideItsParentsAndDepthIsBounded) {
    // Children of a container never reach past the container's own extent.
    Bytes inner = chunk("data", pattern(40), 5000);
    Bytes list = container("LIST", "abcd", {inner});
    Bytes file = container("RIFF", "WAVE", {list, chunk("tail", pattern(8))});
    unaRIFile image(file.data(), uint32_t(file.size()));
    ASSERT_TRUE(image.isRiff());
    ASSERT_EQ(image.root()->childCount(), 2u);
    unaRIFFChunk* l = image.root()->child(0);
    ASSERT_TRUE(l->isContainer());
    EXPECT_EQ(l->listType(), "abcd");
    ASSERT_EQ(l->childCount(), 1u);
    EXPECT_EQ(l->child(0)->dataSize(), 40u);
    EXPECT_EQ(image.root()->child(1)->id(), "tail");

    // Deep nesting: containers past the depth limit are plain chunks.
    Bytes deep = chunk("data", {1, 2});
    for (int i = 0; i < 200; ++i)
        deep = container("LIST", "deep", {deep});
    deep = container("RIFF", "WAVE", {deep});
    unaRIFile nested(deep.data(), uint32_t(deep.size()));
    unaRIFFChunk* c = nested.root();
    uint32_t depth = 0;
    while (c && c->isContainer() && c->childCount()) {
        c = c->child(0);
        ++depth;
    }
    EXPECT_EQ(depth, unaRIFFChunk::kMaxDepth);

    // Files too short to hold a chunk header have no root.
    unaRIFile tiny("RIFF", 4);
    EXPECT_EQ(tiny.root(), nullptr);
    EXPECT_FALSE(tiny.isRiff());
}

TEST(RiffReaderTest, FormatChangesInsideTheFileTakeTheLastDifferentOne) {
    TempDir dir;
    const Bytes file = container(
        "RIFF", "WAVE",
        {fmtChunk(pcm(8000, 8, 1)), chunk("data", pattern(10)), fmtChunk(pcm(16000, 16, 2))});
    writeFile(dir.file("two.wav"), file);
    unaRiffStream reader(dir.file("two.wav"), false, false, AcmRegistry());
    WAVEFORMATEX f;
    ASSERT_TRUE(reader.getFormat(false, f));
    EXPECT_EQ(uint32_t(f.nSamplesPerSec), 16000u);
    EXPECT_EQ(uint32_t(f.nChannels), 2u);
    EXPECT_EQ(reader.chunkSize(), 6400u);
}

TEST(RiffReaderTest, PacedReaderDeliversOneChunkPerTick) {
    TempDir dir;
    writeFile(dir.file("paced.wav"), wav(pcm(8000, 8, 1), {chunk("data", pattern(80000))}));
    unaRiffStream reader(dir.file("paced.wav"), true, false, AcmRegistry());
    ASSERT_NE(reader.timer(), nullptr);
    std::atomic<uint32_t> chunks{0};
    reader.onChunk = [&](unaMsAcmStreamDevice*, const void*, uint32_t) { ++chunks; };
    const uint32_t start = tickCount();
    ASSERT_EQ(reader.open(), MMR_NOERROR);
    ASSERT_TRUE(waitUntil([&] { return chunks.load() >= 3; }));
    const uint32_t elapsed = tickCount() - start;
    reader.close();
    // Three chunks need three ticks of 100 ms; an unpaced reader would have
    // finished all hundred at once.
    EXPECT_GE(elapsed, 250u);
    EXPECT_LT(chunks.load(), 100u);
}

TEST(RiffReaderTest, CompressedFilesAreDecodedToTheExpectedPcm) {
    if (!haveTool("sox"))
        GTEST_SKIP() << "sox is not installed";
    TempDir dir;
    // A source signal, its compressed forms and sox's own decoding of each.
    const std::string src = dir.file("src.wav");
    ASSERT_FALSE(run("sox -n -r 8000 -c 1 -b 16 '" + src +
                     "' synth 0.7 sine 440 sine 1300 remix 1,2 gain -3 && echo ok")
                     .empty());
    struct Case {
        const char* encoding;
        uint16_t tag;
    } cases[] = {{"a-law", WAVE_FORMAT_ALAW},
                 {"u-law", WAVE_FORMAT_MULAW},
                 {"ima-adpcm", WAVE_FORMAT_IMA_ADPCM}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoding);
        const std::string packed = dir.file(std::string(c.encoding) + ".wav");
        const std::string ref = dir.file(std::string(c.encoding) + "-pcm.raw");
        ASSERT_FALSE(
            run("sox '" + src + "' -e " + c.encoding + " '" + packed + "' && echo ok").empty());
        ASSERT_FALSE(
            run("sox '" + packed + "' -t raw -e signed -b 16 '" + ref + "' && echo ok").empty());
        const Bytes expected = readFile(ref);

        unaRiffStream reader(packed, false, false, AcmRegistry());
        ASSERT_EQ(reader.riffStatus(), unaRiffStream::rsReady);
        ASSERT_NE(reader.codec(), nullptr);
        WAVEFORMATEX src16, dst;
        ASSERT_TRUE(reader.getFormat(true, src16));
        EXPECT_EQ(uint32_t(src16.wFormatTag), c.tag);
        ASSERT_TRUE(reader.getFormat(false, dst));
        EXPECT_EQ(uint32_t(dst.wFormatTag), WAVE_FORMAT_PCM);
        EXPECT_EQ(uint32_t(dst.wBitsPerSample), 16u);

        const Bytes got = readThreaded(reader);
        // Everything arrives, equal to sox's decoding (the silence that pads
        // the last chunk may follow).
        ASSERT_GE(got.size(), expected.size());
        const size_t n = std::min(got.size(), expected.size());
        ASSERT_GT(n, 0u);
        EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + n, got.begin()));
    }
}
