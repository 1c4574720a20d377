// Kernel services the core classes are built on, in one place: thread ids,
// the millisecond tick count, sleeping, and mapping the design's thread
// priority values onto Linux scheduling.
//
// Decisions for Linux:
//  - Thread ids are the kernel's thread ids (gettid), cached per thread, so
//    they are never 0 and are unique among live threads of the system.
//  - The tick count is CLOCK_MONOTONIC in milliseconds, truncated to 32 bits
//    (it wraps like any 32-bit tick count; elapsed times are computed with
//    unsigned subtraction).
//  - Priorities use the classic values -15..15: 0 normal, +1 above normal,
//    +2 highest, 15 time-critical, -1 below normal, -2 lowest, -15 idle.
//    They are applied as per-thread nice values added to the process's own
//    nice value (0 -> +0, 1 -> -5, 2 -> -10, 15 -> -20, -1 -> +5, -2 -> +10,
//    -15 -> +19, values in between interpolated, the sum kept in -20..19).
//    Raising priority usually needs privileges; a refusal by the system is
//    ignored: priority is a wish, not a requirement.
//
// All functions may be called from any thread.
#pragma once

#include <cstdint>

// Time-outs are unsigned milliseconds; all bits set waits without limit.
inline constexpr uint32_t INFINITE_TIMEOUT = 0xFFFFFFFFu;

// Priority values understood by unaThread::setPriority.
enum : int32_t {
    THREAD_PRIORITY_IDLE = -15,
    THREAD_PRIORITY_LOWEST = -2,
    THREAD_PRIORITY_BELOW_NORMAL = -1,
    THREAD_PRIORITY_NORMAL = 0,
    THREAD_PRIORITY_ABOVE_NORMAL = 1,
    THREAD_PRIORITY_HIGHEST = 2,
    THREAD_PRIORITY_TIME_CRITICAL = 15,
};

namespace una_detail {
// Per-thread cache of the kernel thread id; 0 until first asked for.
extern constinit thread_local uint32_t tlsThreadId;
uint32_t fetchThreadId();
} // namespace una_detail

// Kernel id of the calling thread (never 0). Cheap after the first call.
inline uint32_t currentThreadId() {
    const uint32_t id = una_detail::tlsThreadId;
    return id ? id : una_detail::fetchThreadId();
}

// Milliseconds of the monotonic clock, 32 bits.
uint32_t tickCount();

// Sleeps the calling thread for ms milliseconds (0 yields).
void sleepMs(uint32_t ms);

// The nice offset a priority maps to (see above).
int niceForPriority(int32_t priority);

// Applies priority to the thread with the given kernel id. True when the
// system accepted it; callers treat false as "left as it was".
bool applyThreadPriority(uint32_t threadId, int32_t priority);
