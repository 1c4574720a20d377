#include "core/unaGate.h"

#include "TestHelpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

TEST(Gate, OwnerReentersAndFreesOnlyAfterAsManyLeaves) {
    unaInProcessGate g;
    EXPECT_TRUE(g.enter(0));
    EXPECT_TRUE(g.enter(0));
    EXPECT_TRUE(g.isBusy());
    EXPECT_EQ(g.depth(), 2);
    EXPECT_EQ(g.lockCount(), 2);
    EXPECT_EQ(g.ownerThreadId(), currentThreadId());
    g.leave();
    EXPECT_EQ(g.ownerThreadId(), currentThreadId());
    EXPECT_TRUE(g.isBusy());
    g.leave();
    EXPECT_EQ(g.ownerThreadId(), 0u);
    EXPECT_EQ(g.lockCount(), 0);
    EXPECT_EQ(g.depth(), 0);
    EXPECT_FALSE(g.isBusy());
    g.leave(); // not the owner any more: nothing happens
    EXPECT_EQ(g.lockCount(), 0);
    EXPECT_EQ(g.depth(), 0);
}

TEST(Gate, ForeignLeaveAndTimedOutEntersLeaveCountersUnchanged) {
    unaInProcessGate g;
    ASSERT_TRUE(g.enter());
    std::thread other([&] {
        g.leave();
        EXPECT_FALSE(g.enter(0));
        EXPECT_FALSE(g.enter(30));
    });
    other.join();
    EXPECT_EQ(g.lockCount(), 1);
    EXPECT_EQ(g.depth(), 1);
    EXPECT_EQ(g.ownerThreadId(), currentThreadId());
    g.leave();
    EXPECT_EQ(g.lockCount(), 0);
    // free again: another thread gets it at once
    std::thread again([&] {
        EXPECT_TRUE(g.enter(0));
        g.leave();
    });
    again.join();
}

TEST(Gate, OneLeaveReleasesExactlyOneOfTwoWaiters) {
    unaInProcessGate g;
    ASSERT_TRUE(g.enter());
    std::atomic<int> inside{0};
    std::atomic<bool> release{false};
    auto waiter = [&] {
        ASSERT_TRUE(g.enter(INFINITE_TIMEOUT));
        inside.fetch_add(1);
        while (!release.load())
            sleepMs(1);
        g.leave();
    };
    std::thread a(waiter), b(waiter);
    ASSERT_TRUE(waitUntil([&] { return g.lockCount() == 3; }));
    g.leave();
    ASSERT_TRUE(waitUntil([&] { return inside.load() == 1; }));
    sleepMs(30);
    EXPECT_EQ(inside.load(), 1); // the other one keeps waiting
    EXPECT_EQ(g.lockCount(), 2);
    release.store(true);
    a.join();
    b.join();
    EXPECT_EQ(inside.load(), 2);
    EXPECT_EQ(g.lockCount(), 0);
    EXPECT_EQ(g.ownerThreadId(), 0u);
}

TEST(Gate, WaiterWithTimeLeftGetsTheGateWhenTheOwnerLeaves) {
    unaInProcessGate g;
    ASSERT_TRUE(g.enter());
    std::atomic<bool> got{false};
    std::thread w([&] {
        got.store(g.enter(60000));
        if (got.load())
            g.leave();
    });
    ASSERT_TRUE(waitUntil([&] { return g.lockCount() == 2; }));
    g.leave();
    w.join();
    EXPECT_TRUE(got.load());
    EXPECT_EQ(g.lockCount(), 0);
}

TEST(Gate, SerialisesNestedCriticalSectionsOfManyThreads) {
    unaInProcessGate g;
    long counter = 0; // deliberately not atomic: the gate must protect it
    constexpr int kThreads = 4, kRounds = 20000;
    std::vector<std::thread> ts;
    for (int t = 0; t < kThreads; ++t)
        ts.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                ASSERT_TRUE(g.enter());
                if ((i + t) % 3 == 0) {
                    ASSERT_TRUE(g.enter(0)); // nested
                    ++counter;
                    g.leave();
                } else {
                    ++counter;
                }
                g.leave();
            }
        });
    for (auto& t : ts)
        t.join();
    EXPECT_EQ(counter, long(kThreads) * kRounds);
    EXPECT_EQ(g.lockCount(), 0);
    EXPECT_EQ(g.depth(), 0);
}

TEST(Gate, AbstractBaseNeverBlocks) {
    struct Plain : unaAbstractGate {};
    Plain g;
    EXPECT_TRUE(g.enter(0));
    EXPECT_TRUE(g.enter(0));
    g.leave();
    EXPECT_FALSE(g.isBusy());

    unaInProcessGate real;
    unaAbstractGate& through = real;
    EXPECT_TRUE(through.enter(0));
    EXPECT_EQ(real.ownerThreadId(), currentThreadId());
    through.leave();
    EXPECT_EQ(real.lockCount(), 0);
}
