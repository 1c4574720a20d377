// The sample codecs behind the compression manager's drivers: G.711 A-law
// and mu-law expansion, IMA ADPCM block decoding, and PCM to PCM conversion
// (8/16 bit, mono/stereo). Pure functions over caller buffers.
//
// Threads: any; no state.
#pragma once

#include <cstddef>
#include <cstdint>

int16_t alawToLinear(uint8_t a);
int16_t mulawToLinear(uint8_t u);

// Samples per channel in one IMA ADPCM block of `blockAlign` bytes; 0 when
// the block cannot hold the per-channel headers and whole 4-byte groups.
uint32_t imaSamplesPerBlock(uint32_t blockAlign, uint32_t channels);

// Decodes one block (blockAlign bytes) into samplesPerBlock x channels
// interleaved 16-bit samples. A header with a step index above 88 is clamped
// to 88 (such a block is damaged, not dangerous).
void imaDecodeBlock(const uint8_t* block, uint32_t blockAlign, uint32_t channels, int16_t* out);

// Converts `frames` frames of PCM (8 or 16 bit, 1 or 2 channels) between
// layouts: stereo to mono averages, mono to stereo duplicates.
void convertPcm(const uint8_t* src, uint32_t srcBits, uint32_t srcChannels, uint8_t* dst,
                uint32_t dstBits, uint32_t dstChannels, size_t frames);
