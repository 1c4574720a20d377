// The binding to the MP3 encoder library (the entry points of
// libs/mp3enc/mp3enc.h, loaded at run time).
//
// unaBladeMp3Enc fills the encoder framework's four operations with calls
// into the library: setConfig opens a library stream with a BE_CONFIG
// record, every writer step encodes one chunk, close ends the stream and
// delivers its final bytes. unaLameMp3Enc is the same over a library record
// and default file name of its own, and also looks up "beWriteVBRHeader".
//
// Loading: each class keeps one process-wide library record (see
// unaBladeLibrary.h). An encoder takes a reference when it is built and
// drops it when destroyed; while it holds none (the load failed) every
// library call answers encErrNoLibrary, and a missing entry point answers
// encErrNoEntry.
//
// Threads: as the framework (unaEncoder.h): construction, setConfig, open,
// close and destruction on the controlling thread; the library stream is
// used by one thread at a time.
#pragma once

#include "encode/unaBladeLibrary.h"
#include "encode/unaEncoder.h"
#include "libs/mp3enc/mp3enc.h"

#include <cstdint>
#include <string>

class unaBladeMp3Enc : public unaAbstractEncoder {
public:
    static constexpr uint32_t kNoStream = 0xFFFFFFFFu;

    // Loads the library (the trimmed libraryName, or "BladeEnc.dll" when it
    // is empty); lastError is encErrNoLibrary when that failed, else 0.
    explicit unaBladeMp3Enc(const std::string& libraryName = std::string(),
                            int32_t priority = THREAD_PRIORITY_NORMAL);
    ~unaBladeMp3Enc() override;

    const std::string& libraryName() const { return libraryName_; }
    const BE_VERSION& versionInfo() const { return versionInfo_; }
    uint32_t streamHandle() const { return streamHandle_; }

    // Takes this encoder's reference on its library record: 0, or the
    // loader's errno-style code. Already holding one: 0.
    int32_t loadLibrary();
    // Drops it: 0, or the loader's code when freeing the library failed.
    int32_t unloadLibrary();
    // Asks the library for its version block; false without "beVersion".
    bool getVersion();
    // After a variable-rate recording is closed and its file complete: writes
    // the information frame (frame count, byte count, seek table) of the
    // stream that ended last over the frame reserved at the file's start, so
    // every player knows the true length. 0, the library's code, or
    // encErrNoLibrary / encErrNoEntry (unaBladeMp3Enc does not look the entry
    // point up). Controlling thread.
    int32_t writeVBRHeader(const std::string& mp3FileName);

    // Why the last load of this encoder's record failed (code 0: it did not).
    LoaderError loadError();

    // The process-wide record of this class.
    static BladeLibraryRecord& libraryRecord();

protected:
    // For descendants that bring a record and default name of their own.
    unaBladeMp3Enc(const std::string& libraryName, int32_t priority, BladeLibraryRecord& record,
                   const char* defaultName, bool lookUpVbrHeader);

    int32_t doSetConfig(const void* config) override;
    int32_t doOpen() override;
    int32_t doClose() override;
    int32_t doEncode(const void* block, uint32_t size) override;

private:
    void init();
    // The library's byte count, never beyond what outBuf holds.
    uint32_t clampOutput(uint32_t written) const;

    const std::string libraryName_;
    BE_VERSION versionInfo_;
    uint32_t streamHandle_ = kNoStream;
    BladeLibraryRef library_;
    const char* const defaultName_;
    const bool lookUpVbrHeader_;
};

class unaLameMp3Enc : public unaBladeMp3Enc {
public:
    // As unaBladeMp3Enc, with "lame_enc.dll" as the default name.
    explicit unaLameMp3Enc(const std::string& libraryName = std::string(),
                           int32_t priority = THREAD_PRIORITY_NORMAL);
    ~unaLameMp3Enc() override;

    static BladeLibraryRecord& libraryRecord();
};
