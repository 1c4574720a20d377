#include "platform/mmsystem.h"

#include <cstring>

void FillPcmFormat(WAVEFORMATEX& format, uint32_t samplesPerSec, uint16_t bitsPerSample,
                   uint16_t numChannels) {
    std::memset(&format, 0, sizeof(WAVEFORMATEX));
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = numChannels;
    format.nSamplesPerSec = samplesPerSec;
    format.wBitsPerSample = bitsPerSample;
    format.nBlockAlign = static_cast<uint16_t>((uint32_t(numChannels) * bitsPerSample) / 8);
    format.nAvgBytesPerSec = uint32_t(format.nBlockAlign) * samplesPerSec;
    format.cbSize = 0;
}

bool SameWaveFormat(const WAVEFORMATEX* a, const WAVEFORMATEX* b) {
    if (!a || !b)
        return false;
    if (a->wFormatTag != b->wFormatTag || a->nChannels != b->nChannels ||
        a->nSamplesPerSec != b->nSamplesPerSec || a->wBitsPerSample != b->wBitsPerSample)
        return false;
    if (a->wFormatTag == WAVE_FORMAT_PCM)
        return true;
    if (a->cbSize != b->cbSize)
        return false;
    // The extra bytes follow the record in the same allocation.
    return std::memcmp(reinterpret_cast<const uint8_t*>(a) + sizeof(WAVEFORMATEX),
                       reinterpret_cast<const uint8_t*>(b) + sizeof(WAVEFORMATEX), a->cbSize) == 0;
}
