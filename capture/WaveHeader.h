// The header of the WAV files the recorder writes, and its sizes.
//
// Layout (80 bytes, little-endian): "RIFF" size "WAVE"; a 28-byte "JUNK"
// chunk kept free for the 64-bit sizes; "fmt " 16 and the PCM format record;
// "data" size, then the samples. While the sizes fit 32 bits the file is a
// plain RIFF WAVE file (readers skip the JUNK chunk). Once the RIFF size no
// longer fits, the file becomes RF64: the id "RIFF" turns into "RF64", the
// JUNK chunk into a "ds64" chunk holding the RIFF size, the data size and the
// sample-frame count, and both 32-bit size fields read 0xFFFFFFFF.
//
// Plain functions on a byte image: no thread concerns.
#pragma once

#include "platform/mmsystem.h"

#include <array>
#include <cstdint>

namespace wave_header {

inline constexpr uint32_t kSize = 80;         // bytes before the samples
inline constexpr uint32_t kRiffSizePos = 4;   // u32 RIFF size
inline constexpr uint32_t kJunkPos = 12;      // "JUNK" / "ds64" chunk
inline constexpr uint32_t kDs64DataSize = 28; // bytes of a ds64 chunk without table
inline constexpr uint32_t kFmtPos = 48;       // "fmt " chunk
inline constexpr uint32_t kDataSizePos = 76;  // u32 data size
inline constexpr uint32_t kNoSize32 = 0xFFFFFFFFu;

using Image = std::array<uint8_t, kSize>;

// The header of an empty recording in the given PCM format.
Image build(const WAVEFORMATEX& format);

// Writes the sizes for `dataBytes` sample bytes into the image, switching it
// to RF64 when the RIFF size (kSize - 8 + dataBytes) does not fit 32 bits.
// blockAlign gives the ds64 frame count (0 counts bytes).
void setSizes(Image& image, uint64_t dataBytes, uint32_t blockAlign);

// True when setSizes made the image an RF64 header.
bool isRf64(const Image& image);

void putU32(uint8_t* p, uint32_t v);
void putU64(uint8_t* p, uint64_t v);
uint32_t getU32(const uint8_t* p);
uint64_t getU64(const uint8_t* p);

} // namespace wave_header
