// Multimedia timer service: periodic (or one-shot) callbacks at an interval in
// milliseconds, each timer on a thread of its own, plus the period requests a
// timer user makes to ask for fine timer resolution.
//
// Timers run on the monotonic clock against absolute deadlines, so a periodic
// timer does not drift; a callback that overruns its interval is followed by
// the missed ticks back to back (at most 10 are caught up, older ones are
// skipped). Period requests are counted and reported but change nothing:
// the monotonic clock already has sub-millisecond resolution.
//
// Threads: any thread. The callback runs on the timer's own thread;
// timeKillEvent waits until a running callback has returned (unless it is
// called from that callback, which is allowed), so after it returns the
// callback is never entered again.
#pragma once

#include "platform/mmsystem.h"

#include <cstdint>
#include <functional>

struct TIMECAPS {
    uint32_t wPeriodMin; // smallest supported period in ms (1)
    uint32_t wPeriodMax; // largest supported period in ms
};

enum : uint32_t {
    TIME_ONESHOT = 0,
    TIME_PERIODIC = 1,
};

enum : MMRESULT {
    TIMERR_NOERROR = 0,
    TIMERR_NOCANDO = 97, // period out of range, or ending a period never begun
};

// Called with the timer's id on the timer's thread.
using TimerCallback = std::function<void(uint32_t timerId)>;

MMRESULT timeGetDevCaps(TIMECAPS* caps, uint32_t size);
MMRESULT timeBeginPeriod(uint32_t period);
MMRESULT timeEndPeriod(uint32_t period);
// The number of periods begun and not yet ended (diagnostics and tests).
uint32_t timeHeldPeriods();

// Starts a timer that first fires `delay` ms from now, then every `delay` ms
// (TIME_PERIODIC) or once (TIME_ONESHOT). `resolution` is accepted for its
// meaning to the caller only. Returns the timer id, or 0 when delay is 0 or
// above wPeriodMax, the callback is empty, or no thread could be started.
uint32_t timeSetEvent(uint32_t delay, uint32_t resolution, TimerCallback callback, uint32_t flags);
// Stops a timer; MMR_INVALPARAM for an unknown id. A one-shot timer must be
// killed too (after it fired) to release its thread.
MMRESULT timeKillEvent(uint32_t timerId);
