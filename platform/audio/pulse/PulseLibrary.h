// libpulse, loaded on first use rather than linked: a program that records
// through ALSA or the virtual card never loads it (with its common library
// come libsndfile, FLAC, Vorbis, Opus, Ogg, mpg123 and LAME).
//
// One table of every entry point the sound-server backend calls; members
// carry libpulse's own names, so a call reads `libpulse().pa_stream_write(...)`.
// The header is used for types and constants only.
//
// Threads: any thread (see LibraryTable).
#pragma once

#include <pulse/pulseaudio.h>

#include <string>

// clang-format off
// Every libpulse entry point the backend uses.
#define SV_PULSE_ENTRIES(X)                  \
    X(pa_context_connect)                    \
    X(pa_context_disconnect)                 \
    X(pa_context_errno)                      \
    X(pa_context_get_server_info)            \
    X(pa_context_get_sink_info_by_name)      \
    X(pa_context_get_source_info_list)       \
    X(pa_context_get_state)                  \
    X(pa_context_new)                        \
    X(pa_context_new_with_proplist)          \
    X(pa_context_set_default_source)         \
    X(pa_context_set_sink_mute_by_index)     \
    X(pa_context_set_sink_volume_by_index)   \
    X(pa_context_set_source_mute_by_index)   \
    X(pa_context_set_source_volume_by_index) \
    X(pa_context_set_state_callback)         \
    X(pa_context_set_subscribe_callback)     \
    X(pa_context_subscribe)                  \
    X(pa_context_unref)                      \
    X(pa_cvolume_equal)                      \
    X(pa_gettimeofday)                       \
    X(pa_mainloop_dispatch)                  \
    X(pa_mainloop_free)                      \
    X(pa_mainloop_get_api)                   \
    X(pa_mainloop_new)                       \
    X(pa_mainloop_poll)                      \
    X(pa_mainloop_prepare)                   \
    X(pa_operation_cancel)                   \
    X(pa_operation_get_state)                \
    X(pa_operation_unref)                    \
    X(pa_proplist_free)                      \
    X(pa_proplist_new)                       \
    X(pa_proplist_sets)                      \
    X(pa_rtclock_now)                        \
    X(pa_sample_spec_valid)                  \
    X(pa_stream_connect_playback)            \
    X(pa_stream_connect_record)              \
    X(pa_stream_cork)                        \
    X(pa_stream_disconnect)                  \
    X(pa_stream_drain)                       \
    X(pa_stream_drop)                        \
    X(pa_stream_get_buffer_attr)             \
    X(pa_stream_get_state)                   \
    X(pa_stream_get_time)                    \
    X(pa_stream_get_timing_info)             \
    X(pa_stream_new)                         \
    X(pa_stream_peek)                        \
    X(pa_stream_readable_size)               \
    X(pa_stream_set_read_callback)           \
    X(pa_stream_set_state_callback)          \
    X(pa_stream_set_write_callback)          \
    X(pa_stream_unref)                       \
    X(pa_stream_writable_size)               \
    X(pa_stream_write)                       \
    X(pa_threaded_mainloop_get_api)          \
    X(pa_threaded_mainloop_lock)             \
    X(pa_threaded_mainloop_new)              \
    X(pa_threaded_mainloop_signal)           \
    X(pa_threaded_mainloop_start)            \
    X(pa_threaded_mainloop_unlock)           \
    X(pa_threaded_mainloop_wait)             \
    X(pa_timeval_add)
// clang-format on

#define SV_PULSE_ENTRY_FIELD(fn) decltype(&::fn) fn = nullptr;

struct PulseApi {
    SV_PULSE_ENTRIES(SV_PULSE_ENTRY_FIELD)
};

#undef SV_PULSE_ENTRY_FIELD

inline constexpr const char* kPulseLibrary = "libpulse.so.0";

// The loaded table, loading it on the first call; null with the reason in
// *why when libpulse or one of its entry points is missing.
const PulseApi* pulseApi(std::string* why);

// The loaded table, for code that runs only once the backend was chosen
// (which needs pulseApi() to have succeeded): the newest table handed out,
// never reloaded.
const PulseApi& libpulse();

// Tests only: the next pulseApi() loads again through the loader in force.
// Tables already handed out stay valid, libpulse stays loaded, and
// libpulse() keeps answering with the newest table.
void forgetPulseLibrary();
