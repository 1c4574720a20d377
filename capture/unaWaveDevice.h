// Wave devices: the buffer loop shared by every wave device, the wave-in
// capture device and the software device that has no hardware behind it.
//
// unaWaveDevice::execute is the buffer loop, run on the device's own thread:
// it sleeps on deviceEvent without a time-out until the operating system
// completes a buffer, new input is written, a pacing tick comes or stop is
// asked, then picks the completed headers in the order they were queued and
// hands each one to handleHeader. One pass of the loop (runPass) runs under
// loopMutex_, so a device may also run passes on another thread.
//
// unaWaveInDevice records from a capture device through the platform's
// wave-in service. Up to 20 buffers of one chunk each are queued at once
// (about two seconds of sound), so a busy consumer loses nothing. Chunks go
// to onChunk and the output stream; quiet chunks may be dropped (silence
// suppression with minVolumeLevel / minActiveTime). While recording, the
// pass runs on the platform's capture thread as soon as it completes a
// buffer: the chunk reaches the consumers without a second thread waking
// for it. Before the start, after a stop is asked, or while a pass is
// already running, the completion wakes the device thread as before.
//
// unaWaveSoftwareDevice produces or consumes sound in software, optionally
// paced in real time by an unaMMTimer: each timer tick allows one chunk.
//
// Threads: as for unaMsAcmStreamDevice. minVolumeLevel and minActiveTime may
// be changed at any time by the controlling thread.
#pragma once

#include "capture/unaMMTimer.h"
#include "capture/unaMsAcmDevice.h"
#include "platform/audio/WaveIn.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

// A buffer header carrying one WAVEHDR and its buffer.
class unaWaveHeader : public unaMsAcmDeviceHeader {
public:
    // Allocates size bytes (copied from data when given).
    unaWaveHeader(unaMsAcmStreamDevice* device, const void* data, uint32_t size);
    ~unaWaveHeader() override;

    bool isFlagSet(uint32_t mask) const override { return (waveHeaderFlags(hdr) & mask) != 0; }
    void setFlag(uint32_t mask, bool on) override;
    void rearm() override;
    bool isDone() const override;
    bool isInQueue() const override;

    WAVEHDR hdr{};
};

class unaWaveDevice : public unaMsAcmStreamDevice {
public:
    unaWaveDevice(int32_t deviceId, bool mapped, bool direct)
        : mapped(mapped), direct(direct), deviceId_(deviceId) {}

    // Flags 0 become CALLBACK_EVENT plus the mapped, direct and query bits.
    MMRESULT open(bool query = false, uint32_t timeout = 10000, uint32_t flags = 0) override;
    // FillPcmFormat, then sets the primary format.
    bool setPcmFormat(uint32_t rate, uint16_t bits, uint16_t channels);

    int32_t deviceId() const { return deviceId_; }
    std::atomic<bool> mapped;
    std::atomic<bool> direct;

protected:
    int32_t execute() override;
    // Picks and handles completed headers until handleHeader asks for no
    // more or a stop is asked (loopMutex_ held by the caller).
    void runPass();
    // Any thread, from stop: wakes the buffer loop.
    void onStopRequested() override;
    virtual MMRESULT addBuffer(unaMsAcmDeviceHeader* header) = 0;
    // Gets the picked header (or none); true asks for another pass at once.
    virtual bool handleHeader(unaMsAcmDeviceHeader* header) {
        (void)header;
        return true;
    }

    const int32_t deviceId_;
    // One pass of the buffer loop at a time, on whichever thread runs it.
    std::mutex loopMutex_;
};

class unaWaveInDevice : public unaWaveDevice {
public:
    static constexpr uint32_t kMaxQueuedHeaders = 20;

    unaWaveInDevice(int32_t deviceId = WAVE_MAPPER, bool mapped = false, bool direct = false,
                    uint32_t overNum = 0);
    ~unaWaveInDevice() override;

    bool primaryFormatIsSource() const override { return false; }
    std::string getErrorText(MMRESULT code) override;
    const char* className() const override { return "unaWaveInDevice"; }

    // Non-zero turns silence suppression (and volume measurement) on; 0
    // turns it off and restores the volume measurement chosen last (before
    // the level, or by setCalcVolume while the level was on).
    void setMinVolumeLevel(uint32_t level);
    // While a level is set, measurement stays on for the suppression and the
    // value is remembered as the choice the level's end restores.
    void setCalcVolume(bool value) override;
    uint32_t minVolumeLevel() const { return minVolumeLevel_.load(); }
    std::atomic<uint32_t> minActiveTime{100};
    bool isSilent() const { return isSilent_.load(); }
    const WAVEINCAPS& caps() const { return caps_; }
    MMRESULT capsResult() const { return capsResult_; }
    // Whether the open device was lost (unplugged, its source removed, the
    // sound server gone): capture has ended for good and only a close is
    // left to do. False while nothing is open. Any thread.
    bool deviceLost() const;

    MMRESULT prepareHeader(unaMsAcmDeviceHeader* header) override;
    MMRESULT unprepareHeader(unaMsAcmDeviceHeader* header) override;
    // Queues the header (a new one for none) and tops the queue up to 20.
    bool queueHeader(unaMsAcmDeviceHeader* header);

protected:
    void onThreadStart() override;
    void onThreadEnd() override;
    void returnQueuedHeaders() override { onThreadEnd(); }
    MMRESULT doOpen(uint32_t flags) override;
    MMRESULT doClose(uint32_t timeout) override;
    bool checkChunk(const void* data, uint32_t length) override;
    MMRESULT afterOpen() override;
    MMRESULT addBuffer(unaMsAcmDeviceHeader* header) override;
    bool handleHeader(unaMsAcmDeviceHeader* header) override;

    HWAVEIN waveHandle() const { return reinterpret_cast<HWAVEIN>(handle_.load()); }

private:
    // The wave-in service's signal (its capture thread, or the thread that
    // stops or closes the device): runs a pass right here while recording,
    // else wakes the device thread.
    void onWaveInSignal();

    // Set once capture has started, cleared on close (controlling thread).
    std::atomic<bool> deliverInline_{false};
    WAVEINCAPS caps_{};
    MMRESULT capsResult_ = MMR_NOERROR;
    std::atomic<uint32_t> minVolumeLevel_{0};
    bool levelSavedCalcVolume_ = false; // controlling thread
    // Silence state: the buffer loop only (atomic so that observers may read).
    uint32_t silenceStart_ = 0;
    std::atomic<bool> isSilent_{false};
    bool queueBeforeStart_ = false; // set by afterOpen (controlling thread)
};

class unaWaveSoftwareDevice : public unaWaveDevice {
public:
    explicit unaWaveSoftwareDevice(bool realTime = false, bool direct = false, bool mapped = false);
    ~unaWaveSoftwareDevice() override;

    bool primaryFormatIsSource() const override { return true; }
    void setRealTime(bool value) override;
    bool setFormat(bool isSource, const std::string& packed) override;
    using unaMsAcmStreamDevice::setFormat;
    const char* className() const override { return "unaWaveSoftwareDevice"; }

    MMRESULT prepareHeader(unaMsAcmDeviceHeader* header) override;
    MMRESULT unprepareHeader(unaMsAcmDeviceHeader* header) override;

    int32_t pendingTicks() const { return pendingTicks_.load(); }
    unaMMTimer* timer() { return timer_.get(); }

protected:
    MMRESULT doOpen(uint32_t flags) override;
    MMRESULT afterOpen() override;
    void afterClose(MMRESULT result) override;
    MMRESULT addBuffer(unaMsAcmDeviceHeader*) override { return MMR_NOERROR; }
    // Refuses work while paced and no tick is pending.
    bool handleHeader(unaMsAcmDeviceHeader* header) override;
    // New input wakes the buffer loop at once.
    void onInputWritten() override { deviceEvent_.signal(); }
    // Uses one pending tick (paced devices).
    void consumeTick();

    std::atomic<int32_t> pendingTicks_{0};

private:
    std::unique_ptr<unaMMTimer> timer_;
};
