// The decoding libraries of the media area, loaded on first use: a library
// or entry point that is missing fails the open that needed it with a reason
// (never a hang or a crash), leaves nothing loaded, and the next open loads
// again; concurrent first uses load once.
#include "platform/media/MediaLibraries.h"

#include "platform/AudioTestSupport.h"
#include "platform/FailingLoader.h"
#include "platform/SoundFiles.h"
#include "platform/audio/AudioBackend.h"
#include "platform/audio/VirtualCard.h"
#include "platform/media/MediaPlayer.h"
#include "platform/media/Mp3Input.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

class MediaLibrariesTest : public ::testing::Test {
protected:
    void SetUp() override {
        useVirtualCard(8.0);
        forgetMediaLibraries();
        setLibraryLoader(&loader);
    }
    void TearDown() override {
        setLibraryLoader(nullptr);
        forgetMediaLibraries();
        for (const std::string& f : files)
            ::unlink(f.c_str());
    }
    std::string file(const std::string& name) {
        files.push_back(testsound::tempPath(name));
        return files.back();
    }
    FailingLoader loader;
    std::vector<std::string> files;
};

TEST_F(MediaLibrariesTest, AMissingSoundFileLibraryOrEntryPointFailsTheOpenUntilItIsBack) {
    const std::string wav = file("short.wav");
    ASSERT_TRUE(testsound::writeWav(wav, 22050, 2, 0.2));
    MediaPlayer p;

    loader.hiddenEntry = "sf_seek";
    EXPECT_EQ(p.open(wav), MMR_NODRIVER);
    EXPECT_NE(p.lastErrorText().find("sf_seek"), std::string::npos) << p.lastErrorText();
    EXPECT_EQ(p.mode(), MediaPlayer::Mode::NotOpen);
    EXPECT_EQ(p.play(), MMR_INVALHANDLE);
    EXPECT_FALSE(testsound::processHasOpen(wav));

    loader.hiddenEntry.clear();
    loader.refusedLibrary = kSndfileLibrary;
    EXPECT_EQ(p.open(wav), MMR_NODRIVER);
    EXPECT_NE(p.lastErrorText().find(kSndfileLibrary), std::string::npos) << p.lastErrorText();
    EXPECT_FALSE(testsound::processHasOpen(wav));
    // A library found without all its entry points was let go again.
    EXPECT_EQ(loader.unloads.load(), 1);

    // Once the library is there, the same player opens and plays to the end.
    loader.refusedLibrary.clear();
    ASSERT_EQ(p.open(wav), MMR_NOERROR) << p.lastErrorText();
    EXPECT_EQ(p.length(), 200u);
    ASSERT_EQ(p.play(), MMR_NOERROR);
    ASSERT_TRUE(waitFor([&] { return p.mode() == MediaPlayer::Mode::Stopped; }));
    EXPECT_EQ(p.position(), 200u);
    EXPECT_FALSE(p.failed());
}

TEST_F(MediaLibrariesTest, AMissingMp3DecoderEntryPointFailsBothMp3Players) {
    const std::string mp3 = file("short.mp3");
    ASSERT_TRUE(testsound::writeMp3(mp3, 44100, 2, 0.3));
    loader.hiddenEntry = "mpg123_scan";

    MediaPlayer p;
    EXPECT_EQ(p.open(mp3), MMR_NODRIVER);
    EXPECT_NE(p.lastErrorText().find("mpg123_scan"), std::string::npos) << p.lastErrorText();
    EXPECT_EQ(p.mode(), MediaPlayer::Mode::NotOpen);

    // The decoder the MP3 player library uses fails the same way.
    Mp3Input in;
    std::string why;
    EXPECT_FALSE(in.open(mp3, &why));
    EXPECT_NE(why.find("mpg123_scan"), std::string::npos) << why;
    EXPECT_FALSE(in.isOpen());
    EXPECT_FALSE(testsound::processHasOpen(mp3));

    loader.hiddenEntry.clear();
    ASSERT_TRUE(in.open(mp3, &why)) << why;
    EXPECT_EQ(in.rate(), 44100u);
    ASSERT_EQ(p.open(mp3), MMR_NOERROR) << p.lastErrorText();
    EXPECT_NEAR(double(p.length()), 300.0, 60.0);
}

TEST_F(MediaLibrariesTest, FirstUsesFromManyThreadsLoadEachLibraryOnce) {
    std::vector<std::thread> threads;
    std::vector<const SndfileApi*> sndfile(4);
    std::vector<const Mpg123Api*> mpg123(4);
    for (size_t i = 0; i < 4; ++i)
        threads.emplace_back([&, i] {
            std::string why;
            sndfile[i] = sndfileApi(&why);
            mpg123[i] = mpg123Api(&why);
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(loader.loads.load(), 2);
    for (size_t i = 0; i < 4; ++i) {
        ASSERT_NE(sndfile[i], nullptr);
        EXPECT_EQ(sndfile[i], sndfile[0]);
        ASSERT_NE(mpg123[i], nullptr);
        EXPECT_EQ(mpg123[i], mpg123[0]);
    }
    EXPECT_NE(sndfile[0]->sf_strerror, nullptr);
    EXPECT_EQ(loader.unloads.load(), 0);
}

} // namespace
