// The two wave pipes the recorder's main window holds:
//  - TunavclWaveInDevice captures from a sound card through an
//    unaWaveInDevice;
//  - TunavclWaveRiff writes (isInput false) or reads (isInput true) a RIFF
//    WAVE file through an unaRiffStream.
//
// Recording to WAV: set the PCM format on both, set waveRiff's fileName (a
// new writer creates the file), activate waveIn (waveRiff opens first); the
// capture thread hands every chunk to waveRiff. Stop: close waveRiff (sizes
// are patched), then waveIn.
//
// Threads: main thread, except what unavclInOutPipe says about data flow.
#pragma once

#include "capture/unaRiffStream.h"
#include "capture/unaWaveDevice.h"
#include "capture/unavclPipe.h"

#include <string>

class TunavclWaveInDevice : public unavclInOutWavePipe {
public:
    explicit TunavclWaveInDevice(TComponent* owner = nullptr);
    ~TunavclWaveInDevice() override;

    // Read from the device when there is one, else the stored value.
    uint32_t minVolumeLevel() const;
    void setMinVolumeLevel(uint32_t value);
    uint32_t minActiveTime() const;
    void setMinActiveTime(uint32_t value);

    // The wave-in device (null until built).
    unaWaveInDevice* device() const { return dynamic_cast<unaWaveInDevice*>(streamDevice()); }

protected:
    unaMsAcmStreamDevice* newDevice() override;
    bool applyDeviceFormat(const WAVEFORMATEX& format, bool isPcm) override;

private:
    uint32_t minVolumeLevel_ = 0;
    uint32_t minActiveTime_ = 0;
};

class TunavclWaveRiff : public unavclInOutWavePipe {
public:
    explicit TunavclWaveRiff(TComponent* owner = nullptr);
    ~TunavclWaveRiff() override;

    bool isInput() const { return isInput_; }
    void setIsInput(bool value);
    const std::string& fileName() const { return fileName_; }
    // A writer: closes the pipe and builds a new writer on the name, which
    // creates (or opens) the file at once. A reader: parses the new file.
    void setFileName(const std::string& value);
    void setLoop(bool value) override;

    uint32_t getFormat(std::vector<uint8_t>& record) override;

    // The RIFF stream (null until built).
    unaRiffStream* device() const { return dynamic_cast<unaRiffStream*>(streamDevice()); }
    // The stream's status (see unaRiffStream), 2 without a device.
    int32_t riffStatus() const;
    // True once the current writer failed to write its file.
    bool writeFailed() const;

protected:
    unaMsAcmStreamDevice* newDevice() override;
    bool applyDeviceFormat(const WAVEFORMATEX& format, bool isPcm) override;

private:
    bool isInput_ = false;
    std::string fileName_;
};
