#include "platform/audio/Backends.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>

namespace {

WaveInBackend& waveInBackend() {
    return backendTable(audioBackend()).waveIn();
}

// Handles handed out and not yet closed, so a stale or foreign handle is
// refused with MMR_INVALHANDLE instead of being dereferenced.
std::mutex g_handlesMutex;
std::set<WaveInDevice*> g_handles;

bool valid(HWAVEIN h) {
    std::lock_guard lock(g_handlesMutex);
    return h && g_handles.count(h) != 0;
}

struct ErrorText {
    MMRESULT code;
    const char* text;
};

const ErrorText kErrorTexts[] = {
    {MMR_NOERROR, "The command completed successfully."},
    {MMR_ERROR, "An unspecified error occurred."},
    {MMR_BADDEVICEID, "The device identifier is out of range."},
    {MMR_NOTENABLED, "The driver failed to enable."},
    {MMR_ALLOCATED, "The device is already in use."},
    {MMR_INVALHANDLE, "The device handle is invalid."},
    {MMR_NODRIVER, "No device driver is present."},
    {MMR_NOMEM, "Out of memory."},
    {MMR_NOTSUPPORTED, "The function is not supported."},
    {MMR_BADERRNUM, "The error number is out of range."},
    {MMR_INVALFLAG, "An invalid flag was passed."},
    {MMR_INVALPARAM, "An invalid parameter was passed."},
    {MMR_HANDLEBUSY, "The handle is being used by another thread."},
    {MMR_BADFORMAT, "The device cannot record this wave format."},
    {MMR_STILLPLAYING, "Buffers are still queued on the device."},
    {MMR_UNPREPARED, "The buffer header is not prepared."},
    {MMR_SYNC, "The device is synchronous."},
};

} // namespace

// ---- wave-in ----

// Header sizes: sizeof(WAVEHDR), or 32, the size of the classic 32-bit record
// that callers may pass as a constant.
static bool headerSizeOk(uint32_t size) {
    return size >= 32;
}

uint32_t waveInGetNumDevs() {
    return waveInBackend().count();
}

static MMRESULT checkDevice(WaveInBackend& backend, int deviceId) {
    if (deviceId < -1 || (deviceId >= 0 && uint32_t(deviceId) >= backend.count()))
        return MMR_BADDEVICEID;
    return MMR_NOERROR;
}

MMRESULT waveInGetDevCapsA(int deviceId, WAVEINCAPS* caps) {
    if (!caps)
        return MMR_INVALPARAM;
    WaveInBackend& backend = waveInBackend();
    if (MMRESULT r = checkDevice(backend, deviceId))
        return r;
    std::memset(caps, 0, sizeof(*caps));
    std::string name;
    MMRESULT r = backend.caps(deviceId, caps, &name);
    copyName(caps->szPname, name);
    return r;
}

std::string waveInGetDeviceName(int deviceId) {
    WaveInBackend& backend = waveInBackend();
    if (checkDevice(backend, deviceId) != MMR_NOERROR)
        return {};
    WAVEINCAPS caps{};
    std::string name;
    return backend.caps(deviceId, &caps, &name) == MMR_NOERROR ? name : std::string();
}

MMRESULT waveInOpen(HWAVEIN* handle, int deviceId, const WAVEFORMATEX* format, WaveInSignal signal,
                    uint32_t flags) {
    const bool query = (flags & WAVE_FORMAT_QUERY) != 0;
    if (!handle && !query)
        return MMR_INVALPARAM;
    WaveInBackend& backend = waveInBackend();
    if (MMRESULT r = checkDevice(backend, deviceId))
        return r;
    if (MMRESULT r = checkPcmFormat(format))
        return r;
    std::unique_ptr<CaptureSource> source;
    uint32_t readBytes = 0;
    if (MMRESULT r = backend.open(deviceId, *format, query, &source, &readBytes))
        return r;
    if (query)
        return MMR_NOERROR;
    if (!source)
        return MMR_ERROR;
    auto device =
        std::make_unique<WaveInDevice>(std::move(source), *format, std::move(signal), readBytes);
    WaveInDevice* raw = device.release();
    {
        std::lock_guard lock(g_handlesMutex);
        g_handles.insert(raw);
    }
    *handle = raw;
    raw->begin();
    return MMR_NOERROR;
}

MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, uint32_t size) {
    if (!valid(handle))
        return MMR_INVALHANDLE;
    if (!headerSizeOk(size))
        return MMR_INVALPARAM;
    return handle->prepare(header);
}

MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, uint32_t size) {
    if (!valid(handle))
        return MMR_INVALHANDLE;
    if (!headerSizeOk(size))
        return MMR_INVALPARAM;
    return handle->unprepare(header);
}

MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, uint32_t size) {
    if (!valid(handle))
        return MMR_INVALHANDLE;
    if (!headerSizeOk(size))
        return MMR_INVALPARAM;
    return handle->add(header);
}

MMRESULT waveInStart(HWAVEIN handle) {
    return valid(handle) ? handle->start() : MMR_INVALHANDLE;
}

MMRESULT waveInStop(HWAVEIN handle) {
    return valid(handle) ? handle->stop() : MMR_INVALHANDLE;
}

MMRESULT waveInReset(HWAVEIN handle) {
    return valid(handle) ? handle->reset() : MMR_INVALHANDLE;
}

MMRESULT waveInClose(HWAVEIN handle) {
    if (!valid(handle))
        return MMR_INVALHANDLE;
    if (MMRESULT r = handle->finish())
        return r;
    {
        std::lock_guard lock(g_handlesMutex);
        g_handles.erase(handle);
    }
    delete handle;
    return MMR_NOERROR;
}

bool waveInGetStats(HWAVEIN handle, WaveInStats* stats) {
    if (!stats || !valid(handle))
        return false;
    *stats = handle->stats();
    return true;
}

MMRESULT waveInGetErrorTextA(MMRESULT code, char* text, uint32_t size) {
    if (!text || size == 0)
        return MMR_INVALPARAM;
    for (const ErrorText& e : kErrorTexts) {
        if (e.code == code) {
            copyName(text, size, e.text);
            return MMR_NOERROR;
        }
    }
    text[0] = 0;
    return MMR_BADERRNUM;
}
