// Recursive locks with a time-out on every acquisition.
//
// unaAbstractGate is the interface (enter/leave through two virtual slots;
// the base version never blocks). unaInProcessGate is the working lock for
// threads of this process: an atomic counter of every enter held or in
// progress, the owner's kernel thread id and recursion depth, and one
// auto-reset wake event created on first contention.
//
//  - enter(timeout) returns true at once when the gate is free or already
//    owned by the caller; otherwise it waits on the wake event for up to
//    timeout ms in total (INFINITE_TIMEOUT: no limit). A failed enter leaves
//    every counter as it was.
//  - leave() by the owner lowers the depth; the final leave frees the gate
//    and, when somebody waits, sets the wake event, which releases exactly
//    one waiter. leave() by a thread that does not own the gate does nothing.
//  - Every enter that returned true is matched by one leave on the same
//    thread.
//
// Any thread may call enter/leave. The gate must outlive its users;
// destroying a gate still owned by the destroying thread leaves it once.
#pragma once

#include "core/unaEvent.h"
#include "core/unaKernel.h"
#include "core/unaObject.h"

#include <atomic>
#include <cstdint>

class unaAbstractGate : public unaObject {
public:
    ~unaAbstractGate() override = default;

    bool enter(uint32_t timeout = INFINITE_TIMEOUT) { return gateEnter(timeout); }
    void leave() { gateLeave(); }

    // True after a successful enter, cleared by the final leave. Informative
    // only: another thread may change it right after it was read.
    bool isBusy() const { return isBusy_.load(std::memory_order_relaxed); }

protected:
    // Slot 1: the base version succeeds at once and does nothing else.
    virtual bool gateEnter(uint32_t timeout);
    // Slot 2: the base version clears isBusy.
    virtual void gateLeave();

    std::atomic<bool> isBusy_{false};
};

class unaInProcessGate : public unaAbstractGate {
public:
    unaInProcessGate() = default;
    ~unaInProcessGate() override;

    // Direct (non-virtual) forms for callers that hold the concrete type.
    bool enter(uint32_t timeout = INFINITE_TIMEOUT) { return doEnter(timeout); }
    void leave() { doLeave(); }

    // Observers for diagnostics and tests.
    int32_t lockCount() const { return lockCount_.load(std::memory_order_acquire); }
    int32_t depth() const { return depth_.load(std::memory_order_relaxed); }
    uint32_t ownerThreadId() const { return ownerThreadId_.load(std::memory_order_acquire); }

protected:
    bool gateEnter(uint32_t timeout) override { return doEnter(timeout); }
    void gateLeave() override { doLeave(); }

private:
    // Fast paths inline: a free gate or a nested enter costs one atomic add.
    bool doEnter(uint32_t timeout) {
        const uint32_t self = currentThreadId();
        if (lockCount_.fetch_add(1, std::memory_order_acquire) == 0) {
            ownerThreadId_.store(self, std::memory_order_relaxed);
            depth_.store(depth_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
            isBusy_.store(true, std::memory_order_relaxed);
            return true;
        }
        return enterContended(self, timeout);
    }
    void doLeave() {
        const uint32_t self = currentThreadId();
        if (ownerThreadId_.load(std::memory_order_relaxed) != self)
            return; // not the owner: nothing changes
        const int32_t depth = depth_.load(std::memory_order_relaxed) - 1;
        depth_.store(depth, std::memory_order_relaxed);
        if (depth > 0) {
            lockCount_.fetch_sub(1, std::memory_order_release);
            return;
        }
        isBusy_.store(false, std::memory_order_relaxed);
        ownerThreadId_.store(0, std::memory_order_release);
        if (lockCount_.fetch_sub(1, std::memory_order_acq_rel) != 1)
            wakeOne();
    }
    bool enterContended(uint32_t self, uint32_t timeout);
    bool waitForOwnership(uint32_t self, uint32_t timeout);
    void wakeOne();
    unaEvent* wakeEvent();

    // Every enter held or in progress, nested ones included. Atomic add and
    // subtract only.
    std::atomic<int32_t> lockCount_{0};
    // Recursion depth; written by the owner only (atomic so that observers
    // and the destructor may read it).
    std::atomic<int32_t> depth_{0};
    // Kernel id of the owner, 0 when free. Claimed by compare-and-exchange
    // after a wake-up; written plainly by a thread that found the gate free
    // or by the owner.
    std::atomic<uint32_t> ownerThreadId_{0};
    // Auto-reset event, made on first need and published by
    // compare-and-exchange.
    std::atomic<unaEvent*> wakeEvent_{nullptr};
};

// Enters a gate for the lifetime of a scope (wait without limit).
template <class Gate> class unaGateGuard {
public:
    explicit unaGateGuard(Gate& gate) : gate_(gate) { gate_.enter(INFINITE_TIMEOUT); }
    ~unaGateGuard() { gate_.leave(); }
    unaGateGuard(const unaGateGuard&) = delete;
    unaGateGuard& operator=(const unaGateGuard&) = delete;

private:
    Gate& gate_;
};
