#include "capture/WaveHeader.h"

#include <cstring>

namespace wave_header {

void putU32(uint8_t* p, uint32_t v) {
    std::memcpy(p, &v, 4); // little-endian machine, little-endian file
}

void putU64(uint8_t* p, uint64_t v) {
    std::memcpy(p, &v, 8);
}

uint32_t getU32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

uint64_t getU64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

Image build(const WAVEFORMATEX& format) {
    Image h{};
    std::memcpy(&h[0], "RIFF", 4);
    std::memcpy(&h[8], "WAVEJUNK", 8);
    putU32(&h[16], kDs64DataSize);
    std::memcpy(&h[kFmtPos], "fmt ", 4);
    putU32(&h[kFmtPos + 4], 16);
    std::memcpy(&h[kFmtPos + 8], &format, 16);
    std::memcpy(&h[kDataSizePos - 4], "data", 4);
    setSizes(h, 0, format.nBlockAlign);
    return h;
}

void setSizes(Image& h, uint64_t dataBytes, uint32_t blockAlign) {
    const uint64_t riff = uint64_t(kSize) - 8 + dataBytes;
    if (riff <= UINT32_MAX && !isRf64(h)) {
        putU32(&h[kRiffSizePos], uint32_t(riff));
        putU32(&h[kDataSizePos], uint32_t(dataBytes));
        return;
    }
    // Once RF64, always RF64: a file only grows while it is written.
    std::memcpy(&h[0], "RF64", 4);
    putU32(&h[kRiffSizePos], kNoSize32);
    std::memcpy(&h[kJunkPos], "ds64", 4);
    putU32(&h[kJunkPos + 4], kDs64DataSize);
    putU64(&h[kJunkPos + 8], riff);
    putU64(&h[kJunkPos + 16], dataBytes);
    putU64(&h[kJunkPos + 24], blockAlign ? dataBytes / blockAlign : dataBytes);
    putU32(&h[kJunkPos + 32], 0); // no table
    putU32(&h[kDataSizePos], kNoSize32);
}

bool isRf64(const Image& h) {
    return std::memcmp(&h[0], "RF64", 4) == 0;
}

} // namespace wave_header
