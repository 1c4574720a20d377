// The process-wide record of a loaded MP3 encoder library: its module, a
// reference count and the addresses of its entry points.
//
// Each encoder class keeps one record (unaBladeMp3Enc and unaLameMp3Enc use
// separate ones). The first encoder to load a record chooses the file; later
// encoders only add a reference, whatever name they were given, and the last
// one to unload frees the library. An encoder remembers whether it holds a
// reference (BladeLibraryRef), so one whose load failed neither uses nor
// drops a reference that another encoder took later.
//
// Threads: load and unload are serialised by the record's own lock and may
// be called from any thread. The entry-point addresses change only while no
// reference is held, so a holder reads them without the lock, from whichever
// thread runs its encode step.
#pragma once

#include "encode/unaEncoderCodes.h"
#include "libs/mp3enc/mp3enc.h"
#include "platform/loader/LibraryLoader.h"

#include <cstdint>
#include <mutex>
#include <string>

struct BladeLibraryRecord {
    std::mutex lock;
    LibraryLoader::Module module = nullptr; // guarded by lock
    int32_t refCount = 0;                   // guarded by lock
    bool loading = false;                   // guarded by lock; true while a load runs
    std::string fileName;                   // the name the module was loaded from
    LoaderError lastLoadError;              // why the last load failed

    BEINITSTREAM beInitStream = nullptr;
    BEENCODECHUNK beEncodeChunk = nullptr;
    BEDEINITSTREAM beDeinitStream = nullptr;
    BECLOSESTREAM beCloseStream = nullptr;
    BEVERSION beVersion = nullptr;
    BEWRITEVBRHEADER beWriteVBRHeader = nullptr;

    // References held now (for diagnostics and tests).
    int32_t references();
    // The file the record was loaded from, empty when not loaded.
    std::string loadedFileName();
};

// One encoder's hold on a record.
class BladeLibraryRef {
public:
    explicit BladeLibraryRef(BladeLibraryRecord& record) : record_(record) {}
    ~BladeLibraryRef() { release(); }
    BladeLibraryRef(const BladeLibraryRef&) = delete;
    BladeLibraryRef& operator=(const BladeLibraryRef&) = delete;

    // Takes a reference: loads the library when the record holds none (name
    // trimmed, or defaultName when empty; "beWriteVBRHeader" is looked up only
    // with lookUpVbrHeader), else only counts one more reference. 0 on
    // success, else the loader's errno-style code. Taking a second reference
    // through the same object does nothing and returns 0.
    int32_t acquire(const std::string& name, const char* defaultName, bool lookUpVbrHeader);

    // Drops this object's reference; the last one frees the library. 0, or
    // the loader's code when freeing failed. Without a reference: 0.
    int32_t release();

    bool held() const { return held_; }
    BladeLibraryRecord& record() { return record_; }

    // Gate for every call through the record: 0 when fn can be called,
    // encErrNoLibrary without a reference, encErrNoEntry when fn is missing.
    template <class Fn> int32_t check(Fn fn) const {
        if (!held_)
            return encErrNoLibrary;
        return fn ? 0 : encErrNoEntry;
    }

private:
    BladeLibraryRecord& record_;
    bool held_ = false;
};
