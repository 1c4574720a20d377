#include "platform/audio/MMTimer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

struct Ticks {
    std::mutex m;
    std::condition_variable cv;
    int count = 0;
    void tick() {
        std::lock_guard lock(m);
        ++count;
        cv.notify_all();
    }
    bool waitFor(int n) {
        std::unique_lock lock(m);
        return cv.wait_for(lock, std::chrono::seconds(20), [&] { return count >= n; });
    }
};

TEST(MMTimer, PeriodicTimerTicksUntilKilledAndNeverAfter) {
    Ticks t;
    uint32_t id = timeSetEvent(
        2, 0, [&](uint32_t) { t.tick(); }, TIME_PERIODIC);
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(t.waitFor(5));
    ASSERT_EQ(timeKillEvent(id), MMR_NOERROR);
    int after;
    {
        std::lock_guard lock(t.m);
        after = t.count;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::lock_guard lock(t.m);
    EXPECT_EQ(t.count, after);
    EXPECT_EQ(timeKillEvent(id), MMR_INVALPARAM);
}

TEST(MMTimer, OneShotFiresOnceWithItsId) {
    Ticks t;
    std::atomic<uint32_t> seen{0};
    uint32_t id = timeSetEvent(
        1, 1,
        [&](uint32_t timer) {
            seen = timer;
            t.tick();
        },
        TIME_ONESHOT);
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(t.waitFor(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(seen.load(), id);
    {
        std::lock_guard lock(t.m);
        EXPECT_EQ(t.count, 1);
    }
    EXPECT_EQ(timeKillEvent(id), MMR_NOERROR);
}

TEST(MMTimer, ACallbackMayKillItsOwnTimer) {
    Ticks t;
    std::atomic<uint32_t> id{0};
    std::mutex start;
    std::unique_lock hold(start); // the id is stored before the first tick runs
    id = timeSetEvent(
        1, 0,
        [&](uint32_t self) {
            { std::lock_guard wait(start); }
            EXPECT_EQ(timeKillEvent(self), MMR_NOERROR);
            t.tick();
        },
        TIME_PERIODIC);
    ASSERT_NE(id.load(), 0u);
    hold.unlock();
    ASSERT_TRUE(t.waitFor(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::lock_guard lock(t.m);
    EXPECT_EQ(t.count, 1);
}

TEST(MMTimer, CapsPeriodsAndRefusedRequests) {
    TIMECAPS caps;
    ASSERT_EQ(timeGetDevCaps(&caps, sizeof caps), TIMERR_NOERROR);
    EXPECT_EQ(caps.wPeriodMin, 1u);
    EXPECT_GE(caps.wPeriodMax, 1000u);
    EXPECT_EQ(timeGetDevCaps(nullptr, sizeof caps), TIMERR_NOCANDO);
    const uint32_t held = timeHeldPeriods();
    EXPECT_EQ(timeBeginPeriod(10), TIMERR_NOERROR);
    EXPECT_EQ(timeBeginPeriod(10), TIMERR_NOERROR);
    EXPECT_EQ(timeHeldPeriods(), held + 2);
    EXPECT_EQ(timeEndPeriod(10), TIMERR_NOERROR);
    EXPECT_EQ(timeEndPeriod(10), TIMERR_NOERROR);
    EXPECT_EQ(timeEndPeriod(10), TIMERR_NOCANDO); // never begun more often
    EXPECT_EQ(timeBeginPeriod(0), TIMERR_NOCANDO);
    EXPECT_EQ(timeHeldPeriods(), held);
    EXPECT_EQ(timeSetEvent(
                  0, 0, [](uint32_t) {}, TIME_PERIODIC),
              0u);
    EXPECT_EQ(timeSetEvent(10, 0, {}, TIME_PERIODIC), 0u);
}

} // namespace
