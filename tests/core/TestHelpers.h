// Helpers shared by the core tests: bounded polling instead of fixed sleeps.
#pragma once

#include "core/unaKernel.h"

#include <functional>

// Polls cond every millisecond until it holds or ms have passed.
inline bool waitUntil(const std::function<bool()>& cond, uint32_t ms = 10000) {
    const uint32_t start = tickCount();
    while (!cond()) {
        if (tickCount() - start > ms)
            return false;
        sleepMs(1);
    }
    return true;
}
