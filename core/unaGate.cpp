#include "core/unaGate.h"

bool unaAbstractGate::gateEnter(uint32_t) {
    return true;
}

void unaAbstractGate::gateLeave() {
    isBusy_.store(false, std::memory_order_relaxed);
}

unaInProcessGate::~unaInProcessGate() {
    if (depth_.load(std::memory_order_relaxed) > 0)
        doLeave();
    delete wakeEvent_.load(std::memory_order_acquire);
}

unaEvent* unaInProcessGate::wakeEvent() {
    unaEvent* ev = wakeEvent_.load(std::memory_order_acquire);
    if (ev)
        return ev;
    auto* made = new unaEvent(false, false);
    if (wakeEvent_.compare_exchange_strong(ev, made, std::memory_order_acq_rel,
                                           std::memory_order_acquire))
        return made;
    delete made; // another thread won the race: use its event
    return ev;
}

// The gate was not free when the caller's enter was counted.
bool unaInProcessGate::enterContended(uint32_t self, uint32_t timeout) {
    bool result;
    if (ownerThreadId_.load(std::memory_order_relaxed) == self) {
        depth_.store(depth_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        result = true;
    } else {
        result = waitForOwnership(self, timeout);
        if (!result)
            lockCount_.fetch_sub(1, std::memory_order_release); // counters as before
    }
    if (result)
        isBusy_.store(true, std::memory_order_relaxed);
    return result;
}

bool unaInProcessGate::waitForOwnership(uint32_t self, uint32_t timeout) {
    unaEvent* ev = wakeEvent();
    uint32_t remaining = timeout;
    for (;;) {
        const uint32_t noted = tickCount();
        if (!ev->waitFor(remaining))
            return false;
        uint32_t expected = 0;
        if (ownerThreadId_.compare_exchange_strong(expected, self, std::memory_order_acquire,
                                                   std::memory_order_relaxed) ||
            expected == self) {
            depth_.store(depth_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
            return true;
        }
        // Woken, but somebody else took the gate: wait again for the rest.
        if (remaining != INFINITE_TIMEOUT) {
            const uint32_t elapsed = tickCount() - noted;
            if (elapsed >= remaining)
                return false;
            remaining -= elapsed;
        }
    }
}

// Somebody waits: release one of them.
void unaInProcessGate::wakeOne() {
    wakeEvent()->setState(true);
}
