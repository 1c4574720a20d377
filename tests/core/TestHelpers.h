// Helpers shared by the core tests: bounded polling instead of fixed sleeps,
// scratch file names and reading a file back. Test thread only.
#pragma once

#include "core/unaKernel.h"

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

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

// A file name under the test's temporary folder, unique to this process and
// `tag`; whatever an earlier run left there is removed.
inline std::string scratchFile(const std::string& tag) {
    const std::string p =
        std::string(::testing::TempDir()) + "sonvale_" + tag + "_" + std::to_string(::getpid());
    std::remove(p.c_str());
    return p;
}

// The whole content of a file; "" when it cannot be read.
inline std::string fileContent(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
