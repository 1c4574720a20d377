// The application's own INI file: a TIniEngineEx whose file is named after
// the running program file, with its extension replaced by ".ini" (or ".ini"
// added when it has none).
//
// Threads: as TIniEngine, one thread at a time (the main thread).
#pragma once

#include "ini/TIniEngineEx.h"

class TAppIniFile : public TIniEngineEx {
public:
    // Raises EInOutError when the program file cannot be determined or the
    // INI file exists but cannot be read.
    TAppIniFile();

    // The full path of the running program file as the file system spells it
    // (symbolic links resolved), with ".ini" for its extension.
    static std::string AppIniFileName();
    // The INI file name that belongs to the program file programPath.
    static std::string IniFileNameFor(const std::string& programPath);
};
