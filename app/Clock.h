// The clock texts of the main window: elapsed time as m:ss or h:mm:ss, sizes
// in KB or MB, the time the disk still holds at the current recording rate,
// and the playback position "0:12 / 1:05". Pure functions, any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sonvale::app {

// "0:07", "12:34", "1:02:05".
std::string FormatClock(uint64_t seconds);
// "512 KB" below one megabyte, "12.3 MB" from there on (1024-based).
std::string FormatSize(uint64_t bytes);
// Bytes still free for an ordinary user in the folder holding `path`; none
// when the file system cannot be asked.
std::optional<uint64_t> FreeDiskBytes(const std::string& path);
// Seconds the free space lasts when `bytes` were written in `seconds`; none
// before the first second or byte.
std::optional<uint64_t> SecondsLeft(uint64_t freeBytes, uint64_t bytes, uint64_t seconds);
// "1:02:05 · 12.3 MB" and, when known, " · 3:10:00 left".
std::string RecordingClockText(uint64_t seconds, uint64_t bytes,
                               std::optional<uint64_t> secondsLeft);
// "0:12 / 1:05" from milliseconds.
std::string PositionText(uint64_t positionMs, uint64_t lengthMs);

} // namespace sonvale::app
