#include "platform/ui/qt/QtMessageWindow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

bool processEventsUntil(const std::function<bool()>& pred, int timeoutMs = 10000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

TEST(QtMessageWindowTest, WithoutAnApplicationNoWindowIsMade) {
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    EXPECT_EQ(QtMessageWindow::create({}), nullptr);
    QtMessageWindow::install();
    EXPECT_EQ(createMessageWindow({}), nullptr);
    setMessageWindowFactory({});
}

TEST(QtMessageWindowTest, PostsFromWorkerThreadsRunInTheEventLoopInOrder) {
    int argc = 1;
    char name[] = "platform_qt_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    QtMessageWindow::install();
    std::vector<std::pair<uint32_t, uintptr_t>> got;
    bool wrongThread = false;
    const auto mainId = std::this_thread::get_id();
    auto w = createMessageWindow([&](uint32_t m, uintptr_t wp, intptr_t lp) {
        wrongThread |= std::this_thread::get_id() != mainId;
        EXPECT_EQ(lp, -intptr_t(wp));
        got.emplace_back(m, wp);
    });
    ASSERT_NE(w, nullptr);
    const sv_window_t h = w->handle();

    constexpr int kEach = 300;
    std::thread a([h] {
        for (int i = 0; i < kEach; ++i) {
            EXPECT_EQ(sv_post_message(h, 0x9001, i, -i), 1);
        }
    });
    std::thread b([h] {
        for (int i = 0; i < kEach; ++i) {
            EXPECT_EQ(sv_post_message(h, 0x9002, i, -i), 1);
        }
    });
    a.join();
    b.join();
    ASSERT_TRUE(processEventsUntil([&] { return got.size() == 2 * kEach; }));
    EXPECT_FALSE(wrongThread);
    uintptr_t nextA = 0, nextB = 0;
    for (auto& [m, wp] : got) {
        EXPECT_EQ(wp, m == 0x9001 ? nextA++ : nextB++);
    }

    // A destroyed window gets nothing more, not even what was already queued.
    int late = 0;
    auto v = createMessageWindow([&](uint32_t, uintptr_t, intptr_t) { ++late; });
    const sv_window_t hv = v->handle();
    EXPECT_EQ(sv_post_message(hv, 1, 0, 0), 1);
    v.reset();
    EXPECT_EQ(sv_post_message(hv, 1, 0, 0), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(late, 0);
    w.reset();
    setMessageWindowFactory({});
}

} // namespace
