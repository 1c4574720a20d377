// A system library loaded on first use into a table of its entry points,
// instead of being linked: nothing is loaded until the first call needs it.
//
// Api is a struct of function pointers; fill() looks each one up through the
// EntryLookUp it is given, start() (optional) runs once after the look-ups.
// get() hands out the table only when the library loaded, every entry point
// was found and start() agreed; otherwise it gives null with the reason, lets
// the library go again, and the next get() tries anew. A table handed out
// stays valid, and its library loaded, for the life of the process. Loads go
// through libraryLoader(), so tests can make them fail.
//
// Threads: any thread; loads are serialised, a loaded table is one atomic
// read. A LibraryTable is meant to be allocated once and never destroyed (a
// thread still using the table may outlive static destruction).
#pragma once

#include "platform/loader/LibraryLoader.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The symbol's name after the headers' own renaming (two steps, so that a
// renaming macro is expanded before the name becomes a string).
#define SV_SYMBOL_TEXT(fn) #fn
#define SV_SYMBOL_NAME(fn) SV_SYMBOL_TEXT(fn)

// Looks up entry points of one module, noting the first that is missing.
struct EntryLookUp {
    LibraryLoader& loader;
    LibraryLoader::Module module;
    std::string missing;

    template <class Fn> void operator()(Fn& entry, const char* name) {
        entry = reinterpret_cast<Fn>(loader.symbol(module, name, nullptr));
        if (entry == nullptr && missing.empty())
            missing = name;
    }
};

template <class Api> class LibraryTable {
public:
    using Fill = void (*)(Api&, EntryLookUp&);
    // An empty answer means the library is ready.
    using Start = std::string (*)(const Api&);

    LibraryTable(const char* file, Fill fill, Start start = nullptr)
        : file_(file), fill_(fill), start_(start) {}

    const Api* get(std::string* why) {
        if (const Api* api = current_.load(std::memory_order_acquire))
            return api;
        std::lock_guard<std::mutex> g(lock_);
        if (const Api* api = current_.load(std::memory_order_acquire))
            return api;
        LibraryLoader& loader = libraryLoader();
        LoaderError error;
        LibraryLoader::Module module = loader.load(file_, &error);
        if (module == nullptr) {
            *why = std::string("cannot load ") + file_ + ": " + error.text;
            return nullptr;
        }
        auto api = std::make_unique<Api>();
        EntryLookUp lookUp{loader, module, {}};
        fill_(*api, lookUp);
        std::string failure;
        if (!lookUp.missing.empty())
            failure = std::string(file_) + " has no entry point " + lookUp.missing;
        else if (start_ != nullptr)
            failure = start_(*api);
        if (!failure.empty()) {
            loader.unload(module, nullptr);
            *why = std::move(failure);
            return nullptr;
        }
        // The module is never unloaded: tables handed out stay usable.
        kept_.push_back(std::move(api));
        current_.store(kept_.back().get(), std::memory_order_release);
        latest_.store(kept_.back().get(), std::memory_order_release);
        return kept_.back().get();
    }

    // The newest table handed out, forget() or not; null before the first.
    // For code already running on a table: it never loads or fails.
    const Api* handedOut() const { return latest_.load(std::memory_order_acquire); }

    // Tests only: the next get() loads again through the loader in force.
    void forget() {
        std::lock_guard<std::mutex> g(lock_);
        current_.store(nullptr, std::memory_order_release);
    }

private:
    const char* file_;
    Fill fill_;
    Start start_;
    std::mutex lock_;                          // serialises loads
    std::atomic<const Api*> current_{nullptr}; // the table in force
    std::atomic<const Api*> latest_{nullptr};  // the newest handed out
    std::vector<std::unique_ptr<Api>> kept_;   // every table handed out (lock_)
};
