#include "platform/loader/LibraryLoader.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

void fill(LoaderError* error, uint32_t code, const char* text) {
    if (!error)
        return;
    error->code = code;
    error->text = text ? text : "";
}

// The errno that describes why dlopen refused path. dlopen itself does not
// report one reliably, so the file is looked at directly when a path is given.
uint32_t loadErrorCode(const std::string& path, int savedErrno) {
    if (path.empty())
        return ENOENT;
    if (path.find('/') != std::string::npos) {
        struct stat st;
        if (::stat(path.c_str(), &st) != 0)
            return errno ? static_cast<uint32_t>(errno) : ENOENT;
        if (S_ISDIR(st.st_mode))
            return EISDIR;
        if (::access(path.c_str(), R_OK) != 0)
            return EACCES;
        return ENOEXEC; // present and readable, yet not loadable
    }
    return savedErrno ? static_cast<uint32_t>(savedErrno) : ENOENT;
}

class DlLoader final : public LibraryLoader {
public:
    Module load(const std::string& path, LoaderError* error) override {
        if (path.empty()) {
            // dlopen(NULL) would hand back the program itself.
            fill(error, ENOENT, "empty library name");
            return nullptr;
        }
        errno = 0;
        void* h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!h) {
            const int saved = errno;
            const char* text = ::dlerror();
            fill(error, loadErrorCode(path, saved), text ? text : "cannot load library");
        }
        return h;
    }

    void* symbol(Module module, const char* name, LoaderError* error) override {
        if (!module || !name) {
            fill(error, EINVAL, "no library or no entry point name");
            return nullptr;
        }
        ::dlerror(); // clear any stale message
        void* p = ::dlsym(module, name);
        if (!p) {
            const char* text = ::dlerror();
            fill(error, ENOENT, text ? text : "entry point not found");
        }
        return p;
    }

    bool unload(Module module, LoaderError* error) override {
        if (!module) {
            fill(error, EINVAL, "no library");
            return false;
        }
        if (::dlclose(module) != 0) {
            const char* text = ::dlerror();
            fill(error, EINVAL, text ? text : "cannot unload library");
            return false;
        }
        return true;
    }
};

std::atomic<LibraryLoader*> g_loader{nullptr};

} // namespace

LibraryLoader& systemLibraryLoader() {
    static DlLoader loader;
    return loader;
}

LibraryLoader& libraryLoader() {
    LibraryLoader* l = g_loader.load(std::memory_order_acquire);
    return l ? *l : systemLibraryLoader();
}

void setLibraryLoader(LibraryLoader* loader) {
    g_loader.store(loader, std::memory_order_release);
}
