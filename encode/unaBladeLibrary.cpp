#include "encode/unaBladeLibrary.h"

#include "core/unaUtils.h"

namespace {

template <class Fn>
void lookUp(LibraryLoader& loader, LibraryLoader::Module m, const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(loader.symbol(m, name, nullptr)); // a missing one stays empty
}

void clearEntries(BladeLibraryRecord& r) {
    r.beInitStream = nullptr;
    r.beEncodeChunk = nullptr;
    r.beDeinitStream = nullptr;
    r.beCloseStream = nullptr;
    r.beVersion = nullptr;
    r.beWriteVBRHeader = nullptr;
}

} // namespace

int32_t BladeLibraryRecord::references() {
    std::lock_guard<std::mutex> g(lock);
    return refCount;
}

std::string BladeLibraryRecord::loadedFileName() {
    std::lock_guard<std::mutex> g(lock);
    return module ? fileName : std::string();
}

int32_t BladeLibraryRef::acquire(const std::string& name, const char* defaultName,
                                 bool lookUpVbrHeader) {
    if (held_)
        return 0;
    BladeLibraryRecord& r = record_;
    std::lock_guard<std::mutex> g(r.lock);
    if (r.module) {
        ++r.refCount; // the first load's file stays in force
        held_ = true;
        return 0;
    }
    r.loading = true;
    std::string file = trimStr(name);
    if (file.empty())
        file = defaultName;
    LibraryLoader& loader = libraryLoader();
    LoaderError err;
    LibraryLoader::Module m = loader.load(file, &err);
    r.loading = false;
    if (!m) {
        clearEntries(r);
        r.refCount = 0;
        r.fileName.clear();
        r.lastLoadError = err;
        return err.code ? static_cast<int32_t>(err.code) : encErrNoLibrary;
    }
    r.module = m;
    r.refCount = 1;
    r.fileName = file;
    r.lastLoadError = {};
    lookUp(loader, m, TEXT_BEINITSTREAM, r.beInitStream);
    lookUp(loader, m, TEXT_BEENCODECHUNK, r.beEncodeChunk);
    lookUp(loader, m, TEXT_BEDEINITSTREAM, r.beDeinitStream);
    lookUp(loader, m, TEXT_BECLOSESTREAM, r.beCloseStream);
    lookUp(loader, m, TEXT_BEVERSION, r.beVersion);
    if (lookUpVbrHeader)
        lookUp(loader, m, TEXT_BEWRITEVBRHEADER, r.beWriteVBRHeader);
    held_ = true;
    return 0;
}

int32_t BladeLibraryRef::release() {
    if (!held_)
        return 0;
    held_ = false;
    BladeLibraryRecord& r = record_;
    std::lock_guard<std::mutex> g(r.lock);
    if (--r.refCount > 0)
        return 0;
    r.refCount = 0;
    clearEntries(r);
    LibraryLoader::Module m = r.module;
    r.module = nullptr;
    r.fileName.clear();
    if (!m)
        return 0;
    LoaderError err;
    if (!libraryLoader().unload(m, &err))
        return err.code ? static_cast<int32_t>(err.code) : encErrNoLibrary;
    return 0;
}
