// unaMsAcmCodec: a stream device that converts compressed sound (A-law,
// mu-law, IMA ADPCM, ...) to PCM through one driver of the platform's
// compression manager. The RIFF reader uses it for compressed WAV files.
//
// Use: create it for a driver, setSourceFormat (the destination becomes the
// PCM format the driver suggests), open, write compressed bytes, read PCM
// with readOutput / getDataAvailable, close. Conversion runs inside write(),
// on the writer's thread, in whole source blocks; a partial block waits in
// the input stream for the rest of its bytes.
//
// Threads: one thread writes and reads (the reader's device thread); open and
// close run on the controlling thread while nobody writes.
#pragma once

#include "capture/unaMsAcmDevice.h"
#include "platform/acm/Acm.h"

#include <vector>

class unaMsAcmCodec : public unaMsAcmStreamDevice {
public:
    explicit unaMsAcmCodec(HACMDRIVERID driver);
    ~unaMsAcmCodec() override;

    // Stores the compressed source format and the PCM format the driver
    // decodes it to. False when the driver cannot decode it.
    bool setSourceFormat(const WAVEFORMATEX* source);
    // With query only checks that the conversion is possible.
    MMRESULT open(bool query = false, uint32_t timeout = 10000, uint32_t flags = 0) override;

    bool primaryFormatIsSource() const override { return true; }
    const char* className() const override { return "unaMsAcmCodec"; }
    // Conversion runs in write(): the codec starts no thread.
    bool runsThread() const override { return false; }
    // PCM bytes one source chunk decodes to (known once open).
    uint32_t dstChunkSize() const { return dstChunkSize_; }
    HACMDRIVERID driver() const { return driverId_; }

    MMRESULT prepareHeader(unaMsAcmDeviceHeader*) override { return MMR_NOERROR; }
    MMRESULT unprepareHeader(unaMsAcmDeviceHeader*) override { return MMR_NOERROR; }

protected:
    int32_t execute() override { return 0; } // never started
    MMRESULT doOpen(uint32_t flags) override;
    MMRESULT doClose(uint32_t timeout) override;
    MMRESULT afterOpen() override;
    void onInputWritten() override { convert(); }

private:
    void convert();
    void release();

    HACMDRIVERID driverId_;
    HACMDRIVER driver_ = nullptr;
    HACMSTREAM stream_ = nullptr;
    ACMSTREAMHEADER header_{};
    bool headerPrepared_ = false;
    std::vector<uint8_t> src_, dst_;
    uint32_t dstChunkSize_ = 0;
    uint32_t srcBlock_ = 1;
    unaInProcessGate convertGate_;
};
