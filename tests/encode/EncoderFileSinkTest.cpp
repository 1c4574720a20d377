// The MP3 file sink over an encoder that "encodes" by copying, so the file
// can be compared byte for byte with the PCM that went in.
#include "encode/unaEncoder.h"
#include "encode/unaEncoderFileSink.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

namespace {

const char kFinal[] = "END";

class CopyEncoder : public unaAbstractEncoder {
public:
    ~CopyEncoder() override { close(); }

protected:
    int32_t doSetConfig(const void*) override {
        chunkSize_ = 100;
        outBufSize_ = 100;
        return 0;
    }
    int32_t doOpen() override { return 0; }
    int32_t doClose() override {
        std::memcpy(outBuf(), kFinal, 3);
        encodedBytes_ = 3;
        return 0;
    }
    int32_t doEncode(const void* block, uint32_t size) override {
        std::memcpy(outBuf(), block, size);
        encodedBytes_ = size;
        return 0;
    }
};

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class EncoderFileSink : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("sonvale-sink-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    void start() {
        ASSERT_EQ(encoder.setConfig(this), 0);
        ASSERT_EQ(encoder.open(), 0);
    }
    std::filesystem::path dir;
    CopyEncoder encoder;
};

TEST_F(EncoderFileSink, OneOpenFileGetsEveryBlockInOrderThenTheFinalBytes) {
    const std::string name = (dir / "a.mp3").string();
    std::ofstream(name) << "old contents that must go";
    unaEncoderFileSink sink(encoder);
    start();
    ASSERT_TRUE(sink.open(name));
    std::string pcm;
    for (int i = 0; i < 2550; ++i)
        pcm.push_back(char('a' + i % 26));
    std::thread capture([&] {
        for (size_t at = 0; at < pcm.size(); at += 170)
            sink.write(pcm.data() + at, uint32_t(std::min<size_t>(170, pcm.size() - at)));
    });
    capture.join();
    EXPECT_EQ(sink.close(), 0);
    EXPECT_EQ(readAll(name), pcm + kFinal);
    EXPECT_EQ(sink.bytesWritten(), pcm.size() + 3);
    EXPECT_FALSE(sink.writeFailed());
    EXPECT_FALSE(encoder.active()) << "closing the sink closes the encoder";

    // Closed: captured data goes nowhere, and a second close does nothing.
    sink.write("late", 4);
    EXPECT_EQ(encoder.writer().queuedBytes(), 0u);
    EXPECT_EQ(sink.close(), 0);
}

TEST_F(EncoderFileSink, AFileThatCannotBeCreatedTakesNothing) {
    unaEncoderFileSink sink(encoder);
    start();
    EXPECT_FALSE(sink.open((dir / "missing" / "a.mp3").string()));
    EXPECT_FALSE(sink.isOpen());
    sink.write("pcm", 3);
    EXPECT_EQ(encoder.writer().queuedBytes(), 0u);
    encoder.close();
}

TEST_F(EncoderFileSink, AWriteFailureIsReportedAndTheNextRecordingStartsClean) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    unaEncoderFileSink sink(encoder);
    start();
    ASSERT_TRUE(sink.open("/dev/full"));
    std::vector<char> pcm(1000, 'x');
    sink.write(pcm.data(), uint32_t(pcm.size()));
    EXPECT_EQ(sink.close(), 0) << "the encoder itself did not fail";
    EXPECT_TRUE(sink.writeFailed());
    EXPECT_EQ(sink.bytesWritten(), 0u);

    const std::string name = (dir / "b.mp3").string();
    start();
    ASSERT_TRUE(sink.open(name));
    EXPECT_FALSE(sink.writeFailed());
    sink.write(pcm.data(), 100);
    sink.close();
    EXPECT_EQ(readAll(name), std::string(100, 'x') + kFinal);
}

TEST_F(EncoderFileSink, DestroyingTheSinkFinishesTheFileAndReleasesTheEncoder) {
    const std::string name = (dir / "c.mp3").string();
    {
        unaEncoderFileSink sink(encoder);
        start();
        ASSERT_TRUE(sink.open(name));
        sink.write("0123456789", 10);
    }
    EXPECT_EQ(readAll(name), std::string("0123456789") + kFinal);
    EXPECT_FALSE(bool(encoder.onDataAvailable));
}

} // namespace
