#include "core/unaTimer.h"

unaAbstractTimer::unaAbstractTimer(uint32_t interval) : interval_(interval) {}

unaAbstractTimer::~unaAbstractTimer() {
    // timerStop is pure here: the descendant has stopped its timer already.
    isRunning_.store(false, std::memory_order_release);
}

void unaAbstractTimer::setInterval(uint32_t value) {
    if (value == interval())
        return;
    const bool wasRunning = isRunning();
    stop();
    try {
        changeInterval(value);
        interval_.store(value, std::memory_order_relaxed);
    } catch (...) {
        if (wasRunning)
            start();
        throw;
    }
    if (wasRunning)
        start();
}

void unaAbstractTimer::start() {
    if (!isRunning())
        isRunning_.store(timerStart(), std::memory_order_release);
}

void unaAbstractTimer::stop() {
    if (isRunning()) {
        timerStop();
        isRunning_.store(false, std::memory_order_release);
    }
}

void unaAbstractTimer::tick() {
    onTick();
    if (onTimer)
        onTimer(this);
}
