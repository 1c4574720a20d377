#include "app/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

#include <cstdlib>
#include <unistd.h>

namespace sonvale::app {

std::string withTrailingSlash(std::string dir) {
    if (!dir.empty() && dir.back() != '/')
        dir.push_back('/');
    return dir;
}

namespace {

// The install puts the program into <prefix>/<libdir>/sonvale/; such an
// install is never portable, even under a prefix the user can write.
bool isInstalledLayout(const std::string& programDir) {
    const std::string tail = "/sonvale/";
    return programDir.size() > tail.size() &&
           programDir.compare(programDir.size() - tail.size(), tail.size(), tail) == 0 &&
           programDir.find("/lib") != std::string::npos;
}

// <prefix>/ of a program folder in the installed layout.
std::string installPrefix(const std::string& programDir) {
    return programDir.substr(0, programDir.rfind("/lib") + 1);
}

} // namespace

AppPaths AppPaths::forProgram(const std::string& programFile,
                              const std::function<bool(const std::string&)>& isWritableDir,
                              const std::function<std::string(const char*)>& getEnv,
                              const std::function<std::string()>& musicDir) {
    AppPaths p;
    p.programFile = programFile;
    const auto slash = programFile.find_last_of('/');
    p.programDir =
        slash == std::string::npos ? std::string("./") : programFile.substr(0, slash + 1);
    p.msgIniFile = p.programDir + kMsgIniName;
    p.helpFile = p.programDir + kHelpFileName;
    p.encoderLibrary = p.programDir + kEncoderLibraryName;
    p.playerLibrary = p.programDir + kPlayerLibraryName;

    std::string cache = getEnv("XDG_CACHE_HOME");
    if (cache.empty() || cache.front() != '/') {
        const std::string home = getEnv("HOME");
        cache = home.empty() ? std::string() : home + "/.cache";
    }
    if (!cache.empty())
        p.skinCacheFile = withTrailingSlash(cache) + "sonvale/skin.pictures";

    const bool installed = isInstalledLayout(p.programDir);
    p.homePage = installed ? installPrefix(p.programDir) + "share/doc/sonvale/" + kHomePageName
                           : p.programDir + kHomePageName;

    p.portable = isWritableDir(p.programDir) && !installed;
    if (p.portable) {
        // The program's name with its extension replaced by (or extended with) ".ini".
        std::string base = programFile;
        const auto dot = base.find_last_of('.');
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
            base.erase(dot);
        p.iniFile = base + ".ini";
        p.defaultSaveDir = p.programDir;
    } else {
        std::string config = getEnv("XDG_CONFIG_HOME");
        if (config.empty() || config.front() != '/')
            config = getEnv("HOME") + "/.config";
        p.iniFile = withTrailingSlash(config) + "sonvale/sonvale.ini";
        std::string music = musicDir();
        if (music.empty())
            music = getEnv("HOME");
        p.defaultSaveDir = withTrailingSlash(music);
    }
    return p;
}

AppPaths AppPaths::forRunningProgram() {
    std::string exe = QCoreApplication::applicationFilePath().toStdString();
    if (exe.empty())
        exe = QDir::currentPath().toStdString() + "/sonvale";
    AppPaths p = forProgram(
        exe, [](const std::string& dir) { return ::access(dir.c_str(), W_OK) == 0; },
        [](const char* name) {
            const char* v = std::getenv(name);
            return std::string(v ? v : "");
        },
        [] {
            return QStandardPaths::writableLocation(QStandardPaths::MusicLocation).toStdString();
        });
    if (!p.portable) {
        const auto slash = p.iniFile.find_last_of('/');
        QDir().mkpath(QString::fromStdString(p.iniFile.substr(0, slash)));
        QDir().mkpath(QString::fromStdString(p.defaultSaveDir));
    }
    return p;
}

} // namespace sonvale::app
