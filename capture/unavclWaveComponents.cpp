#include "capture/unavclWaveComponents.h"

// --- wave-in pipe ----------------------------------------------------------------------

TunavclWaveInDevice::TunavclWaveInDevice(TComponent* owner) : unavclInOutWavePipe(owner) {}

TunavclWaveInDevice::~TunavclWaveInDevice() {
    teardown();
    destroyDevice();
}

unaMsAcmStreamDevice* TunavclWaveInDevice::newDevice() {
    auto* d = new unaWaveInDevice(deviceId(), mapped(), direct(), overNum());
    d->setCalcVolume(calcVolume());
    d->setMinVolumeLevel(minVolumeLevel_);
    d->minActiveTime.store(minActiveTime_);
    return d;
}

bool TunavclWaveInDevice::applyDeviceFormat(const WAVEFORMATEX& format, bool) {
    unaWaveInDevice* d = device();
    return d && d->setPcmFormat(format.nSamplesPerSec, format.wBitsPerSample, format.nChannels);
}

uint32_t TunavclWaveInDevice::minVolumeLevel() const {
    const unaWaveInDevice* d = device();
    return d ? d->minVolumeLevel() : minVolumeLevel_;
}

void TunavclWaveInDevice::setMinVolumeLevel(uint32_t value) {
    minVolumeLevel_ = value;
    if (unaWaveInDevice* d = device())
        d->setMinVolumeLevel(value);
}

uint32_t TunavclWaveInDevice::minActiveTime() const {
    const unaWaveInDevice* d = device();
    return d ? d->minActiveTime.load() : minActiveTime_;
}

void TunavclWaveInDevice::setMinActiveTime(uint32_t value) {
    minActiveTime_ = value;
    if (unaWaveInDevice* d = device())
        d->minActiveTime.store(value);
}

// --- RIFF pipe ---------------------------------------------------------------------------

TunavclWaveRiff::TunavclWaveRiff(TComponent* owner) : unavclInOutWavePipe(owner) {
    setIsInput(true);
    fileName_.clear();
}

TunavclWaveRiff::~TunavclWaveRiff() {
    teardown();
    destroyDevice();
}

void TunavclWaveRiff::setIsInput(bool value) {
    if (value == isInput_)
        return;
    isInput_ = value;
    reinitialize();
}

void TunavclWaveRiff::setLoop(bool value) {
    unavclInOutWavePipe::setLoop(value);
    if (unaRiffStream* d = device())
        d->loop.store(value);
}

unaMsAcmStreamDevice* TunavclWaveRiff::newDevice() {
    if (isInput_)
        return new unaRiffStream(fileName_, realTime(), loop(), acm());
    return new unaRiffStream(fileName_, pcmFormat_, formatTag(), acm());
}

bool TunavclWaveRiff::applyDeviceFormat(const WAVEFORMATEX&, bool) {
    if (isInput_)
        return false; // a reader takes its format from the file
    createDevice();
    return true;
}

void TunavclWaveRiff::setFileName(const std::string& value) {
    if (value == fileName_)
        return;
    fileName_ = value;
    unaRiffStream* d = device();
    if (!d)
        return;
    if (isInput_) {
        d->openRiffFile(value);
    } else {
        setActive(false);
        createDevice();
    }
}

uint32_t TunavclWaveRiff::getFormat(std::vector<uint8_t>& record) {
    const uint32_t length = unavclInOutWavePipe::getFormat(record);
    if (!isInput_)
        return length;
    WavePipeFormat f{};
    f.formatTag = formatTag();
    f.samplesPerSec = 44100;
    f.bitsPerSample = 16;
    f.channels = 2;
    WAVEFORMATEX dst{};
    if (unaRiffStream* d = device())
        if (d->riffStatus() == unaRiffStream::rsReady && d->getFormat(false, dst)) {
            f.samplesPerSec = dst.nSamplesPerSec;
            f.bitsPerSample = dst.wBitsPerSample;
            f.channels = dst.nChannels;
        }
    record.assign(reinterpret_cast<const uint8_t*>(&f),
                  reinterpret_cast<const uint8_t*>(&f) + sizeof f);
    return sizeof f;
}

int32_t TunavclWaveRiff::riffStatus() const {
    const unaRiffStream* d = device();
    return d ? d->riffStatus() : int32_t(unaRiffStream::rsWriterNoFile);
}

bool TunavclWaveRiff::writeFailed() const {
    const unaRiffStream* d = device();
    return d && d->writeFailed();
}
