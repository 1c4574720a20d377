// Shared multimedia types and result codes of the platform layer.
//
// The audio services above this layer (wave-in, audio output, mixer,
// compression manager) speak in these records and codes; the capture, mixer
// and encoder layers store and compare them. Plain data only: any thread.
#pragma once

#include <cstdint>

// Result codes of every device, mixer and compression call (0 = success).
using MMRESULT = uint32_t;

enum : MMRESULT {
    MMR_NOERROR = 0,
    MMR_ERROR = 1,
    MMR_BADDEVICEID = 2,
    MMR_NOTENABLED = 3,
    MMR_ALLOCATED = 4,
    MMR_INVALHANDLE = 5,
    MMR_NODRIVER = 6,
    MMR_NOMEM = 7,
    MMR_NOTSUPPORTED = 8,
    MMR_BADERRNUM = 9,
    MMR_INVALFLAG = 10,
    MMR_INVALPARAM = 11,
    MMR_HANDLEBUSY = 12, // also the device layer's own lock and confirmation time-outs
    MMR_BADFORMAT = 32,
    MMR_STILLPLAYING = 33,
    MMR_UNPREPARED = 34,
    MMR_SYNC = 35,
    MMR_ACM_NOTPOSSIBLE = 512,
    MMR_ACM_BUSY = 513,
    MMR_ACM_UNPREPARED = 514,
    MMR_ACM_CANCELED = 515,
    MMR_MIXER_INVALLINE = 1024,
    MMR_MIXER_INVALCONTROL = 1025,
    MMR_MIXER_INVALVALUE = 1026,
};

inline constexpr uint16_t WAVE_FORMAT_PCM = 1;

// The wave format record, byte for byte as stored in WAV files and passed as
// text between objects: 18 bytes, followed by cbSize extra bytes for formats
// other than PCM.
#pragma pack(push, 1)
struct WAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
};
#pragma pack(pop)

static_assert(sizeof(WAVEFORMATEX) == 18, "wave format record is 18 bytes");

// Bytes a format record occupies when packed: 16 for PCM (no cbSize field),
// 18 + cbSize otherwise.
inline uint32_t waveFormatRecordSize(const WAVEFORMATEX& f) {
    return f.wFormatTag == WAVE_FORMAT_PCM ? 16u : 18u + f.cbSize;
}

// Builds a PCM record: clears the 18 bytes, then tag 1, the given channels,
// rate and bits; nBlockAlign = channels * bits / 8 (truncated to 16 bits),
// nAvgBytesPerSec = nBlockAlign * rate, cbSize 0.
void FillPcmFormat(WAVEFORMATEX& format, uint32_t samplesPerSec, uint16_t bitsPerSample,
                   uint16_t numChannels);

// False when either is missing; otherwise true when tag, channels, rate and
// bits agree and, for a tag other than PCM, cbSize and every extra byte too.
bool SameWaveFormat(const WAVEFORMATEX* a, const WAVEFORMATEX* b);
