// Result codes of the encoder framework. An encoder keeps the result of its
// last setConfig, open or close in lastError: 0, one of these, or the
// encoder library's own code passed through unchanged. Plain constants.
#pragma once

#include <cstdint>

inline constexpr int32_t encErrNoLibrary = 0x10000001;     // the encoder library is not loaded
inline constexpr int32_t encErrNoEntry = 0x10000002;       // the library lacks the entry point
inline constexpr int32_t encErrNotConfigured = 0x10000004; // open without a successful setConfig
