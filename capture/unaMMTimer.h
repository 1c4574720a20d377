// unaMMTimer: a periodic timer over the platform's multimedia timer service.
// It asks for a timer period of a tenth of its interval (or its resolution
// when one is given), never below the smallest period the service supports.
//
// Threads: setInterval/start/stop on the controlling thread; onTimer runs on
// the timer's own thread.
#pragma once

#include "core/unaTimer.h"

#include <atomic>
#include <cstdint>

class unaMMTimer : public unaAbstractTimer {
public:
    explicit unaMMTimer(uint32_t interval = 1000, uint32_t resolution = 0);
    ~unaMMTimer() override;

    uint32_t resolution() const { return resolution_; }
    uint32_t heldPeriod() const { return heldPeriod_; }
    uint32_t minPeriod() const { return minPeriod_; }
    uint32_t timerId() const { return timerId_.load(); }

protected:
    void changeInterval(uint32_t& value) override;
    bool timerStart() override;
    void timerStop() override;

private:
    std::atomic<uint32_t> timerId_{0};
    const uint32_t resolution_;
    uint32_t heldPeriod_ = 0;
    uint32_t minPeriod_ = 1;
};
