#include "core/unaEvent.h"

#include "TestHelpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

TEST(Event, AutoResetReleasesOneWaiterAndKeepsAnUnconsumedSignal) {
    unaEvent ev;
    EXPECT_FALSE(ev.waitFor(0));
    ev.setState(true);
    EXPECT_TRUE(ev.waitFor(0));
    EXPECT_FALSE(ev.waitFor(0)); // consumed

    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i)
        waiters.emplace_back([&] {
            if (ev.waitFor(INFINITE_TIMEOUT))
                released.fetch_add(1);
        });
    ev.setState(true);
    ASSERT_TRUE(waitUntil([&] { return released.load() == 1; }));
    sleepMs(20);
    EXPECT_EQ(released.load(), 1);
    ev.setState(true);
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(released.load(), 2);
}

TEST(Event, ManualResetReleasesEveryoneUntilReset) {
    unaEvent ev(true, false);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            if (ev.waitFor(INFINITE_TIMEOUT))
                released.fetch_add(1);
        });
    ev.setState(true);
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(released.load(), 3);
    EXPECT_TRUE(ev.waitFor(0));
    ev.setState(false);
    EXPECT_FALSE(ev.waitFor(10));
}
