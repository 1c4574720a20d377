#include "capture/unaWaveDevice.h"

#include "core/unaKernel.h"
#include "core/unaUtils.h"

#include <atomic>
#include <cstring>

// --- header ----------------------------------------------------------------------------

unaWaveHeader::unaWaveHeader(unaMsAcmStreamDevice* device, const void* data, uint32_t size)
    : unaMsAcmDeviceHeader(device) {
    hdr.lpData = size ? new char[size] : nullptr;
    hdr.dwBufferLength = size;
    hdr.dwUser = reinterpret_cast<uintptr_t>(this);
    if (data && size)
        std::memcpy(hdr.lpData, data, size);
}

unaWaveHeader::~unaWaveHeader() {
    unprepare();
    delete[] hdr.lpData;
}

void unaWaveHeader::setFlag(uint32_t mask, bool on) {
    std::atomic_ref<uint32_t> flags(hdr.dwFlags);
    if (on)
        flags.fetch_or(mask, std::memory_order_acq_rel);
    else
        flags.fetch_and(~mask, std::memory_order_acq_rel);
}

void unaWaveHeader::rearm() {
    unaMsAcmDeviceHeader::rearm();
    hdr.dwBytesRecorded = 0;
}

bool unaWaveHeader::isDone() const {
    const uint32_t f = waveHeaderFlags(hdr);
    return (f & (WHDR_DONE | WHDR_PREPARED)) == (WHDR_DONE | WHDR_PREPARED) && !(f & WHDR_INQUEUE);
}

bool unaWaveHeader::isInQueue() const {
    const uint32_t f = waveHeaderFlags(hdr);
    return (f & (WHDR_PREPARED | WHDR_INQUEUE)) == (WHDR_PREPARED | WHDR_INQUEUE);
}

// --- wave device ---------------------------------------------------------------------------

MMRESULT unaWaveDevice::open(bool query, uint32_t timeout, uint32_t flags) {
    if (flags == 0) {
        flags = CALLBACK_EVENT;
        if (mapped.load())
            flags |= WAVE_MAPPED;
        if (direct.load())
            flags |= WAVE_FORMAT_DIRECT;
        if (query)
            flags |= WAVE_FORMAT_QUERY;
    }
    return unaMsAcmStreamDevice::open(query, timeout, flags);
}

bool unaWaveDevice::setPcmFormat(uint32_t rate, uint16_t bits, uint16_t channels) {
    WAVEFORMATEX f;
    FillPcmFormat(f, rate, bits, channels);
    return setFormatRecord(primaryFormatIsSource(), &f);
}

int32_t unaWaveDevice::execute() {
    // Every reason to work signals deviceEvent_ (a completed buffer, new
    // input, a timer tick, stop), so the loop sleeps without a time-out while
    // there is nothing to do.
    // The first pass runs at once: buffers may have completed before the
    // thread started.
    bool first = true;
    while (!shouldStop()) {
        if (first || deviceEvent_.waitFor(INFINITE_TIMEOUT)) {
            first = false;
            std::lock_guard pass(loopMutex_);
            runPass();
        }
    }
    return 0;
}

void unaWaveDevice::runPass() {
    bool busy = true;
    while (!shouldStop() && busy) {
        unaMsAcmDeviceHeader* header = nextDeliverableHeader();
        if (header)
            header->setProcessed(true);
        busy = handleHeader(header);
    }
}

void unaWaveDevice::onStopRequested() {
    deviceEvent_.setState(true);
}

// --- wave-in device ------------------------------------------------------------------------

unaWaveInDevice::unaWaveInDevice(int32_t deviceId, bool mapped, bool direct, uint32_t overNum)
    : unaWaveDevice(deviceId, mapped, direct) {
    assignStream(false, new unaMemoryStream(), true);
    inOverNum.store(overNum);
    outOverNum.store(overNum);
    capsResult_ = waveInGetDevCapsA(deviceId, &caps_);
}

unaWaveInDevice::~unaWaveInDevice() {
    shutdown();
}

std::string unaWaveInDevice::getErrorText(MMRESULT code) {
    char text[129] = {};
    if (waveInGetErrorTextA(code, text, sizeof text) == MMR_NOERROR)
        return int2str(code) + " (" + text + ")";
    return unaWaveDevice::getErrorText(code);
}

bool unaWaveInDevice::deviceLost() const {
    WaveInStats stats;
    const HWAVEIN handle = waveHandle();
    return handle && waveInGetStats(handle, &stats) && stats.deviceLost;
}

void unaWaveInDevice::setMinVolumeLevel(uint32_t level) {
    const uint32_t old = minVolumeLevel_.load();
    if (level == old)
        return;
    minVolumeLevel_.store(level);
    if (level != 0) {
        // Remember the choice made before suppression was switched on (a
        // change from one non-zero level to another keeps it).
        if (old == 0)
            levelSavedCalcVolume_ = calcVolume();
        calcVolume_.store(true);
    } else {
        unaMsAcmStreamDevice::setCalcVolume(levelSavedCalcVolume_);
    }
}

void unaWaveInDevice::setCalcVolume(bool value) {
    if (minVolumeLevel_.load() == 0) {
        unaMsAcmStreamDevice::setCalcVolume(value);
        return;
    }
    levelSavedCalcVolume_ = value;
    calcVolume_.store(true);
}

void unaWaveInDevice::onThreadStart() {
    unaWaveDevice::onThreadStart();
    setPriority(THREAD_PRIORITY_HIGHEST);
}

void unaWaveInDevice::onThreadEnd() {
    if (HWAVEIN h = waveHandle()) {
        waveInStop(h);
        waveInReset(h);
    }
}

MMRESULT unaWaveInDevice::doOpen(uint32_t flags) {
    unaWaveDevice::doOpen(flags);
    WAVEFORMATEX format;
    const bool hasFormat = getFormat(false, format);
    std::string full = formatText(false);
    WAVEFORMATEX* record = nullptr;
    if (hasFormat)
        str2format(full, record);
    HWAVEIN h = nullptr;
    const MMRESULT result = waveInOpen(
        &h, deviceId_, record, [this] { onWaveInSignal(); }, flags);
    freeBlock(record);
    if (result == MMR_NOERROR && !(flags & WAVE_FORMAT_QUERY))
        handle_.store(reinterpret_cast<uintptr_t>(h));
    return result;
}

void unaWaveInDevice::onWaveInSignal() {
    // try_lock: a pass already running on the device thread picks this
    // buffer up in its next round once the event is set, so nothing waits.
    if (deliverInline_.load(std::memory_order_acquire) && !shouldStop() && loopMutex_.try_lock()) {
        std::lock_guard pass(loopMutex_, std::adopt_lock);
        runPass();
        return;
    }
    deviceEvent_.signal();
}

MMRESULT unaWaveInDevice::doClose(uint32_t timeout) {
    // The close is signalled through the event, which close() waits on.
    deliverInline_.store(false, std::memory_order_release);
    const MMRESULT result = waveInClose(waveHandle());
    unaWaveDevice::doClose(timeout);
    return result;
}

bool unaWaveInDevice::checkChunk(const void* data, uint32_t length) {
    const bool base = unaWaveDevice::checkChunk(data, length);
    const uint32_t level = minVolumeLevel_.load();
    if (!base || !calcVolume() || level == 0) {
        silenceStart_ = 0;
        isSilent_.store(false);
        return base;
    }
    uint32_t now = tickCount();
    if (now == 0)
        now = 1; // 0 means "no silence started"
    if (silenceStart_ != 0 && now - silenceStart_ <= minActiveTime.load())
        return true;
    bool quiet = true;
    for (uint32_t c = 0; c < primaryChannels() && quiet; ++c)
        quiet = getVolume(c) < level;
    bool silent = isSilent_.load();
    if (silent && !quiet) {
        silenceStart_ = 0;
        silent = false;
    }
    if (quiet && !silent) {
        if (silenceStart_ == 0) {
            silenceStart_ = now;
        } else {
            silent = true;
            silenceStart_ = 0;
        }
    }
    isSilent_.store(silent);
    return !silent;
}

MMRESULT unaWaveInDevice::afterOpen() {
    unaWaveDevice::afterOpen();
    isSilent_.store(false);
    queuedHeaders_.store(0);
    // The stop request of the previous run is still raised until the thread
    // starts again; it must not keep the buffers from being queued before
    // capture starts, or the first sound of every later recording is lost.
    queueBeforeStart_ = true;
    queueHeader(nullptr);
    queueBeforeStart_ = false;
    const MMRESULT result = waveInStart(waveHandle());
    deliverInline_.store(result == MMR_NOERROR, std::memory_order_release);
    return result;
}

MMRESULT unaWaveInDevice::prepareHeader(unaMsAcmDeviceHeader* header) {
    auto* h = static_cast<unaWaveHeader*>(header);
    h->hdr.dwFlags = 0;
    return waveInPrepareHeader(waveHandle(), &h->hdr, sizeof(WAVEHDR));
}

MMRESULT unaWaveInDevice::unprepareHeader(unaMsAcmDeviceHeader* header) {
    auto* h = static_cast<unaWaveHeader*>(header);
    return waveInUnprepareHeader(waveHandle(), &h->hdr, sizeof(WAVEHDR));
}

MMRESULT unaWaveInDevice::addBuffer(unaMsAcmDeviceHeader* header) {
    auto* h = static_cast<unaWaveHeader*>(header);
    return waveInAddBuffer(waveHandle(), &h->hdr, sizeof(WAVEHDR));
}

bool unaWaveInDevice::handleHeader(unaMsAcmDeviceHeader* header) {
    if (header) {
        auto* h = static_cast<unaWaveHeader*>(header);
        deliverChunk(h->hdr.lpData, h->hdr.dwBytesRecorded);
        if (queuedHeaders_.load() > 0)
            queuedHeaders_.fetch_sub(1);
    }
    return queueHeader(header);
}

bool unaWaveInDevice::queueHeader(unaMsAcmDeviceHeader* header) {
    if ((shouldStop() && !queueBeforeStart_) || queuedHeaders_.load() >= kMaxQueuedHeaders)
        return false;
    if (!header) {
        header = new unaWaveHeader(this, nullptr, chunkSize());
        addHeader(header);
        header->prepare();
    }
    header->rearm();
    if (addBuffer(header) == MMR_NOERROR) {
        queuedHeaders_.fetch_add(1);
        queueHeader(nullptr);
        return true;
    }
    return false;
}

// --- software device -------------------------------------------------------------------------

unaWaveSoftwareDevice::unaWaveSoftwareDevice(bool realTime, bool direct, bool mapped)
    : unaWaveDevice(WAVE_MAPPER, mapped, direct) {
    assignStream(true, new unaMemoryStream(), true);
    inOverNum.store(0);
    outOverNum.store(0);
    setRealTime(realTime);
}

unaWaveSoftwareDevice::~unaWaveSoftwareDevice() {
    shutdown();
    timer_.reset();
}

void unaWaveSoftwareDevice::setRealTime(bool value) {
    unaWaveDevice::setRealTime(value);
    timer_.reset();
    if (value) {
        timer_ = std::make_unique<unaMMTimer>(1000, 0);
        timer_->onTimer = [this](unaAbstractTimer*) {
            pendingTicks_.fetch_add(1);
            deviceEvent_.signal();
        };
        if (chunksPerSecond() > 0)
            timer_->setInterval(1000 / chunksPerSecond());
    }
}

bool unaWaveSoftwareDevice::setFormat(bool isSource, const std::string& packed) {
    if (!unaWaveDevice::setFormat(isSource, packed))
        return false;
    if (realTime() && timer_ && chunksPerSecond() > 0)
        timer_->setInterval(1000 / chunksPerSecond());
    return true;
}

MMRESULT unaWaveSoftwareDevice::prepareHeader(unaMsAcmDeviceHeader* header) {
    header->setFlag(WHDR_PREPARED, true);
    header->setFlag(WHDR_DONE, false);
    return MMR_NOERROR;
}

MMRESULT unaWaveSoftwareDevice::unprepareHeader(unaMsAcmDeviceHeader* header) {
    header->setFlag(WHDR_PREPARED, false);
    return MMR_NOERROR;
}

MMRESULT unaWaveSoftwareDevice::doOpen(uint32_t flags) {
    const MMRESULT result = unaWaveDevice::doOpen(flags);
    if (result == MMR_NOERROR && !(flags & WAVE_FORMAT_QUERY))
        handle_.store(1);
    return result;
}

MMRESULT unaWaveSoftwareDevice::afterOpen() {
    const MMRESULT result = unaWaveDevice::afterOpen();
    if (timer_) {
        pendingTicks_.store(0);
        timer_->start();
    }
    return result;
}

void unaWaveSoftwareDevice::afterClose(MMRESULT result) {
    unaWaveDevice::afterClose(result);
    if (timer_)
        timer_->stop();
}

bool unaWaveSoftwareDevice::handleHeader(unaMsAcmDeviceHeader*) {
    return !(realTime() && pendingTicks_.load() == 0);
}

void unaWaveSoftwareDevice::consumeTick() {
    if (realTime() && pendingTicks_.load() > 0)
        pendingTicks_.fetch_sub(1);
}
