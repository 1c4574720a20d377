// A library loader for tests: the system loader, except that it can refuse
// one library or hide one entry point; counts what it loads and unloads.
#pragma once

#include "platform/loader/LibraryLoader.h"

#include <atomic>
#include <cerrno>
#include <string>

class FailingLoader : public LibraryLoader {
public:
    std::string refusedLibrary;
    std::string hiddenEntry;
    std::atomic<int> loads{0};
    std::atomic<int> unloads{0};

    Module load(const std::string& path, LoaderError* e) override {
        ++loads;
        if (path == refusedLibrary) {
            e->code = ENOENT;
            e->text = path + ": cannot open shared object file";
            return nullptr;
        }
        return systemLibraryLoader().load(path, e);
    }
    void* symbol(Module m, const char* name, LoaderError* e) override {
        if (hiddenEntry == name) {
            if (e != nullptr)
                e->code = ENOENT;
            return nullptr;
        }
        return systemLibraryLoader().symbol(m, name, e);
    }
    bool unload(Module m, LoaderError* e) override {
        ++unloads;
        return systemLibraryLoader().unload(m, e);
    }
};
