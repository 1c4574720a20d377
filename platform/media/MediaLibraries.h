// The two decoding libraries of the media area, loaded on first use rather
// than linked, so that nothing of ours asks for them before the first
// playback (libsndfile brings FLAC, Vorbis, Opus, Ogg, mpg123 and LAME).
//
// Each library is one table of the entry points this area calls, filled
// through the platform loader (libraryLoader(), so tests can make a load or a
// look-up fail). A table is handed out only with every entry point found; a
// missing library or entry point gives null and the reason, and the next use
// tries again (a library installed meanwhile is found without a restart).
// Once a table is handed out it stays valid and its library stays loaded for
// the life of the process. The headers are used for types and constants only.
//
// Members carry the libraries' own names, so a call reads
// `api->sf_close(file)`; where the decoder's header renames a function for
// large-file builds, the table looks up the renamed symbol.
//
// Threads: any thread; the first loads are serialised, later calls read one
// atomic.
#pragma once

#include <mpg123.h>
#include <sndfile.h>

#include <string>

// clang-format off
// Every libsndfile entry point the media player uses.
#define SV_SNDFILE_ENTRIES(X) \
    X(sf_open_fd)             \
    X(sf_close)               \
    X(sf_error)               \
    X(sf_strerror)            \
    X(sf_readf_short)         \
    X(sf_seek)

// Every libmpg123 entry point Mp3Input uses.
#define SV_MPG123_ENTRIES(X)  \
    X(mpg123_init)            \
    X(mpg123_new)             \
    X(mpg123_delete)          \
    X(mpg123_param)           \
    X(mpg123_format_none)     \
    X(mpg123_rates)           \
    X(mpg123_format)          \
    X(mpg123_open_fd)         \
    X(mpg123_close)           \
    X(mpg123_getformat)       \
    X(mpg123_info)            \
    X(mpg123_length)          \
    X(mpg123_scan)            \
    X(mpg123_read)            \
    X(mpg123_seek)            \
    X(mpg123_strerror)        \
    X(mpg123_plain_strerror)
// clang-format on

#define SV_MEDIA_ENTRY_FIELD(fn) decltype(&::fn) fn = nullptr;

struct SndfileApi {
    SV_SNDFILE_ENTRIES(SV_MEDIA_ENTRY_FIELD)
};

struct Mpg123Api {
    SV_MPG123_ENTRIES(SV_MEDIA_ENTRY_FIELD)
};

#undef SV_MEDIA_ENTRY_FIELD

// The file names the libraries are loaded by (their sonames).
inline constexpr const char* kSndfileLibrary = "libsndfile.so.1";
inline constexpr const char* kMpg123Library = "libmpg123.so.0";

// The loaded table, loading it when this is the first use. Null with the
// reason in *why (a missing library, a missing entry point, or a decoder that
// fails to start) when it cannot be had.
const SndfileApi* sndfileApi(std::string* why);
const Mpg123Api* mpg123Api(std::string* why);

// Tests only: the next use loads again through the loader in force. Tables
// already handed out stay valid and their libraries stay loaded.
void forgetMediaLibraries();
