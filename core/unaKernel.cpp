#include "core/unaKernel.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace una_detail {
constinit thread_local uint32_t tlsThreadId = 0;

uint32_t fetchThreadId() {
    tlsThreadId = static_cast<uint32_t>(::syscall(SYS_gettid));
    return tlsThreadId;
}
} // namespace una_detail

uint32_t tickCount() {
    timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}

void sleepMs(uint32_t ms) {
    if (ms == 0) {
        ::sched_yield();
        return;
    }
    timespec ts{time_t(ms / 1000), long(ms % 1000) * 1000000L};
    while (::nanosleep(&ts, &ts) != 0) {
    }
}

int niceForPriority(int32_t priority) {
    if (priority >= 15)
        return -20;
    if (priority <= -15)
        return 19;
    if (priority >= 2) // 2 .. 15 -> -10 .. -20
        return -10 - (priority - 2) * 10 / 13;
    if (priority <= -2) // -2 .. -15 -> 10 .. 19
        return 10 + (-priority - 2) * 9 / 13;
    return -5 * priority; // -1, 0, 1 -> 5, 0, -5
}

bool applyThreadPriority(uint32_t threadId, int32_t priority) {
    if (threadId == 0)
        return false;
    // Relative to the process's own nice value, as priorities are relative
    // to the process's class.
    errno = 0;
    int base = ::getpriority(PRIO_PROCESS, 0);
    if (base == -1 && errno != 0)
        base = 0;
    const int nice = std::clamp(base + niceForPriority(priority), -20, 19);
    return ::setpriority(PRIO_PROCESS, static_cast<id_t>(threadId), nice) == 0;
}
