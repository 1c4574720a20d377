// The encoder library binding over fake libraries built for the purpose,
// and over a loader backend that fails on purpose.
#include "encode/unaBladeMp3Enc.h"
#include "tests/encode/testlibs/fakeenc.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

BE_CONFIG stereoConfig(int32_t mode = BE_MP3_MODE_STEREO) {
    BE_CONFIG c;
    std::memset(&c, 0, sizeof c);
    c.dwConfig = BE_CONFIG_LAME;
    c.dwStructVersion = 1;
    c.dwStructSize = sizeof c;
    c.dwSampleRate = 44100;
    c.nMode = mode;
    c.dwBitrate = c.dwMaxBitrate = 128;
    c.nPreset = LQP_NOPRESET;
    c.nVbrMethod = VBR_METHOD_NONE;
    return c;
}

// Passes everything to the system loader, counting and remembering names.
class CountingLoader : public LibraryLoader {
public:
    Module load(const std::string& path, LoaderError* e) override {
        names.push_back(path);
        ++loads;
        return systemLibraryLoader().load(path, e);
    }
    void* symbol(Module m, const char* n, LoaderError* e) override {
        return systemLibraryLoader().symbol(m, n, e);
    }
    bool unload(Module m, LoaderError* e) override {
        ++unloads;
        return systemLibraryLoader().unload(m, e);
    }
    int loads = 0, unloads = 0;
    std::vector<std::string> names;
};

// Gives the fake library's test hooks.
struct Hooks {
    explicit Hooks(const char* path) {
        module = systemLibraryLoader().load(path, nullptr);
        stats = reinterpret_cast<FAKEENC_STATS>(
            systemLibraryLoader().symbol(module, "fakeenc_stats", nullptr));
        reset = reinterpret_cast<FAKEENC_RESET>(
            systemLibraryLoader().symbol(module, "fakeenc_reset", nullptr));
        setFailure = reinterpret_cast<FAKEENC_SETFAILURE>(
            systemLibraryLoader().symbol(module, "fakeenc_setFailure", nullptr));
        reset();
    }
    ~Hooks() { systemLibraryLoader().unload(module, nullptr); }
    FakeEncStats get() {
        FakeEncStats s;
        stats(&s);
        return s;
    }
    LibraryLoader::Module module;
    FAKEENC_STATS stats;
    FAKEENC_RESET reset;
    FAKEENC_SETFAILURE setFailure;
};

// Exposes the library operations the framework otherwise calls itself.
class OpenLame : public unaLameMp3Enc {
public:
    using unaLameMp3Enc::doClose;
    using unaLameMp3Enc::doEncode;
    using unaLameMp3Enc::unaLameMp3Enc;
};

class BladeBinding : public ::testing::Test {
protected:
    void SetUp() override { setLibraryLoader(&loader); }
    void TearDown() override {
        setLibraryLoader(nullptr);
        // Every encoder is gone: no record may keep a reference.
        EXPECT_EQ(unaLameMp3Enc::libraryRecord().references(), 0);
        EXPECT_EQ(unaBladeMp3Enc::libraryRecord().references(), 0);
    }
    CountingLoader loader;
};

TEST_F(BladeBinding, MissingLibraryGivesNoLibraryOnEveryCall) {
    OpenLame e("/nonexistent/folder/mp3enc.so");
    EXPECT_EQ(e.lastError(), encErrNoLibrary);
    EXPECT_EQ(e.loadError().code, uint32_t(ENOENT));
    EXPECT_FALSE(e.loadError().text.empty());
    EXPECT_FALSE(e.getVersion());
    BE_CONFIG c = stereoConfig();
    EXPECT_EQ(e.setConfig(&c), encErrNoLibrary);
    EXPECT_EQ(e.open(), encErrNotConfigured);
    int16_t pcm[4] = {};
    EXPECT_EQ(e.doEncode(pcm, sizeof pcm), encErrNoLibrary);
    EXPECT_EQ(e.doClose(), encErrNoLibrary);
    EXPECT_EQ(e.close(), 0);
}

TEST_F(BladeBinding, LibraryWithoutEncodeEntryAnswersNoEntryOnThatCall) {
    Hooks hooks(FAKEENC_NOENCODE_PATH);
    OpenLame e(FAKEENC_NOENCODE_PATH);
    ASSERT_EQ(e.lastError(), 0);
    EXPECT_STREQ(e.versionInfo().zDescription, "fake encoder 3");
    BE_CONFIG c = stereoConfig();
    ASSERT_EQ(e.setConfig(&c), 0);
    std::vector<int16_t> pcm(2304);
    EXPECT_EQ(e.doEncode(pcm.data(), 4608), encErrNoEntry);

    // A whole recording still ends cleanly: the blocks are lost, the
    // library's final bytes arrive.
    ASSERT_EQ(e.open(), 0);
    e.lazyWrite(pcm.data(), 4608);
    e.lazyWrite(pcm.data(), 1000);
    EXPECT_EQ(e.close(), 0);
    EXPECT_EQ(e.totalEncoded(), kFakeFinalBytes);
    EXPECT_EQ(hooks.get().deinits, 1);
    EXPECT_EQ(hooks.get().closes, 1);
}

TEST_F(BladeBinding, StreamCallsCarrySizesHandleAndResults) {
    Hooks hooks(FAKEENC_FULL_PATH);
    unaLameMp3Enc e(FAKEENC_FULL_PATH);
    ASSERT_EQ(e.lastError(), 0);
    EXPECT_EQ(e.streamHandle(), unaBladeMp3Enc::kNoStream);
    BE_CONFIG mono = stereoConfig(BE_MP3_MODE_MONO);
    ASSERT_EQ(e.setConfig(&mono), 0);
    EXPECT_EQ(e.chunkSize(), 2304u);
    BE_CONFIG c = stereoConfig();
    ASSERT_EQ(e.setConfig(&c), 0); // closes the first stream
    EXPECT_EQ(hooks.get().closes, 1);
    EXPECT_EQ(e.chunkSize(), 4608u);
    EXPECT_EQ(e.outBufSize(), kFakeOutBufferSize);
    EXPECT_NE(e.streamHandle(), unaBladeMp3Enc::kNoStream);

    ASSERT_EQ(e.open(), 0);
    std::vector<int16_t> pcm(2304 * 3);
    e.lazyWrite(pcm.data(), uint32_t(pcm.size() * 2 - 1000));
    EXPECT_EQ(e.close(), 0);
    const FakeEncStats s = hooks.get();
    EXPECT_EQ(s.encodes, 3);
    EXPECT_EQ(s.maxSamples, 2304u);
    EXPECT_EQ(s.lastSamples, 2304u - 500u);
    EXPECT_EQ(s.openStreams, 0u);
    EXPECT_EQ(s.overlaps, 0);
    EXPECT_EQ(e.totalEncoded(), 576u + 576u + (2304u - 500u) / 4 + kFakeFinalBytes);
    EXPECT_EQ(e.streamHandle(), unaBladeMp3Enc::kNoStream);

    // Records the library refuses, and a failing end of stream.
    c.dwStructSize = 100;
    EXPECT_EQ(e.setConfig(&c), int32_t(BE_ERR_INVALID_FORMAT));
    EXPECT_EQ(e.lastError(), int32_t(BE_ERR_INVALID_FORMAT));
    EXPECT_EQ(e.setConfig(nullptr), int32_t(BE_ERR_INVALID_FORMAT));
    c = stereoConfig();
    ASSERT_EQ(e.setConfig(&c), 0);
    hooks.setFailure(0, 42, 0);
    EXPECT_EQ(e.close(), 42);
    EXPECT_EQ(hooks.get().closes, 2); // not closed after a failed end of stream
    EXPECT_EQ(e.streamHandle(), unaBladeMp3Enc::kNoStream);
}

TEST_F(BladeBinding, TwoEncodersShareOneLoadAndTheFirstNameStays) {
    {
        unaLameMp3Enc a(FAKEENC_FULL_PATH);
        unaLameMp3Enc b(FAKEENC_OTHER_PATH);
        EXPECT_EQ(loader.loads, 1);
        EXPECT_EQ(unaLameMp3Enc::libraryRecord().references(), 2);
        EXPECT_EQ(unaLameMp3Enc::libraryRecord().loadedFileName(), FAKEENC_FULL_PATH);
        EXPECT_STREQ(b.versionInfo().zDescription, "fake encoder 1");
        EXPECT_NE(unaLameMp3Enc::libraryRecord().beWriteVBRHeader, nullptr);
        {
            unaLameMp3Enc c(FAKEENC_FULL_PATH);
            EXPECT_EQ(unaLameMp3Enc::libraryRecord().references(), 3);
        }
        EXPECT_EQ(loader.unloads, 0);
        BE_CONFIG cfg = stereoConfig();
        EXPECT_EQ(b.setConfig(&cfg), 0);
        EXPECT_EQ(b.close(), 0);
    }
    EXPECT_EQ(loader.unloads, 1);
    EXPECT_EQ(unaLameMp3Enc::libraryRecord().loadedFileName(), "");

    // Unloaded: a new encoder loads the name it is given.
    unaLameMp3Enc d(FAKEENC_OTHER_PATH);
    EXPECT_STREQ(d.versionInfo().zDescription, "fake encoder 2");
    EXPECT_EQ(loader.loads, 2);
}

TEST_F(BladeBinding, EncoderWhoseLoadFailedNeverTouchesAnotherOnesReference) {
    auto failed = std::make_unique<OpenLame>("/nonexistent/mp3enc.so");
    ASSERT_EQ(failed->lastError(), encErrNoLibrary);
    {
        unaLameMp3Enc good(FAKEENC_FULL_PATH);
        ASSERT_EQ(good.lastError(), 0);
        // The record is loaded now, yet the failed encoder holds no part of it.
        BE_CONFIG c = stereoConfig();
        EXPECT_EQ(failed->setConfig(&c), encErrNoLibrary);
        failed.reset();
        EXPECT_EQ(unaLameMp3Enc::libraryRecord().references(), 1);
        EXPECT_EQ(loader.unloads, 0);
        EXPECT_EQ(good.setConfig(&c), 0);
        EXPECT_EQ(good.close(), 0);
    }
    EXPECT_EQ(loader.unloads, 1);
}

TEST_F(BladeBinding, EachClassKeepsItsOwnRecordAndDefaultName) {
    {
        unaBladeMp3Enc blade(FAKEENC_FULL_PATH);
        unaLameMp3Enc lame(FAKEENC_OTHER_PATH);
        EXPECT_STREQ(blade.versionInfo().zDescription, "fake encoder 1");
        EXPECT_STREQ(lame.versionInfo().zDescription, "fake encoder 2");
        EXPECT_EQ(loader.loads, 2);
        // Only the second class looks up the VBR header entry.
        EXPECT_EQ(unaBladeMp3Enc::libraryRecord().beWriteVBRHeader, nullptr);
        EXPECT_NE(unaLameMp3Enc::libraryRecord().beWriteVBRHeader, nullptr);
    }
    {
        unaLameMp3Enc trimmed(std::string("  ") + FAKEENC_FULL_PATH + " \t");
        EXPECT_EQ(trimmed.lastError(), 0);
        EXPECT_EQ(loader.names.back(), FAKEENC_FULL_PATH);
    }
    unaLameMp3Enc lameDefault("   ");
    EXPECT_EQ(loader.names.back(), "lame_enc.dll");
    EXPECT_EQ(lameDefault.lastError(), encErrNoLibrary);
    unaBladeMp3Enc bladeDefault;
    EXPECT_EQ(loader.names.back(), "BladeEnc.dll");
    EXPECT_EQ(bladeDefault.lastError(), encErrNoLibrary);
}

// A loader backend whose "library" is this test program's own functions.
namespace scripted {
uint32_t samplesAnswer = 0;
int closes = 0;
BE_ERR init(BE_CONFIG*, uint32_t* samples, uint32_t* size, uint32_t* h) {
    *samples = samplesAnswer;
    *size = 100;
    *h = 5;
    return 0;
}
BE_ERR closeStream(uint32_t) {
    ++closes;
    return 0;
}
BE_ERR encodeTooMuch(uint32_t, uint32_t, const int16_t*, uint8_t*, uint32_t* written) {
    *written = 1u << 30; // a library that claims more than the buffer holds
    return 0;
}
} // namespace scripted

class ScriptedLoader : public LibraryLoader {
public:
    Module load(const std::string&, LoaderError*) override { return this; }
    void* symbol(Module, const char* n, LoaderError*) override {
        if (!std::strcmp(n, TEXT_BEINITSTREAM))
            return reinterpret_cast<void*>(&scripted::init);
        if (!std::strcmp(n, TEXT_BECLOSESTREAM))
            return reinterpret_cast<void*>(&scripted::closeStream);
        if (!std::strcmp(n, TEXT_BEENCODECHUNK))
            return reinterpret_cast<void*>(&scripted::encodeTooMuch);
        return nullptr;
    }
    bool unload(Module, LoaderError* e) override {
        e->code = EBUSY;
        return false;
    }
};

TEST_F(BladeBinding, NonsenseAnswersOfALibraryAreContained) {
    ScriptedLoader scriptedLoader;
    setLibraryLoader(&scriptedLoader);
    OpenLame e("anything.so");
    ASSERT_EQ(e.lastError(), 0);
    EXPECT_FALSE(e.getVersion()); // no "beVersion"
    BE_CONFIG c = stereoConfig();

    // A stream that takes no samples is refused and closed again.
    scripted::samplesAnswer = 0;
    scripted::closes = 0;
    EXPECT_NE(e.setConfig(&c), 0);
    EXPECT_EQ(scripted::closes, 1);

    // A byte count beyond the buffer is cut to the buffer.
    scripted::samplesAnswer = 50;
    ASSERT_EQ(e.setConfig(&c), 0);
    EXPECT_EQ(e.chunkSize(), 100u);
    uint32_t delivered = 0;
    e.onDataAvailable = [&](unaAbstractEncoder*, const void* data, uint32_t size, bool&) {
        delivered += size;
        EXPECT_EQ(static_cast<const uint8_t*>(data)[size - 1], 0); // readable to the end
    };
    ASSERT_EQ(e.open(), 0);
    int16_t pcm[50] = {};
    e.lazyWrite(pcm, sizeof pcm);
    EXPECT_EQ(e.close(), encErrNoEntry); // no "beDeinitStream"
    EXPECT_EQ(delivered, 100u);
    EXPECT_EQ(e.totalEncoded(), 100u);

    // Freeing the library fails: the loader's code comes back.
    EXPECT_EQ(e.unloadLibrary(), EBUSY);
    EXPECT_EQ(e.unloadLibrary(), 0); // nothing held any more
}

} // namespace
