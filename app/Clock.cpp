#include "app/Clock.h"

#include <sys/statvfs.h>

#include <cstdio>

namespace sonvale::app {

std::string FormatClock(uint64_t seconds) {
    char text[32];
    const uint64_t h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    if (h > 0)
        std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", (unsigned long long)h,
                      (unsigned long long)m, (unsigned long long)s);
    else
        std::snprintf(text, sizeof text, "%llu:%02llu", (unsigned long long)m,
                      (unsigned long long)s);
    return text;
}

std::string FormatSize(uint64_t bytes) {
    char text[32];
    if (bytes < 1024 * 1024)
        std::snprintf(text, sizeof text, "%llu KB", (unsigned long long)(bytes / 1024));
    else
        std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / (1024.0 * 1024.0));
    return text;
}

std::optional<uint64_t> FreeDiskBytes(const std::string& path) {
    std::string folder = path;
    const auto slash = folder.find_last_of('/');
    if (slash != std::string::npos)
        folder.resize(slash == 0 ? 1 : slash);
    struct statvfs info {};
    if (folder.empty() || ::statvfs(folder.c_str(), &info) != 0)
        return std::nullopt;
    return uint64_t(info.f_bavail) * info.f_frsize;
}

std::optional<uint64_t> SecondsLeft(uint64_t freeBytes, uint64_t bytes, uint64_t seconds) {
    if (bytes == 0 || seconds == 0)
        return std::nullopt;
    return uint64_t((long double)freeBytes * seconds / bytes);
}

std::string RecordingClockText(uint64_t seconds, uint64_t bytes,
                               std::optional<uint64_t> secondsLeft) {
    std::string text = FormatClock(seconds) + " \u00b7 " + FormatSize(bytes);
    if (secondsLeft)
        text += " \u00b7 " + FormatClock(*secondsLeft) + " left";
    return text;
}

std::string PositionText(uint64_t positionMs, uint64_t lengthMs) {
    return FormatClock(positionMs / 1000) + " / " + FormatClock(lengthMs / 1000);
}

} // namespace sonvale::app
