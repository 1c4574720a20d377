// Recordings that end badly or run long, through the whole chain on the
// virtual card: a recorder killed with SIGKILL leaves a file that plays to
// within a second of what it recorded, and a recording past 4 GiB reads back
// in full (run with SONVALE_LONG_TESTS=1: it writes 4.5 GiB).
#include "CaptureTestHelpers.h"

#include "capture/WaveRepair.h"
#include "capture/unaRiffStream.h"
#include "capture/unavclWaveComponents.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace capture_test;

namespace {

constexpr uint32_t kCdBytesPerSecond = 176400;

// The recorder's two pipes recording 44.1 kHz 16-bit stereo into a file.
struct Recorder {
    TComponent owner;
    TunavclWaveInDevice* waveIn;
    TunavclWaveRiff* waveRiff;

    Recorder() {
        owner.beginLoading();
        waveIn = new TunavclWaveInDevice(&owner);
        waveRiff = new TunavclWaveRiff(&owner);
        waveRiff->setIsInput(false);
        waveIn->setConsumer(waveRiff);
        owner.endLoading();
    }
    void start(const std::string& file) {
        waveRiff->setFileName(file);
        waveIn->setActive(true);
    }
    void stop() {
        waveRiff->setActive(false);
        waveRiff->setFileName("");
        waveIn->setActive(false);
    }
};

double soxSeconds(const std::string& file) {
    return std::atof(run("sox --i -D '" + file + "' 2>/dev/null").c_str());
}

} // namespace

TEST(CrashRecordingTest, KilledRecorderLeavesAFileThatPlaysToWithinASecond) {
    if (const char* target = std::getenv("SONVALE_CRASH_CHILD_FILE")) {
        // The child: records in real time until it is killed.
        useVirtualCard("", 1);
        Recorder r;
        r.start(target);
        for (;;)
            sleepMs(1000);
    }
    if (!haveTool("sox"))
        GTEST_SKIP() << "sox is not installed";
    TempDir dir;
    const std::string file = dir.file("killed.wav");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::setenv("SONVALE_CRASH_CHILD_FILE", file.c_str(), 1);
        ::execl(
            "/proc/self/exe", "capture_tests",
            "--gtest_filter=CrashRecordingTest.KilledRecorderLeavesAFileThatPlaysToWithinASecond",
            static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const bool recorded = waitUntil(
        [&] { return readFile(file).size() > kWavHeader + 2.5 * kCdBytesPerSecond; }, 20000);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(recorded) << "the child recorded nothing";

    const double onDisk = double(readFile(file).size() - kWavHeader) / kCdBytesPerSecond;
    const double playable = soxSeconds(file);
    EXPECT_GT(playable, onDisk - 1.1) << "on disk " << onDisk << " s";
    EXPECT_LE(playable, onDisk);

    // Repaired at the next start, it plays to the last whole frame.
    const WaveRepairResult fix = repairWaveFile(file);
    EXPECT_TRUE(fix == WaveRepairResult::Repaired || fix == WaveRepairResult::Intact);
    EXPECT_NEAR(soxSeconds(file), onDisk, 1.0 / 44100);
}

TEST(CrashRecordingTest, RecordingPastFourGiBReadsBackInFull) {
    if (!std::getenv("SONVALE_LONG_TESTS"))
        GTEST_SKIP() << "writes 4.5 GiB: set SONVALE_LONG_TESTS=1 to run it";
    if (!haveTool("sox"))
        GTEST_SKIP() << "sox is not installed";
    const char* tmp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
    struct statvfs vfs {};
    const uint64_t target = (uint64_t(9) << 29); // 4.5 GiB
    if (::statvfs(tmp, &vfs) != 0 || uint64_t(vfs.f_bavail) * vfs.f_frsize < target + (1u << 30))
        GTEST_SKIP() << "needs 5.5 GiB free in " << tmp;

    TempDir dir;
    const std::string file = dir.file("long.wav");
    useVirtualCard("", 0); // unpaced: as fast as the chain writes
    Recorder r;
    r.start(file);
    ASSERT_TRUE(r.waveRiff->active());
    ASSERT_TRUE(waitUntil([&] { return r.waveRiff->inBytes() >= target; }, 600000));
    r.stop();
    setAudioBackend(AudioBackend::Alsa);

    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    const uint64_t dataBytes = uint64_t(st.st_size) - kWavHeader;
    ASSERT_GE(dataBytes, target);
    unaRiffStream reader(file, false, false, nullptr);
    ASSERT_EQ(reader.riffStatus(), unaRiffStream::rsReady);
    EXPECT_EQ(reader.totalDataSize(), dataBytes);
    EXPECT_EQ(run("sox --i -s '" + file + "' 2>/dev/null"), std::to_string(dataBytes / 4) + "\n");
    // sox decodes every sample to the end.
    const std::string stat = run("sox '" + file + "' -n stat 2>&1");
    const size_t at = stat.find("Samples read:");
    ASSERT_NE(at, std::string::npos) << stat;
    EXPECT_EQ(std::strtoull(stat.c_str() + at + 13, nullptr, 10), dataBytes / 2);
}
