// Pipe components: activation order, consumer links and removal, format
// negotiation, the wave pipes' properties and device rebuilding, dump files.
#include "CaptureTestHelpers.h"

#include "capture/unavclWaveComponents.h"
#include "core/unaUtils.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace capture_test;

namespace {

// A pipe without a device that logs its opens and closes.
class LogPipe : public unavclInOutPipe {
public:
    LogPipe(std::vector<std::string>& log, const std::string& name, TComponent* owner = nullptr)
        : unavclInOutPipe(owner), log_(log), name_(name) {}
    ~LogPipe() override { teardown(); }

    uint32_t getAvailableDataLen(int32_t) override { return uint32_t(received.size()); }
    bool applyFormat(const void* record, uint32_t len, unavclInOutPipe* provider,
                     bool restoreActive) override {
        formats.emplace_back(static_cast<const uint8_t*>(record),
                             static_cast<const uint8_t*>(record) + len);
        return unavclInOutPipe::applyFormat(record, len, provider, restoreActive);
    }
    // Produces a block as if its device had captured it.
    bool produce(const Bytes& block) {
        return onNewData(block.data(), uint32_t(block.size()), this);
    }

    Bytes received;
    std::vector<Bytes> formats;
    bool failOpen = false;

protected:
    uint32_t doWrite(const void* data, uint32_t len, unavclInOutPipe*) override {
        received.insert(received.end(), static_cast<const uint8_t*>(data),
                        static_cast<const uint8_t*>(data) + len);
        return len;
    }
    uint32_t doRead(void*, uint32_t) override { return 0; }
    bool doOpen() override {
        log_.push_back("open " + name_);
        open_ = !failOpen;
        return open_;
    }
    void doClose() override {
        log_.push_back("close " + name_);
        open_ = false;
    }
    bool isActive() override { return open_; }
    bool enter(uint32_t) override { return true; }
    void leave() override {}

private:
    std::vector<std::string>& log_;
    std::string name_;
    bool open_ = false;
};

} // namespace

TEST(PipeTest, ActivationOpensTheConsumerFirstAndClosesItFirst) {
    std::vector<std::string> log;
    LogPipe source(log, "source"), sink(log, "sink");
    source.setConsumer(&sink);
    EXPECT_EQ(sink.providerCount(), 1u);
    EXPECT_EQ(sink.provider(0), &source);
    EXPECT_TRUE(source.open());
    EXPECT_TRUE(sink.active());
    source.close();
    EXPECT_FALSE(sink.active());
    EXPECT_EQ(log,
              (std::vector<std::string>{"open sink", "open source", "close sink", "close source"}));
    // Without autoActivate the consumer is left alone.
    log.clear();
    source.autoActivate = false;
    source.setActive(true);
    EXPECT_FALSE(sink.active());
    EXPECT_EQ(log, std::vector<std::string>{"open source"});
    source.setActive(false);

    // A consumer that fails leaves the pipe inactive; a pipe that fails keeps
    // the consumer it opened.
    source.autoActivate = true;
    source.failOpen = true;
    EXPECT_FALSE(source.open());
    EXPECT_TRUE(sink.active());
}

TEST(PipeTest, BlocksReachAnActiveConsumerAndEveryListener) {
    std::vector<std::string> log;
    LogPipe source(log, "source"), sink(log, "sink");
    source.setConsumer(&sink);
    uint32_t raised = 0;
    source.onDataAvailable = [&](unavclInOutPipe* sender, const void*, uint32_t len) {
        EXPECT_EQ(sender, &source);
        raised += len;
    };
    source.produce(pattern(10)); // consumer inactive: not taken, still raised
    EXPECT_TRUE(sink.received.empty());
    source.open();
    source.produce(pattern(10));
    source.setConsumer(nullptr); // detached: the block goes nowhere
    EXPECT_EQ(sink.providerCount(), 0u);
    source.produce(pattern(7));
    EXPECT_EQ(sink.received, pattern(10));
    EXPECT_EQ(raised, 27u);
    EXPECT_EQ(source.outBytes(), 17u); // since the last activation
    EXPECT_EQ(sink.inBytes(), 10u);
    EXPECT_FALSE(source.produce(Bytes()));
    EXPECT_EQ(sink.write(nullptr, 5), 0u);
}

TEST(PipeTest, RemovedComponentsLeaveNoDanglingLinks) {
    std::vector<std::string> log;
    TComponent form;
    auto* source = new LogPipe(log, "source", &form);
    auto* sink = new LogPipe(log, "sink", &form);
    LogPipe outside(log, "outside");
    source->setConsumer(sink);
    outside.setConsumer(sink);
    EXPECT_EQ(sink->providerCount(), 2u);
    delete sink;
    EXPECT_EQ(source->consumer(), nullptr);
    EXPECT_EQ(outside.consumer(), nullptr);

    auto* other = new LogPipe(log, "other", &form);
    source->setConsumer(other);
    delete source;
    EXPECT_EQ(other->providerCount(), 0u);
    EXPECT_EQ(form.componentCount(), 1u);

    // relinkProviders moves every provider to another consumer.
    LogPipe a(log, "a"), b(log, "b"), c(log, "c");
    a.setConsumer(&c);
    b.setConsumer(&c);
    c.relinkProviders(other);
    EXPECT_EQ(a.consumer(), other);
    EXPECT_EQ(b.consumer(), other);
    EXPECT_EQ(c.providerCount(), 0u);
    EXPECT_EQ(other->providerCount(), 2u);
    other->relinkProviders(nullptr);
    EXPECT_EQ(a.consumer(), nullptr);
}

TEST(PipeTest, LoadingRecordsActiveAndLoadedAppliesIt) {
    std::vector<std::string> log;
    TComponent form;
    form.beginLoading();
    auto* pipe = new LogPipe(log, "p", &form);
    pipe->setActive(true);
    EXPECT_TRUE(pipe->active());
    EXPECT_TRUE(log.empty());
    form.endLoading();
    EXPECT_EQ(log, std::vector<std::string>{"open p"});
    EXPECT_TRUE(pipe->active());
}

TEST(PipeTest, WavePipeFormatPropertiesAndNegotiation) {
    std::vector<std::string> log; // outlives the form's pipes
    TComponent form;
    form.beginLoading();
    auto* in = new TunavclWaveInDevice(&form);
    auto* sink = new LogPipe(log, "sink", &form);
    form.endLoading();
    EXPECT_EQ(in->pcm_SamplesPerSec(), 44100u);
    EXPECT_EQ(in->pcm_BitsPerSample(), 16u);
    EXPECT_EQ(in->pcm_NumChannels(), 2u);
    EXPECT_EQ(in->getPcmValue(3), 0u);
    EXPECT_EQ(in->formatTag(), 1u);
    EXPECT_NE(in->driver(), nullptr);
    EXPECT_EQ(in->overNum(), 5u);
    EXPECT_EQ(in->deviceId(), -1);

    in->setPcmValue(2, 1);
    EXPECT_EQ(uint32_t(in->pcmFormat().nBlockAlign), 2u);
    EXPECT_EQ(uint32_t(in->pcmFormat().nAvgBytesPerSec), 88200u);
    EXPECT_EQ(in->device()->chunkSize(), 8820u);
    in->setPcmValue(7, 99); // no field changes
    EXPECT_EQ(in->pcm_NumChannels(), 1u);

    // No format travels unless the pipe is a format provider.
    in->setConsumer(sink);
    in->setActive(true);
    in->setActive(false);
    EXPECT_TRUE(sink->formats.empty());
    in->isFormatProvider = true;
    EXPECT_TRUE(in->sendFormat(true));
    ASSERT_EQ(sink->formats.size(), 1u);
    ASSERT_EQ(sink->formats[0].size(), sizeof(WavePipeFormat));
    WavePipeFormat f;
    std::memcpy(&f, sink->formats[0].data(), sizeof f);
    EXPECT_EQ(uint32_t(f.formatTag), 1u);
    EXPECT_EQ(uint32_t(f.samplesPerSec), 44100u);
    EXPECT_EQ(uint32_t(f.bitsPerSample), 16u);
    EXPECT_EQ(uint32_t(f.channels), 1u);
}

TEST(PipeTest, AppliedFormatReachesTheDeviceAndShortRecordsReadAsZero) {
    TComponent form;
    form.beginLoading();
    auto* in = new TunavclWaveInDevice(&form);
    form.endLoading();
    WavePipeFormat f{};
    f.formatTag = 1;
    f.samplesPerSec = 22050;
    f.bitsPerSample = 8;
    f.channels = 1;
    EXPECT_TRUE(in->applyFormat(&f, sizeof f, nullptr, false));
    EXPECT_EQ(in->pcm_SamplesPerSec(), 22050u);
    EXPECT_EQ(in->device()->chunkSize(), 2205u);
    // Only tag and rate given: the rest is zero, never read past the record.
    const uint32_t two[2] = {1, 11025};
    in->applyFormat(two, sizeof two, nullptr, false);
    EXPECT_EQ(in->pcm_SamplesPerSec(), 11025u);
    EXPECT_EQ(in->pcm_BitsPerSample(), 0u);
    in->formatTagImmunable = true;
    f.formatTag = 6;
    in->applyFormat(&f, sizeof f, nullptr, false);
    EXPECT_EQ(in->formatTag(), 1u);
}

TEST(PipeTest, WaveInPipeBuildsItsDeviceWithTheStoredOptions) {
    TComponent form;
    form.beginLoading();
    auto* in = new TunavclWaveInDevice(&form);
    EXPECT_EQ(in->device(), nullptr);
    EXPECT_EQ(in->minActiveTime(), 0u);
    in->setMinVolumeLevel(300);
    in->setCalcVolume(false);
    form.endLoading();
    ASSERT_NE(in->device(), nullptr);
    EXPECT_EQ(in->device()->minActiveTime.load(), 0u);
    EXPECT_EQ(in->minVolumeLevel(), 300u);
    EXPECT_TRUE(in->device()->calcVolume());
    // The pipe and its device agree once the level is taken away again.
    in->setCalcVolume(true);
    in->setMinVolumeLevel(0);
    EXPECT_TRUE(in->calcVolume());
    EXPECT_TRUE(in->device()->calcVolume());
    in->setMinActiveTime(250);
    EXPECT_EQ(in->device()->minActiveTime.load(), 250u);
    in->setOverNum(9);
    EXPECT_EQ(in->device()->outOverNum.load(), 9u);
    // A new device id builds a new (closed) device with the same options.
    in->setDeviceId(0);
    ASSERT_NE(in->device(), nullptr);
    EXPECT_EQ(in->device()->deviceId(), 0);
    EXPECT_EQ(in->device()->minActiveTime.load(), 250u);
    EXPECT_EQ(in->device()->outOverNum.load(), 9u);
    EXPECT_FALSE(in->active());
}

TEST(PipeTest, RiffPipeWriterFollowsItsNameAndFormat) {
    TempDir dir;
    TComponent form;
    form.beginLoading();
    auto* riff = new TunavclWaveRiff(&form);
    form.endLoading();
    EXPECT_TRUE(riff->isInput());
    riff->setIsInput(false);
    EXPECT_EQ(riff->riffStatus(), unaRiffStream::rsWriterNoFile);

    const std::string a = dir.file("a.wav");
    riff->setFileName(a);
    EXPECT_TRUE(fileExists(a)) << "the file is created before activation";
    EXPECT_EQ(riff->riffStatus(), unaRiffStream::rsWriterReady);
    riff->setFileName(a); // same name: nothing happens
    EXPECT_EQ(riff->device()->chunkSize(), 17640u);
    riff->setPcm_SamplesPerSec(8000); // every format change builds a new writer
    EXPECT_EQ(riff->device()->chunkSize(), 3200u);

    riff->open();
    EXPECT_TRUE(riff->active());
    const Bytes block = pattern(3200);
    EXPECT_EQ(riff->write(block.data(), 3200), 3200u);
    EXPECT_EQ(riff->inBytes(), 3200u);
    const std::string b = dir.file("b.wav");
    riff->setFileName(b); // a new name closes the pipe: a.wav is finished
    EXPECT_FALSE(riff->active());
    const Bytes fileA = readFile(a);
    ASSERT_EQ(fileA.size(), kWavHeader + 3200u);
    EXPECT_EQ(u32At(fileA, kDataSizeAt), 3200u);
    riff->open();
    EXPECT_EQ(riff->inBytes(), 0u);
    riff->close();
    EXPECT_EQ(readFile(b).size(), kWavHeader);
    EXPECT_FALSE(riff->writeFailed());
}

TEST(PipeTest, RiffPipeReaderFeedsItsConsumerAndReportsTheFileFormat) {
    TempDir dir;
    const Bytes data = pattern(16000);
    writeFile(dir.file("in.wav"),
              container("RIFF", "WAVE", {fmtChunk(pcm(8000, 16, 1)), chunk("data", data)}));
    std::vector<std::string> log;
    TComponent form;
    form.beginLoading();
    auto* riff = new TunavclWaveRiff(&form);
    auto* sink = new LogPipe(log, "sink", &form);
    riff->setConsumer(sink);
    form.endLoading();
    std::vector<uint8_t> record;
    riff->getFormat(record);
    WavePipeFormat f;
    std::memcpy(&f, record.data(), sizeof f);
    EXPECT_EQ(uint32_t(f.samplesPerSec), 44100u); // no file yet
    riff->setFileName(dir.file("in.wav"));
    EXPECT_EQ(riff->riffStatus(), unaRiffStream::rsReady);
    riff->getFormat(record);
    std::memcpy(&f, record.data(), sizeof f);
    EXPECT_EQ(uint32_t(f.samplesPerSec), 8000u);
    EXPECT_EQ(uint32_t(f.channels), 1u);
    EXPECT_FALSE(riff->applyFormat(&f, sizeof f, nullptr, false));

    ASSERT_TRUE(riff->open());
    ASSERT_TRUE(waitUntil([&] { return riff->device()->isEof(); }));
    riff->close();
    // The data ends on a chunk boundary: no chunk of silence follows.
    ASSERT_EQ(sink->received.size(), 16000u);
    EXPECT_EQ(sink->received, data);
}

TEST(PipeTest, DumpFilesGetEveryBlock) {
    TempDir dir;
    std::vector<std::string> log;
    LogPipe source(log, "source"), sink(log, "sink");
    source.setConsumer(&sink);
    source.setDumpOutput(dir.file("out.dump"));
    sink.setDumpInput(dir.file("in.dump"));
    source.open();
    source.produce(pattern(100, 1));
    source.produce(pattern(50, 2));
    Bytes both = pattern(100, 1);
    const Bytes second = pattern(50, 2);
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(readFile(dir.file("out.dump")), both);
    EXPECT_EQ(readFile(dir.file("in.dump")), both);
    // A dump that cannot be written is ignored.
    source.setDumpOutput(dir.file("no/such/dir/x"));
    EXPECT_TRUE(source.produce(pattern(10)));
}

TEST(PipeTest, EmptyWriterAsConsumerDropsEverything) {
    // As during an MP3 recording: waveIn feeds a writer without a file.
    TempDir dir;
    writeFile(dir.file("feed.raw"), pattern(88200));
    useVirtualCard(dir.file("feed.raw"), 0);
    TComponent form;
    form.beginLoading();
    auto* in = new TunavclWaveInDevice(&form);
    auto* riff = new TunavclWaveRiff(&form);
    riff->setIsInput(false);
    in->setConsumer(riff);
    form.endLoading();
    std::atomic<uint32_t> chunks{0};
    in->onDataAvailable = [&](unavclInOutPipe*, const void*, uint32_t) { ++chunks; };
    in->open();
    ASSERT_TRUE(in->active());
    ASSERT_TRUE(riff->active());
    ASSERT_TRUE(waitUntil([&] { return chunks.load() >= 50; }));
    EXPECT_EQ(riff->getAvailableDataLen(0), 0u);
    EXPECT_EQ(in->getAvailableDataLen(1), 0u) << "no output stream while chained";
    in->close();
    EXPECT_FALSE(riff->active());
    setAudioBackend(AudioBackend::Alsa);
}
