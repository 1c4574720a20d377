#include "app/QuitOnSignal.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sonvale::app {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

int g_fds[2] = {-1, -1};               // [0] written by the handler, [1] read by the loop
QSocketNotifier* g_notifier = nullptr; // main thread
std::function<void()> g_onSignal;      // main thread

void handleSignal(int) {
    const char byte = 1;
    const int saved = errno;
    [[maybe_unused]] const ssize_t n = ::write(g_fds[0], &byte, 1);
    errno = saved;
}

} // namespace

void quitOnTerminationSignals(std::function<void()> onSignal) {
    restoreTerminationSignals();
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_fds) != 0)
        return; // no clean shut-down on signals, but the program runs
    for (int fd : g_fds)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(g_fds[0], F_SETFL, O_NONBLOCK);
    g_onSignal = std::move(onSignal);
    g_notifier = new QSocketNotifier(g_fds[1], QSocketNotifier::Read);
    QObject::connect(g_notifier, &QSocketNotifier::activated, [] {
        char buffer[16];
        [[maybe_unused]] const ssize_t n = ::read(g_fds[1], buffer, sizeof buffer);
        if (g_onSignal)
            g_onSignal();
        else
            QCoreApplication::quit();
    });
    struct sigaction sa {};
    sa.sa_handler = handleSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : kSignals)
        ::sigaction(sig, &sa, nullptr);
}

void restoreTerminationSignals() {
    if (!g_notifier)
        return;
    for (int sig : kSignals)
        ::signal(sig, SIG_DFL);
    delete g_notifier;
    g_notifier = nullptr;
    g_onSignal = nullptr;
    ::close(g_fds[0]);
    ::close(g_fds[1]);
    g_fds[0] = g_fds[1] = -1;
}

} // namespace sonvale::app
