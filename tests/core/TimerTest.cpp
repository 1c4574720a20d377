#include "core/unaTimer.h"

#include <gtest/gtest.h>

namespace {
struct FakeTimer : unaAbstractTimer {
    int starts = 0, stops = 0, ticks = 0;
    bool failStart = false;
    ~FakeTimer() override { stop(); }
    bool timerStart() override {
        ++starts;
        return !failStart;
    }
    void timerStop() override { ++stops; }
    void onTick() override { ++ticks; }
    void changeInterval(uint32_t& value) override {
        if (value < 10)
            value = 10;
    }
};
} // namespace

TEST(Timer, IntervalChangeRestartsARunningTimer) {
    FakeTimer t;
    t.setInterval(500);
    EXPECT_EQ(t.starts, 0); // not running: no restart
    t.start();
    EXPECT_TRUE(t.isRunning());
    t.start();
    EXPECT_EQ(t.starts, 1);
    t.setInterval(5);
    EXPECT_EQ(t.interval(), 10u); // adjusted by changeInterval
    EXPECT_EQ(t.stops, 1);
    EXPECT_EQ(t.starts, 2);
    t.setInterval(10); // same value: nothing
    EXPECT_EQ(t.starts, 2);

    int seen = 0;
    t.onTimer = [&](unaAbstractTimer* sender) {
        EXPECT_EQ(sender, &t);
        EXPECT_EQ(t.ticks, 1); // onTick runs first
        ++seen;
    };
    t.tick();
    EXPECT_EQ(seen, 1);
    t.stop();
    EXPECT_FALSE(t.isRunning());
    t.failStart = true;
    t.start();
    EXPECT_FALSE(t.isRunning());
}
