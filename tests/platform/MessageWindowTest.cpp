#include "platform/ui/MessageWindow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

struct Received {
    uint32_t message;
    uintptr_t wparam;
    intptr_t lparam;
    std::thread::id thread;
};

class MessageWindowTest : public ::testing::Test {
protected:
    void SetUp() override { PlainMessageWindow::processMessages(); }
    void TearDown() override { PlainMessageWindow::processMessages(); }
};

TEST_F(MessageWindowTest, PostsFromOtherThreadsRunOnThePumpingThreadInOrder) {
    std::vector<Received> got;
    PlainMessageWindow w([&](uint32_t m, uintptr_t wp, intptr_t lp) {
        got.push_back({m, wp, lp, std::this_thread::get_id()});
    });
    const sv_window_t h = w.handle();
    ASSERT_NE(h, SV_WINDOW_NONE);

    constexpr int kThreads = 4;
    constexpr int kEach = 500;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([h, t] {
            for (int i = 0; i < kEach; ++i) {
                EXPECT_TRUE(MessageWindow::post(h, 0x9000 + t, i, -i));
            }
        });
    }
    for (auto& p : posters) {
        p.join();
    }
    EXPECT_TRUE(got.empty()) << "nothing runs before the queue is pumped";
    EXPECT_EQ(PlainMessageWindow::processMessages(), size_t(kThreads * kEach));
    ASSERT_EQ(got.size(), size_t(kThreads * kEach));

    std::vector<int> nextPerThread(kThreads, 0);
    for (const Received& r : got) {
        EXPECT_EQ(r.thread, std::this_thread::get_id());
        const int t = int(r.message - 0x9000);
        ASSERT_GE(t, 0);
        ASSERT_LT(t, kThreads);
        EXPECT_EQ(r.wparam, uintptr_t(nextPerThread[t]));
        EXPECT_EQ(r.lparam, -intptr_t(nextPerThread[t]));
        ++nextPerThread[t];
    }
}

TEST_F(MessageWindowTest, DestroyedWindowRefusesPostsAndDropsQueuedMessages) {
    int calls = 0;
    sv_window_t h;
    {
        PlainMessageWindow w([&](uint32_t, uintptr_t, intptr_t) { ++calls; });
        h = w.handle();
        EXPECT_EQ(sv_post_message(h, 1, 2, 3), 1);
        EXPECT_EQ(PlainMessageWindow::pendingMessages(), 1u);
    }
    EXPECT_EQ(PlainMessageWindow::pendingMessages(), 0u);
    EXPECT_EQ(sv_post_message(h, 1, 2, 3), 0);
    EXPECT_FALSE(MessageWindow::post(SV_WINDOW_NONE, 1, 2, 3));
    PlainMessageWindow::processMessages();
    EXPECT_EQ(calls, 0);

    // Handles are never reused, so a stale handle cannot reach a new window.
    PlainMessageWindow other([&](uint32_t, uintptr_t, intptr_t) { ++calls; });
    EXPECT_NE(other.handle(), h);
    EXPECT_EQ(sv_post_message(h, 1, 2, 3), 0);
}

TEST_F(MessageWindowTest, HandlerMayDestroyItsWindowAndPostAgain) {
    auto w = std::make_unique<PlainMessageWindow>();
    std::vector<uint32_t> seen;
    PlainMessageWindow* raw = w.get();
    raw->setHandler([&](uint32_t m, uintptr_t, intptr_t) {
        seen.push_back(m);
        if (m == 1) {
            // Re-posting from inside a handler is handled in the same pump.
            EXPECT_TRUE(MessageWindow::post(raw->handle(), 2, 0, 0));
        } else if (m == 2) {
            w.reset();
        }
    });
    const sv_window_t h = raw->handle();
    MessageWindow::post(h, 1, 0, 0);
    PlainMessageWindow::processMessages();
    EXPECT_EQ(seen, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(w, nullptr);
    EXPECT_FALSE(MessageWindow::post(h, 3, 0, 0));
}

TEST_F(MessageWindowTest, WaitingReturnsWhenAMessageArrivesOrTheConditionHolds) {
    std::atomic<int> got{0};
    PlainMessageWindow w([&](uint32_t, uintptr_t wp, intptr_t) { got += int(wp); });
    const sv_window_t h = w.handle();
    std::thread poster([h] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        MessageWindow::post(h, 7, 5, 0);
    });
    EXPECT_TRUE(PlainMessageWindow::processMessagesUntil([&] { return got == 5; }, 10000));
    poster.join();
    // Nothing arrives: the wait ends at its limit.
    EXPECT_FALSE(PlainMessageWindow::processMessagesUntil([] { return false; }, 30));
    EXPECT_EQ(PlainMessageWindow::waitAndProcessMessages(10), 0u);
}

TEST_F(MessageWindowTest, FactoryBuildsTheInstalledImplementation) {
    int made = 0;
    setMessageWindowFactory([&](MessageWindow::Handler h) -> std::unique_ptr<MessageWindow> {
        ++made;
        if (made == 2) {
            return nullptr; // an implementation that cannot make a window
        }
        return std::make_unique<PlainMessageWindow>(std::move(h));
    });
    auto a = createMessageWindow({});
    auto b = createMessageWindow({});
    EXPECT_NE(a, nullptr);
    EXPECT_EQ(b, nullptr);
    setMessageWindowFactory({});
    auto c = createMessageWindow({});
    EXPECT_NE(c, nullptr);
    EXPECT_EQ(made, 2);
}

} // namespace
