#include "platform/acm/AcmCodecs.h"

#include <algorithm>

namespace {

const int16_t kImaSteps[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

const int8_t kImaIndex[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

struct ImaChannel {
    int predictor;
    int index;

    int16_t decode(uint8_t nibble) {
        const int step = kImaSteps[index];
        int diff = step >> 3;
        if (nibble & 1)
            diff += step >> 2;
        if (nibble & 2)
            diff += step >> 1;
        if (nibble & 4)
            diff += step;
        predictor += (nibble & 8) ? -diff : diff;
        predictor = std::clamp(predictor, -32768, 32767);
        index = std::clamp(index + kImaIndex[nibble], 0, 88);
        return int16_t(predictor);
    }
};

} // namespace

int16_t alawToLinear(uint8_t a) {
    a ^= 0x55;
    int t = (a & 0x0F) << 4;
    const int seg = (a & 0x70) >> 4;
    if (seg == 0)
        t += 8;
    else
        t = (t + 0x108) << (seg - 1);
    return int16_t((a & 0x80) ? t : -t);
}

int16_t mulawToLinear(uint8_t u) {
    u = uint8_t(~u);
    int t = ((u & 0x0F) << 3) + 0x84;
    t <<= (u & 0x70) >> 4;
    return int16_t((u & 0x80) ? (0x84 - t) : (t - 0x84));
}

uint32_t imaSamplesPerBlock(uint32_t blockAlign, uint32_t channels) {
    if (channels == 0 || channels > 2 || blockAlign <= 4 * channels)
        return 0;
    const uint32_t data = blockAlign - 4 * channels;
    if (data % (4 * channels) != 0)
        return 0;
    return data * 2 / channels + 1;
}

void imaDecodeBlock(const uint8_t* block, uint32_t blockAlign, uint32_t channels, int16_t* out) {
    const uint32_t spb = imaSamplesPerBlock(blockAlign, channels);
    ImaChannel ch[2] = {};
    for (uint32_t c = 0; c < channels; ++c) {
        const uint8_t* h = block + 4 * c;
        ch[c].predictor = int16_t(h[0] | h[1] << 8);
        ch[c].index = std::min<int>(h[2], 88);
        out[c] = int16_t(ch[c].predictor);
    }
    // Then groups of 4 bytes per channel in turn; each byte holds two samples,
    // the low nibble first.
    const uint8_t* p = block + 4 * channels;
    for (uint32_t s = 1; s < spb; s += 8) {
        for (uint32_t c = 0; c < channels; ++c) {
            for (uint32_t k = 0; k < 4; ++k) {
                const uint8_t b = *p++;
                out[(s + 2 * k) * channels + c] = ch[c].decode(b & 0x0F);
                out[(s + 2 * k + 1) * channels + c] = ch[c].decode(b >> 4);
            }
        }
    }
}

void convertPcm(const uint8_t* src, uint32_t srcBits, uint32_t srcChannels, uint8_t* dst,
                uint32_t dstBits, uint32_t dstChannels, size_t frames) {
    auto read = [&](size_t frame, uint32_t c) -> int {
        if (srcBits == 8)
            return (int(src[frame * srcChannels + c]) - 128) << 8;
        const uint8_t* s = src + (frame * srcChannels + c) * 2;
        return int16_t(s[0] | s[1] << 8);
    };
    for (size_t f = 0; f < frames; ++f) {
        int v[2];
        if (srcChannels == dstChannels) {
            v[0] = read(f, 0);
            v[1] = srcChannels == 2 ? read(f, 1) : 0;
        } else if (srcChannels == 2) {
            v[0] = (read(f, 0) + read(f, 1)) / 2;
        } else {
            v[0] = v[1] = read(f, 0);
        }
        for (uint32_t c = 0; c < dstChannels; ++c) {
            if (dstBits == 8) {
                // Round to the nearest 8-bit step.
                *dst++ = uint8_t(std::clamp((v[c] + 128) >> 8, -128, 127) + 128);
            } else {
                *dst++ = uint8_t(v[c] & 0xFF);
                *dst++ = uint8_t((v[c] >> 8) & 0xFF);
            }
        }
    }
}
