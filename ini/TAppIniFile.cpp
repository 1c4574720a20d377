#include "ini/TAppIniFile.h"

#include <cerrno>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

TAppIniFile::TAppIniFile() : TIniEngineEx(AppIniFileName()) {}

std::string TAppIniFile::IniFileNameFor(const std::string& programPath) {
    const size_t slash = programPath.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = programPath.rfind('.');
    // A leading dot (".name") starts a hidden name, not an extension.
    if (dot != std::string::npos && dot > nameStart)
        return programPath.substr(0, dot) + ".ini";
    return programPath + ".ini";
}

std::string TAppIniFile::AppIniFileName() {
    // The kernel's link names the program file itself, whatever path or
    // symbolic link it was started through.
    std::vector<char> buffer(PATH_MAX + 1);
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            throw EInOutError(errno, "/proc/self/exe", "read the link");
        if (static_cast<size_t>(n) < buffer.size()) {
            std::string path(buffer.data(), static_cast<size_t>(n));
            // A program file replaced while it runs shows as "... (deleted)";
            // its settings belong to the name it was started as.
            static const std::string deleted = " (deleted)";
            struct stat st {};
            if (path.size() > deleted.size() &&
                path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0 &&
                ::stat(path.c_str(), &st) != 0)
                path.resize(path.size() - deleted.size());
            return IniFileNameFor(path);
        }
        buffer.resize(buffer.size() * 2);
    }
}
