#include "core/unaEvent.h"

#include <chrono>

unaEvent::unaEvent(bool manualReset, bool initialState, const std::string& name)
    : manualReset_(manualReset), name_(name), signalled_(initialState) {}

unaEvent::~unaEvent() = default;

void unaEvent::setState(bool signalled) {
    std::lock_guard<std::mutex> guard(lock_);
    signalled_ = signalled;
    if (signalled) {
        // Notify under the lock: a waiter that wakes may destroy the event
        // as soon as it returns.
        if (manualReset_)
            cond_.notify_all();
        else
            cond_.notify_one();
    }
}

void unaEvent::signal() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        signalled_ = true;
    }
    if (manualReset_)
        cond_.notify_all();
    else
        cond_.notify_one();
}

bool unaEvent::waitFor(uint32_t timeout) {
    std::unique_lock<std::mutex> guard(lock_);
    if (!signalled_) {
        if (timeout == 0)
            return false;
        if (timeout == INFINITE_TIMEOUT) {
            cond_.wait(guard, [this] { return signalled_; });
        } else if (!cond_.wait_for(guard, std::chrono::milliseconds(timeout),
                                   [this] { return signalled_; })) {
            return false;
        }
    }
    if (!manualReset_)
        signalled_ = false;
    return true;
}
