// The clock texts: the hour appears only when needed, sizes switch to MB at
// one megabyte, the time left needs a rate.
#include "app/Clock.h"

#include <gtest/gtest.h>

using namespace sonvale::app;

TEST(Clock, ElapsedTimeGrowsAnHourFieldOnlyFromOneHour) {
    EXPECT_EQ(FormatClock(0), "0:00");
    EXPECT_EQ(FormatClock(59), "0:59");
    EXPECT_EQ(FormatClock(60), "1:00");
    EXPECT_EQ(FormatClock(3599), "59:59");
    EXPECT_EQ(FormatClock(3600), "1:00:00");
    EXPECT_EQ(FormatClock(3725), "1:02:05");
    EXPECT_EQ(FormatClock(100 * 3600), "100:00:00");
    EXPECT_EQ(PositionText(12'999, 65'000), "0:12 / 1:05");
}

TEST(Clock, SizeAndTimeLeftAtTheCurrentRate) {
    EXPECT_EQ(FormatSize(1023), "0 KB");
    EXPECT_EQ(FormatSize(1024 * 1024 - 1), "1023 KB");
    EXPECT_EQ(FormatSize(1024 * 1024), "1.0 MB");
    EXPECT_EQ(FormatSize(uint64_t(5) << 40), "5242880.0 MB");
    EXPECT_EQ(SecondsLeft(1'000'000, 0, 5), std::nullopt); // nothing written yet
    EXPECT_EQ(SecondsLeft(1'000'000, 10'000, 0), std::nullopt);
    EXPECT_EQ(SecondsLeft(1'764'000, 176'400, 1), 10u);
    // No overflow with terabytes free and hours recorded.
    EXPECT_EQ(SecondsLeft(uint64_t(4) << 40, uint64_t(176'400) * 36'000, 36'000),
              (uint64_t(4) << 40) / 176'400);
    EXPECT_EQ(RecordingClockText(3725, 2 * 1024 * 1024, 600),
              "1:02:05 \u00b7 2.0 MB \u00b7 10:00 left");
    EXPECT_EQ(RecordingClockText(5, 2048, std::nullopt), "0:05 \u00b7 2 KB");
    EXPECT_TRUE(FreeDiskBytes("/tmp/x.wav").has_value());
    EXPECT_FALSE(FreeDiskBytes("/no/such/folder/x.wav").has_value());
}
