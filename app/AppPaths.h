// Where the program finds its files: its own folder (the two run-time
// libraries, msg.ini, the help page), the settings file, the default folder
// for recordings and the project's README (the home page).
//
// A portable install keeps everything beside the program: the settings file is
// the program's path with ".ini" and recordings go to the program's folder.
// When that folder cannot be written, or it is the folder the install puts the
// program in (<prefix>/lib.../sonvale/, e.g. /usr or ~/.local), the settings file
// is $XDG_CONFIG_HOME/sonvale/sonvale.ini (~/.config when unset) and
// recordings go to the user's music folder. Either way the skin's pictures
// are kept in $XDG_CACHE_HOME/sonvale/ (~/.cache when unset).
//
// Plain values, computed once at start on the main thread.
#pragma once

#include <functional>
#include <string>

namespace sonvale::app {

struct AppPaths {
    std::string programFile;    // full path of the running program
    std::string programDir;     // its folder, ending with "/"
    std::string iniFile;        // the settings file
    std::string defaultSaveDir; // default folder for recordings, ending with "/"
    std::string msgIniFile;     // programDir + "msg.ini"
    std::string helpFile;       // programDir + "sonvale.html"
    std::string homePage;       // README.md: beside the program, or installed
                                // in <prefix>/share/doc/sonvale/
    std::string encoderLibrary; // programDir + "mp3enc.so"
    std::string playerLibrary;  // programDir + "mp3play.so"
    std::string skinCacheFile;  // where the skin's pictures are kept between
                                // runs; empty when no cache folder is known
    bool portable = true;       // settings and recordings beside the program

    // The layout for a program at `programFile`. `isWritableDir` decides
    // between the portable and the per-user layout; `getEnv` reads
    // environment variables (HOME, XDG_CONFIG_HOME, XDG_CACHE_HOME);
    // `musicDir` gives the user's music folder for the per-user layout.
    static AppPaths forProgram(const std::string& programFile,
                               const std::function<bool(const std::string&)>& isWritableDir,
                               const std::function<std::string(const char*)>& getEnv,
                               const std::function<std::string()>& musicDir);

    // The layout for the running program, from the real file system and
    // environment. Creates the per-user folders when they are used.
    static AppPaths forRunningProgram();
};

inline constexpr const char* kEncoderLibraryName = "mp3enc.so";
inline constexpr const char* kPlayerLibraryName = "mp3play.so";
inline constexpr const char* kMsgIniName = "msg.ini";
inline constexpr const char* kHelpFileName = "sonvale.html";
inline constexpr const char* kHomePageName = "README.md";

// Returns `dir` with a "/" appended when it does not already end with one
// (an empty text stays empty).
std::string withTrailingSlash(std::string dir);

} // namespace sonvale::app
