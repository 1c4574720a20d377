#include "encode/unaBladeMp3Enc.h"

#include <algorithm>
#include <cstring>

namespace {

// Sample counts beyond this would overflow the chunk size in bytes.
constexpr uint32_t kMaxSamplesPerChunk = 1u << 24;

} // namespace

BladeLibraryRecord& unaBladeMp3Enc::libraryRecord() {
    static BladeLibraryRecord record;
    return record;
}

BladeLibraryRecord& unaLameMp3Enc::libraryRecord() {
    static BladeLibraryRecord record;
    return record;
}

unaBladeMp3Enc::unaBladeMp3Enc(const std::string& libraryName, int32_t priority)
    : unaBladeMp3Enc(libraryName, priority, libraryRecord(), "BladeEnc.dll", false) {}

unaBladeMp3Enc::unaBladeMp3Enc(const std::string& libraryName, int32_t priority,
                               BladeLibraryRecord& record, const char* defaultName,
                               bool lookUpVbrHeader)
    : unaAbstractEncoder(priority), libraryName_(libraryName), library_(record),
      defaultName_(defaultName), lookUpVbrHeader_(lookUpVbrHeader) {
    init();
}

void unaBladeMp3Enc::init() {
    std::memset(&versionInfo_, 0, sizeof versionInfo_);
    streamHandle_ = kNoStream;
    if (loadLibrary() != 0) {
        setLastError(encErrNoLibrary);
        return;
    }
    setLastError(0);
    getVersion();
}

unaBladeMp3Enc::~unaBladeMp3Enc() {
    close();
    writer().stop(INFINITE_TIMEOUT);
    unloadLibrary();
}

int32_t unaBladeMp3Enc::loadLibrary() {
    return library_.acquire(libraryName_, defaultName_, lookUpVbrHeader_);
}

int32_t unaBladeMp3Enc::unloadLibrary() {
    return library_.release();
}

int32_t unaBladeMp3Enc::writeVBRHeader(const std::string& mp3FileName) {
    BladeLibraryRecord& r = library_.record();
    if (const int32_t e = library_.check(r.beWriteVBRHeader))
        return e;
    return int32_t(r.beWriteVBRHeader(mp3FileName.c_str()));
}

bool unaBladeMp3Enc::getVersion() {
    BladeLibraryRecord& r = library_.record();
    if (library_.check(r.beVersion) != 0)
        return false;
    r.beVersion(&versionInfo_);
    return true;
}

LoaderError unaBladeMp3Enc::loadError() {
    BladeLibraryRecord& r = library_.record();
    std::lock_guard<std::mutex> g(r.lock);
    return r.lastLoadError;
}

uint32_t unaBladeMp3Enc::clampOutput(uint32_t written) const {
    return std::min(written, outBufAllocated());
}

int32_t unaBladeMp3Enc::doSetConfig(const void* config) {
    BladeLibraryRecord& r = library_.record();
    if (const int32_t rc = library_.check(r.beInitStream))
        return rc;
    if (!config)
        return BE_ERR_INVALID_FORMAT;
    BE_CONFIG c; // the library gets a copy it may not change ours through
    std::memcpy(&c, config, sizeof c);
    uint32_t samples = 0, bufferSize = 0, handle = kNoStream;
    const int32_t rc = static_cast<int32_t>(r.beInitStream(&c, &samples, &bufferSize, &handle));
    if (rc != 0)
        return rc;
    if (samples == 0 || samples > kMaxSamplesPerChunk || bufferSize == 0) {
        // A stream nobody can feed: refuse it rather than spin on it.
        if (library_.check(r.beCloseStream) == 0)
            r.beCloseStream(handle);
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    chunkSize_ = samples * 2;
    outBufSize_ = bufferSize;
    streamHandle_ = handle;
    return 0;
}

int32_t unaBladeMp3Enc::doOpen() {
    return 0;
}

int32_t unaBladeMp3Enc::doEncode(const void* block, uint32_t size) {
    BladeLibraryRecord& r = library_.record();
    if (const int32_t rc = library_.check(r.beEncodeChunk))
        return rc;
    uint32_t written = 0;
    const int32_t rc = static_cast<int32_t>(r.beEncodeChunk(
        streamHandle_, size / 2, static_cast<const int16_t*>(block), outBuf(), &written));
    encodedBytes_ = rc == 0 ? clampOutput(written) : 0;
    return rc;
}

int32_t unaBladeMp3Enc::doClose() {
    BladeLibraryRecord& r = library_.record();
    const uint32_t handle = streamHandle_;
    streamHandle_ = kNoStream;
    int32_t rc = library_.check(r.beDeinitStream);
    if (rc != 0)
        return rc;
    uint32_t written = 0;
    rc = static_cast<int32_t>(r.beDeinitStream(handle, outBuf(), &written));
    encodedBytes_ = rc == 0 ? clampOutput(written) : 0;
    if (rc != 0)
        return rc;
    if (const int32_t check = library_.check(r.beCloseStream))
        return check;
    return static_cast<int32_t>(r.beCloseStream(handle));
}

unaLameMp3Enc::unaLameMp3Enc(const std::string& libraryName, int32_t priority)
    : unaBladeMp3Enc(libraryName, priority, libraryRecord(), "lame_enc.dll", true) {}

unaLameMp3Enc::~unaLameMp3Enc() = default;
