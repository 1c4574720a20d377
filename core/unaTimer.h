// unaAbstractTimer: the base of periodic timers. A descendant supplies the
// underlying timer (timerStart/timerStop) and calls tick() at every period;
// tick() runs onTick and then the onTimer event.
//
// setInterval, start and stop are meant for one controlling thread (usually
// the main thread); tick() runs on whatever thread the underlying timer
// uses, so onTimer handlers must not touch widgets. The gate is for
// descendants that share state between those threads.
#pragma once

#include "core/unaGate.h"
#include "core/unaObject.h"

#include <atomic>
#include <cstdint>
#include <functional>

class unaAbstractTimer : public unaObject {
public:
    explicit unaAbstractTimer(uint32_t interval = 1000);
    // Descendants must call stop() in their own destructor (the underlying
    // timer is theirs); this one stops a timer that is still marked running
    // only through the base's bookkeeping.
    ~unaAbstractTimer() override;

    uint32_t interval() const { return interval_.load(std::memory_order_relaxed); }
    // A different value stops the timer, lets changeInterval adjust the value,
    // stores it and restarts the timer when it was running.
    void setInterval(uint32_t value);

    void start();
    void stop();
    bool isRunning() const { return isRunning_.load(std::memory_order_acquire); }

    // Called by the underlying timer at every period.
    void tick();

    // Raised by tick() with the timer as sender.
    std::function<void(unaAbstractTimer*)> onTimer;

protected:
    // Slot 1: base does nothing.
    virtual void onTick() {}
    // Slot 2: called while stopped, before value is stored; may alter it.
    virtual void changeInterval(uint32_t& value) { (void)value; }
    // Slot 3: starts the underlying timer; true on success.
    virtual bool timerStart() = 0;
    // Slot 4: stops it.
    virtual void timerStop() = 0;

    unaInProcessGate& gate() { return gate_; }

private:
    std::atomic<uint32_t> interval_;
    std::atomic<bool> isRunning_{false};
    unaInProcessGate gate_;
};
