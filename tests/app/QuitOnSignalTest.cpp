#include "app/QuitOnSignal.h"

#include "AppTestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <csignal>

TEST(QuitOnSignal, TerminationSignalsReachTheMainThreadAsACall) {
    apptest::ensureApplication();
    int calls = 0;
    sonvale::app::quitOnTerminationSignals([&] { ++calls; });
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        const int before = calls;
        std::raise(sig); // the process survives: the handler only records it
        QElapsedTimer t;
        t.start();
        while (calls == before && t.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        EXPECT_EQ(calls, before + 1) << "signal " << sig;
    }
    sonvale::app::restoreTerminationSignals();
    EXPECT_EQ(std::signal(SIGTERM, SIG_DFL), SIG_DFL);
}
