#include "core/unaClasses.h" // also checks that the umbrella header stands alone

#include "TestHelpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

// Runs until asked to stop; counts how many bodies run at the same time.
struct Looper {
    std::atomic<int> running{0};
    std::atomic<int> maxRunning{0};
    std::atomic<int> bodies{0};

    std::function<int32_t(unaThread*)> body(int32_t result = 5) {
        return [this, result](unaThread* t) {
            const int now = running.fetch_add(1) + 1;
            int seen = maxRunning.load();
            while (now > seen && !maxRunning.compare_exchange_weak(seen, now)) {
            }
            bodies.fetch_add(1);
            while (!t->shouldStop())
                sleepMs(1);
            running.fetch_sub(1);
            return result;
        };
    }
};

// Every test leaves no thread routine behind.
class ThreadTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_TRUE(waitUntil([] { return unaThread::activeRoutines() == 0; }));
    }
};

} // namespace

TEST_F(ThreadTest, StartRunsExecuteAndStopWaitsForItsEnd) {
    Looper l;
    unaThread t;
    t.onExecute = l.body(5);
    EXPECT_EQ(t.status(), unaThread::unatsStopped);
    ASSERT_TRUE(t.start(10000));
    EXPECT_EQ(t.status(), unaThread::unatsRunning);
    EXPECT_NE(t.threadId(), 0u);
    EXPECT_NE(t.threadId(), currentThreadId());
    EXPECT_TRUE(t.start(10000)); // already running: nothing new
    EXPECT_TRUE(t.stop(INFINITE_TIMEOUT));
    EXPECT_EQ(t.status(), unaThread::unatsStopped);
    EXPECT_EQ(t.exitCode(), 5);
    EXPECT_EQ(l.bodies.load(), 1);
    EXPECT_EQ(l.maxRunning.load(), 1);
    EXPECT_TRUE(t.stop(0)); // stopped: reports true
}

TEST_F(ThreadTest, RestartsWithAFreshThreadAndClearsShouldStop) {
    Looper l;
    unaThread t;
    t.onExecute = l.body();
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(t.start());
        EXPECT_FALSE(t.shouldStop());
        ASSERT_TRUE(t.stop());
        EXPECT_TRUE(t.shouldStop()); // stays set until the next start
    }
    EXPECT_EQ(l.bodies.load(), 5);
    EXPECT_EQ(l.maxRunning.load(), 1);
}

TEST_F(ThreadTest, StopWithZeroTimeoutOnlyRaisesTheFlag) {
    Looper l;
    unaThread t;
    std::atomic<bool> release{false};
    t.onExecute = [&](unaThread* self) {
        while (!release.load())
            sleepMs(1);
        return l.body()(self);
    };
    ASSERT_TRUE(t.start());
    EXPECT_FALSE(t.stop(0));
    EXPECT_TRUE(t.shouldStop());
    EXPECT_EQ(t.status(), unaThread::unatsRunning);
    release.store(true);
    EXPECT_TRUE(t.stop());
}

TEST_F(ThreadTest, StopFromInsideExecuteDoesNotWait) {
    unaThread t;
    std::atomic<int> innerResult{-2};
    std::atomic<bool> flagSeen{false};
    t.onExecute = [&](unaThread* self) {
        innerResult.store(self->stop(INFINITE_TIMEOUT) ? 1 : 0);
        flagSeen.store(self->shouldStop());
        return 3;
    };
    ASSERT_TRUE(t.start());
    ASSERT_TRUE(t.stoppedEvent().waitFor(10000));
    EXPECT_EQ(innerResult.load(), 0);
    EXPECT_TRUE(flagSeen.load());
    EXPECT_EQ(t.status(), unaThread::unatsStopped);
    EXPECT_EQ(t.exitCode(), 3);
}

TEST_F(ThreadTest, ExceptionInExecuteEndsTheRunWithMinusOne) {
    unaThread t;
    t.onExecute = [](unaThread*) -> int32_t { throw std::runtime_error("boom"); };
    ASSERT_TRUE(t.start());
    ASSERT_TRUE(t.stoppedEvent().waitFor(10000));
    EXPECT_EQ(t.status(), unaThread::unatsStopped);
    EXPECT_EQ(t.exitCode(), -1);
    EXPECT_TRUE(t.stop());
}

TEST_F(ThreadTest, DestroyingARunningObjectWaitsForExecuteToReturn) {
    std::atomic<bool> returned{false};
    auto t = std::make_unique<unaThread>();
    t->onExecute = [&](unaThread* self) {
        while (!self->shouldStop())
            sleepMs(1);
        sleepMs(20); // still busy after the flag
        returned.store(true);
        return 0;
    };
    ASSERT_TRUE(t->start());
    t.reset();
    EXPECT_TRUE(returned.load());
}

TEST_F(ThreadTest, ObjectDestroyedByItsOwnExecuteIsNotTouchedAgain) {
    const uint32_t before = ThreadRegistry::instance()->liveObjects();
    auto* t = new unaThread();
    std::atomic<bool> deleted{false};
    t->onExecute = [&](unaThread* self) {
        while (!deleted.load())
            sleepMs(1);
        delete self; // the routine must not use the object afterwards
        return 0;
    };
    ASSERT_TRUE(t->start());
    deleted.store(true);
    ASSERT_TRUE(waitUntil([] { return unaThread::activeRoutines() == 0; }));
    EXPECT_EQ(ThreadRegistry::instance()->liveObjects(), before);
}

TEST_F(ThreadTest, HooksRefuseStartAndStopUnlessForced) {
    struct Picky : unaThread {
        std::atomic<bool> allowStart{false}, allowStop{false};
        std::atomic<int> starts{0}, ends{0};
        ~Picky() override {
            allowStop = true;
            stop();
        }
        bool canStart() override { return allowStart; }
        bool canStop() override { return allowStop; }
        void onThreadStart() override { starts++; }
        void onThreadEnd() override { ends++; }
        int32_t execute() override {
            while (!shouldStop())
                sleepMs(1);
            return 0;
        }
    };
    Picky p;
    EXPECT_FALSE(p.start());
    EXPECT_EQ(p.starts.load(), 0);
    p.allowStart = true;
    ASSERT_TRUE(p.start());
    EXPECT_EQ(p.starts.load(), 1);
    EXPECT_FALSE(p.stop(100));
    EXPECT_FALSE(p.shouldStop());
    EXPECT_TRUE(p.stop(INFINITE_TIMEOUT, true));
    EXPECT_EQ(p.ends.load(), 1);
}

TEST_F(ThreadTest, StopAfterARunEndedByItselfWaitsForItsEndHook) {
    // The run marks itself stopped before onThreadEnd returns; a stop (as in
    // a subclass destructor) must not report stopped while the hook runs.
    struct SlowEnd : unaThread {
        std::atomic<bool> inEnd{false};
        int endValue = 0; // written by the run's thread, read after stop
        ~SlowEnd() override { stop(); }
        int32_t execute() override { return 0; }
        void onThreadEnd() override {
            inEnd = true;
            sleepMs(50);
            endValue = 42;
        }
    };
    for (int i = 0; i < 3; ++i) {
        SlowEnd t;
        ASSERT_TRUE(t.start());
        while (!t.inEnd)
            sleepMs(1);
        EXPECT_EQ(t.status(), unaThread::unatsStopped);
        EXPECT_TRUE(t.stop());
        EXPECT_EQ(t.endValue, 42);
    }
}

TEST_F(ThreadTest, StopRunsTheMessagePumpHookOnlyFromOtherThreads) {
    static std::atomic<int> pumped;
    pumped.store(0);
    unaThread::setMessagePumpHook([] { pumped.fetch_add(1); });
    unaThread t;
    t.onExecute = [](unaThread* self) {
        self->stop(0); // on its own thread: no pumping
        return 0;
    };
    ASSERT_TRUE(t.start());
    ASSERT_TRUE(t.stoppedEvent().waitFor(10000));
    EXPECT_EQ(pumped.load(), 0);

    Looper l;
    t.onExecute = l.body();
    ASSERT_TRUE(t.start());
    EXPECT_TRUE(t.stop());
    EXPECT_EQ(pumped.load(), 1);
    unaThread::setMessagePumpHook(nullptr);
}

TEST_F(ThreadTest, AbandonedStartsNeverRunExecuteNorOutliveTheirObject) {
    // start(0) gives up at once unless the new thread happens to report in
    // time; either outcome must leave a consistent object.
    int abandoned = 0;
    for (int i = 0; i < 100; ++i) {
        Looper l;
        auto t = std::make_unique<unaThread>();
        t->onExecute = l.body();
        const bool started = t->start(0);
        if (!started) {
            ++abandoned;
            EXPECT_EQ(t->status(), unaThread::unatsStopped);
            if (i % 2) {
                t.reset(); // destroy right away: the late thread must not touch it
                continue;
            }
            // a proper start afterwards yields exactly one body
            ASSERT_TRUE(t->start(10000));
        }
        ASSERT_TRUE(waitUntil([&] { return l.bodies.load() == 1; }));
        EXPECT_TRUE(t->stop());
        EXPECT_EQ(l.maxRunning.load(), 1);
        EXPECT_EQ(l.bodies.load(), 1);
    }
    EXPECT_GT(abandoned, 0);
}

TEST_F(ThreadTest, RegistryReusesTheFirstEmptySlot) {
    auto a = std::make_unique<unaThread>();
    auto b = std::make_unique<unaThread>();
    auto c = std::make_unique<unaThread>();
    const int32_t slotB = b->registryIndex();
    EXPECT_TRUE(ThreadRegistry::instance()->holds(slotB, b.get()));
    b.reset();
    EXPECT_TRUE(ThreadRegistry::instance()->holds(slotB, nullptr)); // emptied
    unaThread d;
    EXPECT_EQ(d.registryIndex(), slotB);
    EXPECT_TRUE(ThreadRegistry::instance()->holds(slotB, &d));
    EXPECT_NE(a->registryIndex(), c->registryIndex());
}

TEST_F(ThreadTest, PriorityChangesAreBestEffort) {
    EXPECT_EQ(niceForPriority(THREAD_PRIORITY_NORMAL), 0);
    EXPECT_LT(niceForPriority(THREAD_PRIORITY_HIGHEST),
              niceForPriority(THREAD_PRIORITY_ABOVE_NORMAL));
    EXPECT_EQ(niceForPriority(THREAD_PRIORITY_TIME_CRITICAL), -20);
    EXPECT_EQ(niceForPriority(THREAD_PRIORITY_IDLE), 19);
    EXPECT_GT(niceForPriority(THREAD_PRIORITY_LOWEST),
              niceForPriority(THREAD_PRIORITY_BELOW_NORMAL));

    Looper l;
    unaThread t(THREAD_PRIORITY_TIME_CRITICAL); // usually refused: must still run
    t.onExecute = l.body();
    ASSERT_TRUE(t.start());
    t.setPriority(THREAD_PRIORITY_LOWEST);
    EXPECT_EQ(t.priority(), THREAD_PRIORITY_LOWEST);
    t.setPriority(THREAD_PRIORITY_HIGHEST);
    EXPECT_EQ(t.status(), unaThread::unatsRunning);
    EXPECT_TRUE(t.stop());
}

TEST_F(ThreadTest, StopsWhileTheBodyHoldsTheObjectGateBriefly) {
    // A body that enters the object's gate around each step with a short
    // time-out must still be stoppable.
    unaThread t;
    std::atomic<int> steps{0};
    t.onExecute = [&](unaThread* self) {
        while (!self->shouldStop()) {
            if (self->enter(100)) {
                steps.fetch_add(1);
                self->leave();
            }
            sleepMs(1);
        }
        return 0;
    };
    ASSERT_TRUE(t.start());
    ASSERT_TRUE(waitUntil([&] { return steps.load() > 3; }));
    EXPECT_TRUE(t.stop(INFINITE_TIMEOUT));
}

TEST_F(ThreadTest, RestartFromOnThreadEndBeginsOneFreshRun) {
    struct Restarter : unaThread {
        std::atomic<int> runs{0};
        std::atomic<bool> restarted{false};
        ~Restarter() override { stop(); }
        int32_t execute() override {
            if (runs.fetch_add(1) == 0)
                return 0; // the first run ends by itself
            while (!shouldStop())
                sleepMs(1);
            return 0;
        }
        void onThreadEnd() override {
            if (!restarted.exchange(true))
                start(10000); // from the ending run's own thread
        }
    };
    Restarter r;
    ASSERT_TRUE(r.start());
    ASSERT_TRUE(waitUntil([&] { return r.runs.load() == 2; }));
    EXPECT_EQ(r.status(), unaThread::unatsRunning);
    EXPECT_TRUE(r.stop());
    EXPECT_EQ(r.runs.load(), 2);
}
