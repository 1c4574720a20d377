#include "capture/unavclPipe.h"

#include "capture/unaMsAcm.h"
#include "capture/unaWaveDevice.h"
#include "core/unaStream.h"
#include "core/unaUtils.h"

#include <algorithm>
#include <cstring>

// --- pipe --------------------------------------------------------------------------------

unavclInOutPipe::unavclInOutPipe(TComponent* owner) : TComponent(owner) {}

unavclInOutPipe::~unavclInOutPipe() {
    // Descendants have torn down already; this only covers a pipe whose
    // descendant did not.
    notifyRemoval();
}

void unavclInOutPipe::teardown() {
    if (tornDown_)
        return;
    tornDown_ = true;
    setActive(false);
    relinkProviders(nullptr);
    if (unavclInOutPipe* c = consumer()) {
        c->removeProvider(this);
        consumer_.store(nullptr);
    }
    notifyRemoval();
}

bool unavclInOutPipe::active() {
    if (isLoadingOrDesigning())
        return activeWish_;
    return isActive();
}

void unavclInOutPipe::setActive(bool value) {
    const bool loading = isLoadingOrDesigning();
    if (!enter(500))
        return;
    if (value != active()) {
        unavclInOutPipe* c = consumer();
        if (!loading && autoActivate.load() && c) {
            if (value)
                sendFormat(true);
            c->setActive(value);
        }
        if (value) {
            if (loading) {
                activeWish_ = true;
            } else {
                inBytes_.store(0);
                outBytes_.store(0);
                doOpen();
            }
        } else {
            if (loading)
                activeWish_ = false;
            else
                doClose();
        }
    }
    leave();
}

bool unavclInOutPipe::open() {
    setActive(true);
    return active();
}

void unavclInOutPipe::setConsumer(unavclInOutPipe* value) {
    if (value == this)
        return; // a pipe cannot feed itself
    unaGateGuard<unaInProcessGate> guard(pipeGate_);
    unavclInOutPipe* old = consumer();
    if (old == value)
        return;
    if (old)
        old->removeProvider(this);
    consumer_.store(value);
    if (value) {
        value->addProvider(this);
        freeNotification(value);
    }
}

std::string unavclInOutPipe::dumpInput() const {
    std::lock_guard<std::mutex> guard(dumpLock_);
    return dumpInput_;
}

void unavclInOutPipe::setDumpInput(const std::string& name) {
    std::lock_guard<std::mutex> guard(dumpLock_);
    dumpInput_ = name;
}

std::string unavclInOutPipe::dumpOutput() const {
    std::lock_guard<std::mutex> guard(dumpLock_);
    return dumpOutput_;
}

void unavclInOutPipe::setDumpOutput(const std::string& name) {
    std::lock_guard<std::mutex> guard(dumpLock_);
    dumpOutput_ = name;
}

uint32_t unavclInOutPipe::write(const void* data, uint32_t len, unavclInOutPipe* provider) {
    if (!data || len == 0)
        return 0;
    const uint32_t n = doWrite(data, len, provider);
    const std::string dump = dumpInput();
    if (!dump.empty())
        AppendToFile(dump, data, len);
    inBytes_ += n;
    return n;
}

bool unavclInOutPipe::onNewData(const void* data, uint32_t len, unavclInOutPipe* provider) {
    if (!data || len == 0)
        return false;
    {
        unaGateGuard<unaInProcessGate> guard(pipeGate_);
        unavclInOutPipe* c = consumer();
        if (c && c->active())
            c->write(data, len, provider);
    }
    const std::string dump = dumpOutput();
    if (!dump.empty())
        AppendToFile(dump, data, len);
    if (onDataAvailable)
        onDataAvailable(this, data, len);
    outBytes_ += len;
    return true;
}

bool unavclInOutPipe::sendFormat(bool forceActive) {
    bool ok = (forceActive || active()) && isFormatProvider.load();
    unavclInOutPipe* c = consumer();
    if (ok && c) {
        std::vector<uint8_t> record;
        const uint32_t length = getFormat(record);
        ok = c->applyFormat(record.data(), length, this, !forceActive);
    }
    return ok;
}

bool unavclInOutPipe::applyFormat(const void* record, uint32_t len, unavclInOutPipe* provider,
                                  bool restoreActive) {
    unavclInOutPipe* c = consumer();
    if (isFormatProvider.load() && c)
        return c->applyFormat(record, len, provider, restoreActive);
    return true;
}

uint32_t unavclInOutPipe::getFormat(std::vector<uint8_t>& record) {
    record.clear();
    return 0;
}

void unavclInOutPipe::relinkProviders(unavclInOutPipe* pipe) {
    unaGateGuard<unaInProcessGate> guard(pipeGate_);
    // Each change alters the list, so start over until every provider points
    // at pipe (a provider cannot become its own consumer: it is dropped).
    for (;;) {
        unavclInOutPipe* next = nullptr;
        for (unavclInOutPipe* p : providers_)
            if (p->consumer() != pipe) {
                next = p;
                break;
            }
        if (!next)
            return;
        if (next == pipe) {
            providers_.erase(std::remove(providers_.begin(), providers_.end(), next),
                             providers_.end());
            continue;
        }
        next->setConsumer(pipe);
        // A provider that still points elsewhere has left the list.
        if (next->consumer() != pipe)
            providers_.erase(std::remove(providers_.begin(), providers_.end(), next),
                             providers_.end());
    }
}

uint32_t unavclInOutPipe::providerCount() {
    unaGateGuard<unaInProcessGate> guard(pipeGate_);
    return uint32_t(providers_.size());
}

unavclInOutPipe* unavclInOutPipe::provider(uint32_t index) {
    unaGateGuard<unaInProcessGate> guard(pipeGate_);
    return index < providers_.size() ? providers_[index] : nullptr;
}

bool unavclInOutPipe::addProvider(unavclInOutPipe* pipe) {
    if (!pipe)
        return false;
    unaGateGuard<unaInProcessGate> guard(pipeGate_);
    if (std::find(providers_.begin(), providers_.end(), pipe) != providers_.end())
        return false;
    providers_.push_back(pipe);
    return true;
}

bool unavclInOutPipe::removeProvider(unavclInOutPipe* pipe) {
    unaGateGuard<unaInProcessGate> guard(pipeGate_);
    auto it = std::find(providers_.begin(), providers_.end(), pipe);
    if (it == providers_.end())
        return false;
    providers_.erase(it);
    return true;
}

void unavclInOutPipe::Loaded() {
    TComponent::Loaded();
    if (activeWish_)
        setActive(true);
}

void unavclInOutPipe::Notification(TComponent* component, Operation operation) {
    TComponent::Notification(component, operation);
    if (operation != opRemove)
        return;
    unaGateGuard<unaInProcessGate> guard(pipeGate_);
    if (component == consumer())
        consumer_.store(nullptr);
    providers_.erase(std::remove(providers_.begin(), providers_.end(), component),
                     providers_.end());
}

// --- wave pipe ---------------------------------------------------------------------------

unavclInOutWavePipe::unavclInOutWavePipe(TComponent* owner)
    : unavclInOutPipe(owner), acm_(AcmRegistry()) {
    setFormatTag(WAVE_FORMAT_PCM);
    FillPcmFormat(pcmFormat_, 44100, 16, 2);
}

unavclInOutWavePipe::~unavclInOutWavePipe() {
    teardown();
    destroyDevice();
}

void unavclInOutWavePipe::destroyDevice() {
    unaMsAcmStreamDevice* old;
    {
        unaGateGuard<unaInProcessGate> guard(deviceGate_);
        old = device_;
        device_ = nullptr;
    }
    delete old; // stops its thread and closes it
}

void unavclInOutWavePipe::createDevice() {
    destroyDevice();
    unaMsAcmStreamDevice* fresh = newDevice();
    if (fresh)
        fresh->onChunk = [this](unaMsAcmStreamDevice*, const void* data, uint32_t len) {
            onNewData(data, len, this);
        };
    unaGateGuard<unaInProcessGate> guard(deviceGate_);
    device_ = fresh;
}

void unavclInOutWavePipe::reinitialize() {
    createDevice();
    applyDeviceFormat(pcmFormat_, inputIsPcm_);
    if (consumer())
        setDeviceOutputNone(true);
    relinkProviders(this);
}

void unavclInOutWavePipe::setDeviceOutputNone(bool none) {
    unaGateGuard<unaInProcessGate> guard(deviceGate_);
    if (!device_)
        return;
    if (none)
        device_->assignStream(false, nullptr, false);
    else
        device_->assignStream(false, new unaMemoryStream(), true);
}

void unavclInOutWavePipe::Loaded() {
    reinitialize();
    unavclInOutPipe::Loaded();
}

void unavclInOutWavePipe::setDeviceId(int32_t value) {
    if (value == deviceId_)
        return;
    deviceId_ = value;
    reinitialize();
}

void unavclInOutWavePipe::setFormatTag(uint32_t value) {
    if (value == formatTag_)
        return;
    formatTag_ = value;
    unaMsAcmDriver* d = acm_ ? acm_->getDriverByFormatTag(value) : nullptr;
    if (d != driver_) {
        driver_ = d;
        onDriverChanged();
    }
}

void unavclInOutWavePipe::setMapped(bool value) {
    mapped_ = value;
    unaGateGuard<unaInProcessGate> guard(deviceGate_);
    if (auto* w = dynamic_cast<unaWaveDevice*>(device_))
        w->mapped.store(value);
}

void unavclInOutWavePipe::setDirect(bool value) {
    direct_ = value;
    unaGateGuard<unaInProcessGate> guard(deviceGate_);
    if (auto* w = dynamic_cast<unaWaveDevice*>(device_))
        w->direct.store(value);
}

void unavclInOutWavePipe::setOverNum(uint32_t value) {
    overNum_ = value;
    unaGateGuard<unaInProcessGate> guard(deviceGate_);
    if (device_) {
        device_->inOverNum.store(value);
        device_->outOverNum.store(value);
    }
}

void unavclInOutWavePipe::setRealTime(bool value) {
    realTime_ = value;
    unaGateGuard<unaInProcessGate> guard(deviceGate_);
    if (device_)
        device_->setRealTime(value);
}

void unavclInOutWavePipe::setLoop(bool value) {
    loop_ = value;
}

void unavclInOutWavePipe::setInputIsPcm(bool value) {
    if (value == inputIsPcm_)
        return;
    inputIsPcm_ = value;
    reinitialize();
}

void unavclInOutWavePipe::setCalcVolume(bool value) {
    calcVolume_ = value;
    unaGateGuard<unaInProcessGate> guard(deviceGate_);
    if (device_)
        device_->setCalcVolume(value);
}

uint32_t unavclInOutWavePipe::getPcmValue(uint32_t index) const {
    switch (index) {
    case 0:
        return pcmFormat_.nSamplesPerSec;
    case 1:
        return pcmFormat_.wBitsPerSample;
    case 2:
        return pcmFormat_.nChannels;
    default:
        return 0;
    }
}

void unavclInOutWavePipe::setPcmValue(uint32_t index, uint32_t value) {
    uint32_t rate = pcmFormat_.nSamplesPerSec;
    uint16_t bits = pcmFormat_.wBitsPerSample;
    uint16_t channels = pcmFormat_.nChannels;
    switch (index) {
    case 0:
        rate = value;
        break;
    case 1:
        bits = uint16_t(value);
        break;
    case 2:
        channels = uint16_t(value);
        break;
    default:
        break;
    }
    FillPcmFormat(pcmFormat_, rate, bits, channels);
    applyDeviceFormat(pcmFormat_, inputIsPcm_);
}

uint32_t unavclInOutWavePipe::doWrite(const void* data, uint32_t len, unavclInOutPipe*) {
    unaGateGuard<unaInProcessGate> guard(deviceGate_);
    return device_ ? device_->write(data, len) : 0;
}

uint32_t unavclInOutWavePipe::doRead(void* buffer, uint32_t size) {
    unaGateGuard<unaInProcessGate> guard(deviceGate_);
    return device_ ? device_->readOutput(buffer, size) : 0;
}

uint32_t unavclInOutWavePipe::getAvailableDataLen(int32_t index) {
    unaGateGuard<unaInProcessGate> guard(deviceGate_);
    return device_ ? device_->getDataAvailable(index == 0) : 0;
}

bool unavclInOutWavePipe::doOpen() {
    unaMsAcmStreamDevice* d = device_;
    return d && d->open(false, 10000, 0) == MMR_NOERROR;
}

void unavclInOutWavePipe::doClose() {
    if (unaMsAcmStreamDevice* d = device_)
        d->close(10000);
}

bool unavclInOutWavePipe::isActive() {
    unaGateGuard<unaInProcessGate> guard(deviceGate_);
    return device_ && device_->isOpen();
}

bool unavclInOutWavePipe::enter(uint32_t timeout) {
    unaMsAcmStreamDevice* d = device_;
    if (d && !d->enter(timeout))
        return false;
    entered_.push_back(d);
    return true;
}

void unavclInOutWavePipe::leave() {
    if (entered_.empty())
        return;
    unaMsAcmStreamDevice* d = entered_.back();
    entered_.pop_back();
    if (d)
        d->leave();
}

uint32_t unavclInOutWavePipe::getFormat(std::vector<uint8_t>& record) {
    WavePipeFormat f{};
    f.formatTag = formatTag_;
    f.samplesPerSec = pcmFormat_.nSamplesPerSec;
    f.bitsPerSample = pcmFormat_.wBitsPerSample;
    f.channels = pcmFormat_.nChannels;
    record.assign(reinterpret_cast<const uint8_t*>(&f),
                  reinterpret_cast<const uint8_t*>(&f) + sizeof f);
    return sizeof f;
}

bool unavclInOutWavePipe::applyFormat(const void* record, uint32_t len, unavclInOutPipe* provider,
                                      bool restoreActive) {
    if (!unavclInOutPipe::applyFormat(record, len, provider, restoreActive))
        return false;
    if (!record || len < 4)
        return true;
    // Fields the record does not reach read as 0.
    WavePipeFormat f{};
    std::memcpy(&f, record, std::min<size_t>(len, sizeof f));
    const bool wasActive = active();
    close();
    if (!formatTagImmunable)
        setFormatTag(f.formatTag);
    FillPcmFormat(pcmFormat_, f.samplesPerSec, uint16_t(f.bitsPerSample), uint16_t(f.channels));
    const bool result = applyDeviceFormat(pcmFormat_, inputIsPcm_);
    if (wasActive || restoreActive)
        open();
    return result;
}

bool unavclInOutWavePipe::addProvider(unavclInOutPipe* pipe) {
    const bool added = unavclInOutPipe::addProvider(pipe);
    if (added)
        if (auto* w = dynamic_cast<unavclInOutWavePipe*>(pipe))
            w->setDeviceOutputNone(true);
    return added;
}

bool unavclInOutWavePipe::removeProvider(unavclInOutPipe* pipe) {
    const bool removed = unavclInOutPipe::removeProvider(pipe);
    if (auto* w = dynamic_cast<unavclInOutWavePipe*>(pipe))
        w->setDeviceOutputNone(false);
    // What the provider wrote so far goes on its way now (a paused
    // recording keeps nothing waiting in memory).
    if (removed) {
        unaGateGuard<unaInProcessGate> guard(deviceGate_);
        if (device_)
            device_->wakeForInput();
    }
    return removed;
}
