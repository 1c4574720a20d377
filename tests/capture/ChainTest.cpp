// The whole recording chain on the virtual card: waveIn -> waveRiff -> file,
// driven the way the recorder's main window drives it.
#include "CaptureTestHelpers.h"

#include "capture/unavclWaveComponents.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

using namespace capture_test;

namespace {

// The main window's two pipes, built as a form builds them.
struct Form {
    TComponent owner;
    TunavclWaveInDevice* waveIn;
    TunavclWaveRiff* waveRiff;

    Form() {
        owner.beginLoading();
        waveIn = new TunavclWaveInDevice(&owner);
        waveRiff = new TunavclWaveRiff(&owner);
        waveRiff->setIsInput(false);
        waveIn->setConsumer(waveRiff);
        waveIn->setMinActiveTime(0);
        owner.endLoading();
    }

    void setFormat(uint32_t rate, uint16_t bits, uint16_t channels) {
        waveIn->setPcm_NumChannels(channels);
        waveRiff->setPcm_NumChannels(waveIn->pcm_NumChannels());
        waveIn->setPcm_BitsPerSample(bits);
        waveRiff->setPcm_BitsPerSample(waveIn->pcm_BitsPerSample());
        waveIn->setPcm_SamplesPerSec(rate);
        waveRiff->setPcm_SamplesPerSec(waveIn->pcm_SamplesPerSec());
    }

    void record(const std::string& file) {
        waveRiff->setFileName(file);
        waveIn->setActive(true);
    }

    void stop() {
        waveRiff->setActive(false);
        waveRiff->setFileName("");
        waveIn->setActive(false);
        waveIn->setConsumer(waveRiff);
    }
};

// Counts the chunks waveIn raises and can hold the capture thread after a
// given chunk, so that a test stops the file at an exact chunk.
struct ChunkGate {
    std::mutex lock;
    std::condition_variable cv;
    Bytes seen; // every byte raised by onDataAvailable, in order
    uint32_t chunks = 0;
    uint32_t holdAfter = UINT32_MAX;
    bool released = false;

    void attach(unavclInOutPipe* pipe) {
        pipe->onDataAvailable = [this](unavclInOutPipe*, const void* data, uint32_t len) {
            std::unique_lock<std::mutex> guard(lock);
            const auto* p = static_cast<const uint8_t*>(data);
            seen.insert(seen.end(), p, p + len);
            ++chunks;
            cv.notify_all();
            if (chunks >= holdAfter)
                cv.wait(guard, [this] { return released; });
        };
    }
    bool waitChunks(uint32_t n, uint32_t ms = 30000) {
        std::unique_lock<std::mutex> guard(lock);
        return cv.wait_for(guard, std::chrono::milliseconds(ms), [&] { return chunks >= n; });
    }
    void release() {
        std::lock_guard<std::mutex> guard(lock);
        released = true;
        cv.notify_all();
    }
};

void expectHeader(const Bytes& file, const WAVEFORMATEX& f, uint32_t dataBytes) {
    ASSERT_EQ(file.size(), kWavHeader + dataBytes);
    EXPECT_EQ(0, std::memcmp(file.data(), "RIFF", 4));
    EXPECT_EQ(u32At(file, 4), kWavHeader - 8 + dataBytes);
    EXPECT_EQ(0, std::memcmp(file.data() + 8, "WAVEJUNK", 8));
    EXPECT_EQ(0, std::memcmp(file.data() + 48, "fmt ", 4));
    EXPECT_EQ(u32At(file, 52), 16u);
    EXPECT_EQ(u16At(file, 56), 1u);
    EXPECT_EQ(u16At(file, 58), uint32_t(f.nChannels));
    EXPECT_EQ(u32At(file, 60), uint32_t(f.nSamplesPerSec));
    EXPECT_EQ(u32At(file, 64), uint32_t(f.nAvgBytesPerSec));
    EXPECT_EQ(u16At(file, 68), uint32_t(f.nBlockAlign));
    EXPECT_EQ(u16At(file, 70), uint32_t(f.wBitsPerSample));
    EXPECT_EQ(0, std::memcmp(file.data() + 72, "data", 4));
    EXPECT_EQ(u32At(file, kDataSizeAt), dataBytes);
}

class ChainTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string feedName = dir.file("feed.raw");
    Bytes feed = pattern(44100 * 4 * 5); // five seconds of 44.1 kHz stereo 16-bit

    void SetUp() override { writeFile(feedName, feed); }
    void TearDown() override { setAudioBackend(AudioBackend::Alsa); }
};

} // namespace

TEST_F(ChainTest, ThreeSecondsReachTheFileByteForByte) {
    useVirtualCard(feedName, 0);
    Form form;
    form.setFormat(44100, 16, 2);
    ASSERT_EQ(form.waveIn->device()->chunkSize(), 17640u);
    ChunkGate gate;
    gate.holdAfter = 30;
    gate.attach(form.waveIn);
    const std::string out = dir.file("three.wav");

    form.record(out);
    ASSERT_TRUE(form.waveIn->active());
    ASSERT_TRUE(form.waveRiff->active());
    ASSERT_TRUE(gate.waitChunks(30));
    // The capture thread waits in the handler of chunk 30: chunk 31 cannot
    // reach the writer, so closing the writer now ends the file there.
    form.waveRiff->setActive(false);
    gate.release();
    form.stop();

    const Bytes file = readFile(out);
    expectHeader(file, pcm(44100, 16, 2), 529200);
    ASSERT_EQ(file.size(), kWavHeader + 529200u);
    EXPECT_TRUE(std::equal(file.begin() + kWavHeader, file.end(), feed.begin()));
    EXPECT_EQ(form.waveRiff->inBytes(), 529200u);
}

TEST_F(ChainTest, PauseLosesExactlyTheChunksCapturedMeanwhileAndASecondRecordingIsComplete) {
    useVirtualCard(feedName, 4);
    Form form;
    form.setFormat(44100, 16, 2);
    const uint32_t chunk = 17640;
    ChunkGate gate;
    gate.attach(form.waveIn);
    const std::string first = dir.file("paused.wav");

    form.record(first);
    ASSERT_TRUE(gate.waitChunks(5));
    form.waveIn->setConsumer(nullptr); // pause
    const uint32_t atPause = gate.chunks;
    ASSERT_TRUE(gate.waitChunks(atPause + 4));
    form.waveIn->setConsumer(form.waveRiff); // resume
    const uint32_t atResume = gate.chunks;
    ASSERT_TRUE(gate.waitChunks(atResume + 5));
    form.stop();

    const Bytes file = readFile(first);
    ASSERT_GE(file.size(), kWavHeader);
    const uint32_t data = uint32_t(file.size() - kWavHeader);
    EXPECT_EQ(u32At(file, kDataSizeAt), data);
    EXPECT_EQ(u32At(file, 4), data + kWavHeader - 8);
    ASSERT_EQ(data % chunk, 0u);
    // The file is the captured stream with one run of whole chunks missing.
    const Bytes seen = gate.seen;
    ASSERT_EQ(0u, seen.size() % chunk);
    ASSERT_TRUE(std::equal(seen.begin(), seen.begin() + chunk, feed.begin()));
    size_t same = 0;
    while (same < data && file[kWavHeader + same] == seen[same])
        ++same;
    ASSERT_LT(same, data) << "nothing was lost during the pause";
    const size_t gapStart = same / chunk * chunk;
    const size_t tail = data - gapStart;
    ASSERT_GE(seen.size(), gapStart + tail);
    // The rest of the file matches the stream at a whole number of chunks on.
    bool found = false;
    for (size_t skip = chunk; gapStart + skip + tail <= seen.size(); skip += chunk)
        if (std::equal(file.begin() + kWavHeader + gapStart, file.end(),
                       seen.begin() + gapStart + skip)) {
            found = true;
            EXPECT_GE(skip / chunk, 1u);
            break;
        }
    EXPECT_TRUE(found);
    EXPECT_GE(gapStart / chunk, 5u);
    EXPECT_GE(tail / chunk, 5u);

    // A second recording on the same pipes writes a complete new file.
    ChunkGate second;
    second.attach(form.waveIn);
    const std::string next = dir.file("second.wav");
    form.record(next);
    ASSERT_TRUE(second.waitChunks(3));
    form.stop();
    const Bytes file2 = readFile(next);
    ASSERT_GT(file2.size(), kWavHeader);
    EXPECT_EQ(u32At(file2, kDataSizeAt), file2.size() - kWavHeader);
    EXPECT_EQ(u32At(file2, 4), file2.size() - 8);
    EXPECT_TRUE(std::equal(file2.begin() + kWavHeader, file2.end(), feed.begin()));
}

TEST_F(ChainTest, PausingPutsEverythingRecordedSoFarInTheFile) {
    // The writer's thread waits for half a second of sound before it
    // writes; a pause after less must not leave it in memory.
    useVirtualCard(feedName, 1);
    Form form;
    form.setFormat(44100, 16, 2);
    ChunkGate gate;
    gate.attach(form.waveIn);
    const std::string out = dir.file("pause.wav");
    form.record(out);
    ASSERT_TRUE(gate.waitChunks(2));
    form.waveIn->setConsumer(nullptr);
    const uint64_t written = form.waveRiff->inBytes();
    ASSERT_GT(written, 0u);
    EXPECT_LT(written, unaRiffStream::kWakeChunks * 17640u);
    EXPECT_TRUE(waitUntil([&] { return readFile(out).size() == kWavHeader + written; }, 2000));
    form.stop();
    EXPECT_EQ(readFile(out).size(), kWavHeader + written);
}

TEST_F(ChainTest, ConsumerStallingOneAndAHalfSecondsLosesNothing) {
    useVirtualCard(feedName, 1);
    Form form;
    form.setFormat(44100, 16, 2);
    std::atomic<uint32_t> chunks{0};
    form.waveIn->onDataAvailable = [&](unavclInOutPipe*, const void*, uint32_t) {
        if (++chunks == 2)
            sleepMs(1500);
    };
    const std::string out = dir.file("stall.wav");
    form.record(out);
    ASSERT_TRUE(waitUntil([&] { return chunks.load() >= 25; }));
    form.stop();

    const Bytes file = readFile(out);
    ASSERT_GT(file.size(), kWavHeader + 25u * 17640u - 1);
    EXPECT_EQ(u32At(file, kDataSizeAt), file.size() - kWavHeader);
    // Contiguous from the first byte: nothing was dropped while stalled.
    EXPECT_TRUE(std::equal(file.begin() + kWavHeader, file.end(), feed.begin()));
}

TEST_F(ChainTest, EveryOptionFormatGivesItsChunkSizeAndAReadableFile) {
    struct Case {
        uint32_t rate;
        uint16_t bits, channels;
        uint32_t chunk;
    };
    const Case cases[] = {
        {44100, 16, 2, 17640}, {44100, 16, 1, 8820}, {44100, 8, 2, 8820}, {44100, 8, 1, 4410},
        {22050, 16, 2, 8820},  {22050, 16, 1, 4410}, {22050, 8, 2, 4410}, {22050, 8, 1, 2205},
        {11025, 16, 2, 4412},  {11025, 16, 1, 2206}, {11025, 8, 2, 2206}, {11025, 8, 1, 2205},
    };
    useVirtualCard("", 0);
    const bool sox = haveTool("sox");
    const bool python = haveTool("python3");
    Form form;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz " + std::to_string(c.bits) + " bit " +
                     std::to_string(c.channels) + " ch");
        form.setFormat(c.rate, c.bits, c.channels);
        ASSERT_EQ(form.waveIn->device()->chunkSize(), c.chunk);
        ChunkGate gate;
        gate.holdAfter = 4;
        gate.attach(form.waveIn);
        const std::string out =
            dir.file("f" + std::to_string(c.rate) + "_" + std::to_string(c.bits) + "_" +
                     std::to_string(c.channels) + ".wav");
        form.record(out);
        ASSERT_TRUE(gate.waitChunks(4));
        form.waveRiff->setActive(false);
        gate.release();
        form.stop();
        form.waveIn->onDataAvailable = nullptr;

        const Bytes file = readFile(out);
        expectHeader(file, pcm(c.rate, c.bits, c.channels), 4 * c.chunk);
        if (sox) {
            const std::string info = run("sox --i '" + out + "' 2>&1");
            EXPECT_NE(info.find("Channels       : " + std::to_string(c.channels)),
                      std::string::npos)
                << info;
            EXPECT_NE(info.find("Sample Rate    : " + std::to_string(c.rate)), std::string::npos)
                << info;
            EXPECT_NE(info.find("Precision      : " + std::to_string(c.bits) + "-bit"),
                      std::string::npos)
                << info;
        }
        if (python) {
            const std::string got =
                run("python3 -c \"import wave,sys; w=wave.open(sys.argv[1]); "
                    "print(w.getnchannels(), w.getsampwidth(), w.getframerate(), "
                    "w.getnframes())\" '" +
                    out + "'");
            const uint32_t frames = 4 * c.chunk / (c.channels * c.bits / 8);
            EXPECT_EQ(got, std::to_string(c.channels) + " " + std::to_string(c.bits / 8) + " " +
                               std::to_string(c.rate) + " " + std::to_string(frames) + "\n");
        }
    }
}
