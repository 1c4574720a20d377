// Wave-in service: records PCM from a capture device into buffers the caller
// queues, on the selected backend (ALSA or the virtual card, see
// AudioBackend.h).
//
// The caller owns every WAVEHDR and its data buffer. While a header is in the
// queue (WHDR_INQUEUE set) the device's capture thread fills it; when it is
// full, or comes back on stop/reset, the thread records dwBytesRecorded, sets
// WHDR_DONE, clears WHDR_INQUEUE and then calls the open's signal. Headers
// complete strictly in the order they were added. Headers the device fills
// back to back (a backlog, or a source faster than real time) share one
// signal, given at least every fourth header and before the thread could
// wait for the device, as an event set several times is set once: wake on
// the signal, then take every header marked done.
//
// Threads: every function may be called from any thread, but one handle is
// meant to be driven by one thread at a time (its owner). The signal runs on
// the device's capture thread (buffer done) or on the caller's thread (open,
// stop, reset, close); it must be short and must not call back into this
// service (setting an event is what it is for).
//
// dwFlags of a queued header is written by the capture thread: read it with
// waveHeaderFlags() (an acquiring load). Once WHDR_DONE is seen that way,
// dwBytesRecorded and the recorded bytes are safe to read with plain loads.
#pragma once

#include "platform/mmsystem.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

// One buffer handed to the device. Field meanings follow the multimedia
// records; dwUser belongs to the caller and is never touched.
struct WAVEHDR {
    char* lpData;
    uint32_t dwBufferLength;
    uint32_t dwBytesRecorded;
    uintptr_t dwUser;
    uint32_t dwFlags;
    uint32_t dwLoops;
    WAVEHDR* lpNext;
    uintptr_t reserved;
};

enum : uint32_t {
    WHDR_DONE = 1,     // the device has finished with the buffer
    WHDR_PREPARED = 2, // prepared with waveInPrepareHeader
    WHDR_INQUEUE = 16, // queued with waveInAddBuffer and not yet done
};

// Device capabilities, 48 bytes. szPname holds up to 31 characters.
#pragma pack(push, 1)
struct WAVEINCAPS {
    uint16_t wMid;
    uint16_t wPid;
    uint32_t vDriverVersion;
    char szPname[32];
    uint32_t dwFormats; // WAVE_FORMAT_1M08 ... bits
    uint16_t wChannels;
    uint16_t wReserved1;
};
#pragma pack(pop)
static_assert(sizeof(WAVEINCAPS) == 48, "capability record is 48 bytes");

// Standard format bits of WAVEINCAPS::dwFormats (rate 11025/22050/44100 Hz,
// mono/stereo, 8/16 bit).
enum : uint32_t {
    WAVE_FORMAT_1M08 = 0x001,
    WAVE_FORMAT_1S08 = 0x002,
    WAVE_FORMAT_1M16 = 0x004,
    WAVE_FORMAT_1S16 = 0x008,
    WAVE_FORMAT_2M08 = 0x010,
    WAVE_FORMAT_2S08 = 0x020,
    WAVE_FORMAT_2M16 = 0x040,
    WAVE_FORMAT_2S16 = 0x080,
    WAVE_FORMAT_4M08 = 0x100,
    WAVE_FORMAT_4S08 = 0x200,
    WAVE_FORMAT_4M16 = 0x400,
    WAVE_FORMAT_4S16 = 0x800,
};

// Open flags. WAVE_MAPPED and WAVE_FORMAT_DIRECT are accepted and have no
// effect (every device converts formats through its backend).
enum : uint32_t {
    WAVE_FORMAT_QUERY = 0x1, // only check that the device can record the format
    WAVE_MAPPED = 0x4,
    WAVE_FORMAT_DIRECT = 0x8,
    CALLBACK_EVENT = 0x50000, // the signal is an event setter (the only kind)
};

inline constexpr int WAVE_MAPPER = -1; // the default capture device

// Extra wave result codes (the MMR_ values of mmsystem.h are shared).
enum : MMRESULT {
    WAVERR_BADFORMAT = MMR_BADFORMAT,
    WAVERR_STILLPLAYING = MMR_STILLPLAYING,
    WAVERR_UNPREPARED = MMR_UNPREPARED,
};

class WaveInDevice; // a backend's open capture device
using HWAVEIN = WaveInDevice*;

// Called on open, whenever buffers complete, and on close.
using WaveInSignal = std::function<void()>;

// Acquiring read of a header's flags (see the note at the top).
inline uint32_t waveHeaderFlags(const WAVEHDR& header) {
    return std::atomic_ref<const uint32_t>(header.dwFlags).load(std::memory_order_acquire);
}

// Number of capture devices of the current backend (ids 0..n-1).
uint32_t waveInGetNumDevs();

// Capabilities of device `deviceId` (-1: the default device).
// MMR_BADDEVICEID for an unknown id, MMR_INVALPARAM without a record.
MMRESULT waveInGetDevCapsA(int deviceId, WAVEINCAPS* caps);
// The device's whole name (WAVEINCAPS::szPname holds 31 characters); empty
// for an unknown id.
std::string waveInGetDeviceName(int deviceId);

// Opens device `deviceId` for a PCM format (tag 1, 1 or 2 channels, 8 or 16
// bits, 1000..384000 Hz, nBlockAlign = channels * bits / 8). With
// WAVE_FORMAT_QUERY only checks the format and leaves *handle untouched
// (handle may then be null). The device starts stopped; the signal is called
// once the open has succeeded.
// MMR_BADDEVICEID, MMR_BADFORMAT, MMR_ALLOCATED (already open), MMR_INVALPARAM,
// MMR_NOMEM or MMR_ERROR on failure.
MMRESULT waveInOpen(HWAVEIN* handle, int deviceId, const WAVEFORMATEX* format, WaveInSignal signal,
                    uint32_t flags);

// `size` is sizeof(WAVEHDR) (32 is accepted too); smaller is MMR_INVALPARAM.
// Sets WHDR_PREPARED (lpData and dwBufferLength must be set).
// MMR_INVALPARAM for a null or empty header, MMR_STILLPLAYING when queued.
MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, uint32_t size);
// Clears WHDR_PREPARED; MMR_STILLPLAYING while the header is queued.
MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, uint32_t size);
// Queues a prepared header: dwBytesRecorded = 0, WHDR_DONE cleared,
// WHDR_INQUEUE set. MMR_UNPREPARED, MMR_STILLPLAYING (already queued).
MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, uint32_t size);
// Starts recording into the queued headers (also with none queued; sound
// arriving while nothing is queued is dropped).
MMRESULT waveInStart(HWAVEIN handle);
// Stops recording; the partly filled header (if it holds any bytes) comes
// back done, the empty ones stay queued.
MMRESULT waveInStop(HWAVEIN handle);
// Stops recording and returns every queued header done, in queue order.
MMRESULT waveInReset(HWAVEIN handle);
// Closes the device; MMR_STILLPLAYING while headers are queued (reset
// first). The signal is called once more, then never again.
MMRESULT waveInClose(HWAVEIN handle);

// Writes the text of a result code into text (at most size - 1 characters and
// a terminating zero). MMR_BADERRNUM for an unknown code, MMR_INVALPARAM for
// a null or empty buffer.
MMRESULT waveInGetErrorTextA(MMRESULT code, char* text, uint32_t size);

// Diagnostics of an open device (any thread): bytes recorded into headers,
// bytes dropped because no header was queued (a source that keeps nothing
// unread; the others hold the sound meanwhile, and what overflows their
// buffer shows as overruns), capture overruns the backend recovered from,
// and whether the device was lost (unplugged, its source
// removed, the sound server gone): capture then ended for good, the signal
// was called once more, and the queued headers wait for a reset. False for
// an invalid handle.
struct WaveInStats {
    uint64_t recordedBytes = 0;
    uint64_t droppedBytes = 0;
    uint32_t overruns = 0;
    bool deviceLost = false;
};
bool waveInGetStats(HWAVEIN handle, WaveInStats* stats);
