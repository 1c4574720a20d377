// unaEvent: a signalled/non-signalled flag threads can wait on, the
// building block of gates and thread start/stop hand-shakes.
//
// Built on a mutex and a condition variable:
//  - auto-reset (the kind every part of the system creates): setState(true)
//    releases exactly one waiter, or, when nobody waits, stays signalled
//    until the next wait consumes it;
//  - manual-reset: setState(true) releases every waiter and stays signalled
//    until setState(false).
// The name is kept for identity only; events are never shared between
// processes.
//
// Any thread may call setState and waitFor at any time. The object must
// outlive every call on it; destroying it while a thread waits is a
// programming error.
#pragma once

#include "core/unaKernel.h"
#include "core/unaObject.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

class unaEvent : public unaObject {
public:
    explicit unaEvent(bool manualReset = false, bool initialState = false,
                      const std::string& name = std::string());
    ~unaEvent() override;

    // Sets (true) or resets (false) the event.
    void setState(bool signalled = true);

    // Sets the event and wakes a waiter only after letting go of the
    // event's own lock, so that the waiter does not wake just to wait for
    // that lock (one wake-up per hand-off instead of two on a busy machine).
    // Only for an event that outlives every thread that sets it or waits on
    // it (a device's work event, set per block); a hand-shake event that a
    // waiter may destroy as soon as its wait returns takes setState.
    void signal();

    // Waits up to timeout ms (INFINITE_TIMEOUT: no limit). True only when the
    // wait ended with the event signalled (an auto-reset event is then reset
    // again); false on a time-out.
    bool waitFor(uint32_t timeout = INFINITE_TIMEOUT);

    bool manualReset() const { return manualReset_; }
    const std::string& name() const { return name_; }

private:
    const bool manualReset_;
    const std::string name_;
    std::mutex lock_;
    std::condition_variable cond_;
    bool signalled_; // guarded by lock_
};
