#include "capture/unaMMTimer.h"

#include "platform/audio/MMTimer.h"

#include <algorithm>

unaMMTimer::unaMMTimer(uint32_t interval, uint32_t resolution)
    : unaAbstractTimer(interval), resolution_(resolution) {
    TIMECAPS caps{};
    if (timeGetDevCaps(&caps, sizeof caps) == TIMERR_NOERROR && caps.wPeriodMin > 0)
        minPeriod_ = caps.wPeriodMin;
}

unaMMTimer::~unaMMTimer() {
    stop();
    if (heldPeriod_)
        timeEndPeriod(heldPeriod_);
}

void unaMMTimer::changeInterval(uint32_t& value) {
    uint32_t period = resolution_ ? resolution_ : value / 10;
    period = std::max(period, minPeriod_);
    if (period != heldPeriod_) {
        if (heldPeriod_)
            timeEndPeriod(heldPeriod_);
        timeBeginPeriod(period);
        heldPeriod_ = period;
    }
}

bool unaMMTimer::timerStart() {
    const uint32_t id = timeSetEvent(
        interval(), 1, [this](uint32_t) { tick(); }, TIME_PERIODIC);
    timerId_.store(id);
    return id != 0;
}

void unaMMTimer::timerStop() {
    const uint32_t id = timerId_.exchange(0);
    if (id)
        timeKillEvent(id);
}
