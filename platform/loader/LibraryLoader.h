// Loading libraries at run time and looking up their entry points.
//
// The encoder and player bindings load their libraries (mp3enc.so,
// mp3play.so), and the media player its decoders (libsndfile, libmpg123),
// through this interface. The system backend is dlopen/dlsym; tests may
// install a backend of their own (setLibraryLoader) to make loads, look-ups
// or unloads fail on purpose. Failures come back as an errno-style
// code plus the loader's own text, so callers can keep the code as their
// result and show the text.
//
// Threads: every call may come from any thread. setLibraryLoader is meant for
// test set-up and must not race with loads in progress.
#pragma once

#include <cstdint>
#include <string>

// Why a load, look-up or unload failed: an errno value (ENOENT for a missing
// file or entry point, EACCES for an unreadable file, ENOEXEC for a file that
// is not a loadable library) and the loader's message.
struct LoaderError {
    uint32_t code = 0;
    std::string text;
};

class LibraryLoader {
public:
    using Module = void*; // opaque; null means "no library"

    virtual ~LibraryLoader() = default;

    // Loads the library at path (a path with "/" is taken as it stands, a
    // bare name is searched for the usual way). Null on failure, with error
    // filled when given.
    virtual Module load(const std::string& path, LoaderError* error) = 0;

    // The address of the named entry point, or null (error filled) when the
    // library has none of that name.
    virtual void* symbol(Module module, const char* name, LoaderError* error) = 0;

    // Drops one load of the library; false (error filled) when that fails.
    virtual bool unload(Module module, LoaderError* error) = 0;
};

// The dlopen/dlsym backend.
LibraryLoader& systemLibraryLoader();

// The backend in force: the system one unless a test installed another.
LibraryLoader& libraryLoader();

// Installs a backend (null restores the system one); the caller keeps
// ownership and keeps it alive while it is installed.
void setLibraryLoader(LibraryLoader* loader);
