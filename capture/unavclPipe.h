// Pipe components: non-visual components that own one stream device each and
// chain into one another.
//
// A pipe's consumer receives every block the pipe produces (onNewData, on the
// producing device's thread) while the consumer is active; onDataAvailable is
// raised for every block whether or not a consumer took it. With
// autoActivate, activating a pipe activates its consumer first, and
// deactivating it deactivates the consumer first. The consumer keeps the
// list of its providers.
//
// unavclInOutWavePipe adds the wave properties (device id, PCM format, over
// limits, ...) and owns its device, rebuilding it when a structural property
// changes.
//
// Threads:
//  - properties, activation, consumer links: main thread;
//  - onNewData, write into the consumer and onDataAvailable: the producing
//    device's thread. pipeGate is held while a block is passed on and while
//    the consumer link or the provider list changes, so a consumer cannot be
//    detached in the middle of a write. The device pointer is guarded by
//    deviceGate_, so a consumer may rebuild its device while a provider
//    writes into it. Set onDataAvailable and the dump file names before the
//    pipe becomes active.
#pragma once

#include "capture/TComponent.h"
#include "capture/unaMsAcmDevice.h"
#include "core/unaGate.h"
#include "platform/mmsystem.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class unaMsAcm;
class unaMsAcmDriver;

// The record one pipe hands to its consumer when formats are negotiated.
#pragma pack(push, 1)
struct WavePipeFormat {
    uint32_t formatTag;
    uint32_t samplesPerSec;
    uint32_t bitsPerSample;
    uint32_t channels;
    uint8_t reserved[12];
};
#pragma pack(pop)
static_assert(sizeof(WavePipeFormat) == 28, "pipe format record is 28 bytes");

class unavclInOutPipe;
using unavclPipeDataEvent =
    std::function<void(unavclInOutPipe* sender, const void* data, uint32_t len)>;

class unavclInOutPipe : public TComponent {
public:
    explicit unavclInOutPipe(TComponent* owner = nullptr);
    ~unavclInOutPipe() override;

    bool active();
    void setActive(bool value);
    bool open();
    void close() { setActive(false); }

    unavclInOutPipe* consumer() const { return consumer_.load(); }
    void setConsumer(unavclInOutPipe* value);

    std::string dumpInput() const;
    void setDumpInput(const std::string& name);
    std::string dumpOutput() const;
    void setDumpOutput(const std::string& name);

    std::atomic<bool> isFormatProvider{false};
    std::atomic<bool> autoActivate{true};
    unavclPipeDataEvent onDataAvailable;

    uint64_t inBytes() const { return inBytes_.load(); }
    uint64_t outBytes() const { return outBytes_.load(); }

    // Accepts a block from a provider (or anybody); bytes accepted.
    uint32_t write(const void* data, uint32_t len, unavclInOutPipe* provider = nullptr);
    uint32_t read(void* buffer, uint32_t size) { return doRead(buffer, size); }
    // Index 0: bytes waiting on the input side; any other index: output side.
    virtual uint32_t getAvailableDataLen(int32_t index) = 0;

    bool sendFormat(bool forceActive);
    void relinkProviders(unavclInOutPipe* pipe);
    uint32_t providerCount();
    unavclInOutPipe* provider(uint32_t index);

    virtual bool applyFormat(const void* record, uint32_t len, unavclInOutPipe* provider,
                             bool restoreActive);
    // Fills record; returns its length (0: none).
    virtual uint32_t getFormat(std::vector<uint8_t>& record);
    virtual bool addProvider(unavclInOutPipe* pipe);
    virtual bool removeProvider(unavclInOutPipe* pipe);

protected:
    virtual uint32_t doWrite(const void* data, uint32_t len, unavclInOutPipe* provider) = 0;
    virtual uint32_t doRead(void* buffer, uint32_t size) = 0;
    virtual bool doOpen() = 0;
    virtual void doClose() = 0;
    virtual bool isActive() = 0;
    virtual bool enter(uint32_t timeout) = 0;
    virtual void leave() = 0;
    // A block produced by this pipe's device (device thread).
    virtual bool onNewData(const void* data, uint32_t len, unavclInOutPipe* provider);

    void Loaded() override;
    void Notification(TComponent* component, Operation operation) override;
    // Deactivates and unlinks; the most derived destructor calls it while its
    // overrides still exist.
    void teardown();

    unaInProcessGate pipeGate_;

private:
    bool activeWish_ = false;
    std::atomic<unavclInOutPipe*> consumer_{nullptr};
    std::vector<unavclInOutPipe*> providers_; // not owned; guarded by pipeGate_
    std::atomic<uint64_t> inBytes_{0};
    std::atomic<uint64_t> outBytes_{0};
    mutable std::mutex dumpLock_;
    std::string dumpInput_, dumpOutput_;
    bool tornDown_ = false;
};

class unavclInOutWavePipe : public unavclInOutPipe {
public:
    explicit unavclInOutWavePipe(TComponent* owner = nullptr);
    ~unavclInOutWavePipe() override;

    int32_t deviceId() const { return deviceId_; }
    void setDeviceId(int32_t value);
    uint32_t formatTag() const { return formatTag_; }
    void setFormatTag(uint32_t value);
    bool formatTagImmunable = false;
    bool mapped() const { return mapped_; }
    virtual void setMapped(bool value);
    bool direct() const { return direct_; }
    virtual void setDirect(bool value);
    uint32_t overNum() const { return overNum_; }
    virtual void setOverNum(uint32_t value);
    bool realTime() const { return realTime_; }
    virtual void setRealTime(bool value);
    bool loop() const { return loop_; }
    virtual void setLoop(bool value);
    bool inputIsPcm() const { return inputIsPcm_; }
    virtual void setInputIsPcm(bool value);
    bool calcVolume() const { return calcVolume_; }
    virtual void setCalcVolume(bool value);

    // Indexed PCM properties: 0 rate, 1 bits, 2 channels (others read 0).
    uint32_t getPcmValue(uint32_t index) const;
    void setPcmValue(uint32_t index, uint32_t value);
    uint32_t pcm_SamplesPerSec() const { return getPcmValue(0); }
    void setPcm_SamplesPerSec(uint32_t v) { setPcmValue(0, v); }
    uint32_t pcm_BitsPerSample() const { return getPcmValue(1); }
    void setPcm_BitsPerSample(uint32_t v) { setPcmValue(1, v); }
    uint32_t pcm_NumChannels() const { return getPcmValue(2); }
    void setPcm_NumChannels(uint32_t v) { setPcmValue(2, v); }
    const WAVEFORMATEX& pcmFormat() const { return pcmFormat_; }

    unaMsAcm* acm() const { return acm_; }
    unaMsAcmDriver* driver() const { return driver_; }
    // The owned device (null until built). Main thread.
    unaMsAcmStreamDevice* streamDevice() const { return device_; }

    uint32_t getAvailableDataLen(int32_t index) override;
    bool applyFormat(const void* record, uint32_t len, unavclInOutPipe* provider,
                     bool restoreActive) override;
    uint32_t getFormat(std::vector<uint8_t>& record) override;
    bool addProvider(unavclInOutPipe* pipe) override;
    bool removeProvider(unavclInOutPipe* pipe) override;

    // Rebuilds the device and links it into the chain again.
    void reinitialize();

protected:
    uint32_t doWrite(const void* data, uint32_t len, unavclInOutPipe* provider) override;
    uint32_t doRead(void* buffer, uint32_t size) override;
    bool doOpen() override;
    void doClose() override;
    bool isActive() override;
    bool enter(uint32_t timeout) override;
    void leave() override;
    void Loaded() override;

    // Frees the device, then builds the descendant's one (newDevice).
    void createDevice();
    virtual unaMsAcmStreamDevice* newDevice() = 0;
    virtual bool applyDeviceFormat(const WAVEFORMATEX& format, bool isPcm) = 0;
    virtual void onDriverChanged() {}
    // Gives the device no output stream (true) or a fresh owned memory
    // stream (false).
    void setDeviceOutputNone(bool none);
    // Frees the device (descendant destructors, before their own teardown).
    void destroyDevice();

    WAVEFORMATEX pcmFormat_{};

private:
    int32_t deviceId_ = -1;
    uint32_t formatTag_ = 0;
    bool mapped_ = false, direct_ = false, realTime_ = false, loop_ = false;
    uint32_t overNum_ = 5;
    bool inputIsPcm_ = true;
    bool calcVolume_ = false;
    unaMsAcm* acm_;
    unaMsAcmDriver* driver_ = nullptr;
    unaMsAcmStreamDevice* device_ = nullptr; // owned; swapped under deviceGate_
    unaInProcessGate deviceGate_;
    std::vector<unaMsAcmStreamDevice*> entered_; // devices entered by activation (main thread)
};
