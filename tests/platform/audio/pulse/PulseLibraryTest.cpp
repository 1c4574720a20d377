// libpulse loaded on first use: without it (or without one of its entry
// points) no sound server answers, so the program records through ALSA;
// nothing of a half-found library stays loaded, and once it is there the
// next use loads it.
#include "platform/audio/pulse/PulseLibrary.h"
#include "platform/FailingLoader.h"
#include "platform/audio/pulse/PulseBackend.h"

#include <gtest/gtest.h>

namespace {

class PulseLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        forgetPulseLibrary();
        setLibraryLoader(&loader);
    }
    void TearDown() override {
        setLibraryLoader(nullptr);
        forgetPulseLibrary();
    }
    FailingLoader loader;
};

TEST_F(PulseLibrary, WithoutTheLibraryOrAnEntryPointNoServerAnswersUntilItIsBack) {
    std::string why;
    loader.refusedLibrary = kPulseLibrary;
    EXPECT_FALSE(pulseServerAnswers(250));
    EXPECT_EQ(pulseApi(&why), nullptr);
    EXPECT_NE(why.find(kPulseLibrary), std::string::npos) << why;

    loader.refusedLibrary.clear();
    loader.hiddenEntry = "pa_stream_peek";
    EXPECT_FALSE(pulseServerAnswers(250));
    EXPECT_EQ(pulseApi(&why), nullptr);
    EXPECT_NE(why.find("pa_stream_peek"), std::string::npos) << why;
    EXPECT_EQ(loader.loads.load(), loader.unloads.load() + 2); // the refused loads

    loader.hiddenEntry.clear();
    const PulseApi* api = pulseApi(&why);
    ASSERT_NE(api, nullptr) << why;
    EXPECT_EQ(&libpulse(), api);
    EXPECT_EQ(pulseApi(&why), api); // loaded once

    // A connection already running keeps its table while a new load fails.
    forgetPulseLibrary();
    loader.refusedLibrary = kPulseLibrary;
    EXPECT_EQ(&libpulse(), api);
}

} // namespace
