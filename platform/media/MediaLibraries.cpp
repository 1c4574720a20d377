// Loading the media area's decoding libraries through the platform loader.
#include "platform/media/MediaLibraries.h"

#include "platform/loader/LibraryLoader.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

// The symbol's name after the headers' own renaming (two steps, so that a
// renaming macro is expanded before the name becomes a string).
#define SV_SYMBOL_TEXT(fn) #fn
#define SV_SYMBOL_NAME(fn) SV_SYMBOL_TEXT(fn)

namespace {

// One library's state. Allocated once and never freed: a player thread left
// to end on its own may still use its table while the process exits.
template <class Api> struct Slot {
    std::mutex lock;                          // serialises loads
    std::atomic<const Api*> current{nullptr}; // the table in force, null before a load
    std::vector<std::unique_ptr<Api>> kept;   // every table handed out (lock)
};

template <class Api> Slot<Api>& slot() {
    static auto* s = new Slot<Api>;
    return *s;
}

// Looks up entry points of one module, noting the first that is missing.
struct Lookup {
    LibraryLoader& loader;
    LibraryLoader::Module module;
    std::string missing;

    template <class Fn> void operator()(Fn& entry, const char* name) {
        entry = reinterpret_cast<Fn>(loader.symbol(module, name, nullptr));
        if (entry == nullptr && missing.empty())
            missing = name;
    }
};

void fill(SndfileApi& api, Lookup& lookUp) {
#define SV_LOOK_UP(fn) lookUp(api.fn, SV_SYMBOL_NAME(fn));
    SV_SNDFILE_ENTRIES(SV_LOOK_UP)
}

void fill(Mpg123Api& api, Lookup& lookUp){SV_MPG123_ENTRIES(SV_LOOK_UP)
#undef SV_LOOK_UP
}

// What has to run once after a load before the library is used; an empty
// answer means it is ready.
std::string start(const SndfileApi&) {
    return {};
}

std::string start(const Mpg123Api& api) {
    return api.mpg123_init() == MPG123_OK ? std::string() : "the MP3 decoder does not start";
}

template <class Api> const Api* load(const char* file, std::string* why) {
    Slot<Api>& s = slot<Api>();
    if (const Api* api = s.current.load(std::memory_order_acquire))
        return api;
    std::lock_guard<std::mutex> g(s.lock);
    if (const Api* api = s.current.load(std::memory_order_acquire))
        return api;

    LibraryLoader& loader = libraryLoader();
    LoaderError error;
    LibraryLoader::Module module = loader.load(file, &error);
    if (module == nullptr) {
        *why = std::string("cannot load ") + file + ": " + error.text;
        return nullptr;
    }
    auto api = std::make_unique<Api>();
    Lookup lookUp{loader, module, {}};
    fill(*api, lookUp);
    std::string failure = lookUp.missing.empty()
                              ? start(*api)
                              : std::string(file) + " has no entry point " + lookUp.missing;
    if (!failure.empty()) {
        loader.unload(module, nullptr);
        *why = std::move(failure);
        return nullptr;
    }
    // The module is never unloaded: tables handed out stay usable.
    s.kept.push_back(std::move(api));
    s.current.store(s.kept.back().get(), std::memory_order_release);
    return s.kept.back().get();
}

template <class Api> void forget() {
    Slot<Api>& s = slot<Api>();
    std::lock_guard<std::mutex> g(s.lock);
    s.current.store(nullptr, std::memory_order_release);
}

} // namespace

const SndfileApi* sndfileApi(std::string* why) {
    return load<SndfileApi>(kSndfileLibrary, why);
}

const Mpg123Api* mpg123Api(std::string* why) {
    return load<Mpg123Api>(kMpg123Library, why);
}

void forgetMediaLibraries() {
    forget<SndfileApi>();
    forget<Mpg123Api>();
}
