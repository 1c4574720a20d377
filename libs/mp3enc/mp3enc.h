// Interface of the MP3 encoder library the recorder loads at run time
// (mp3enc.so beside the program).
//
// The program fills a BE_CONFIG record, opens a stream with beInitStream,
// feeds it one chunk of 16-bit interleaved PCM per beEncodeChunk call, then
// finishes it with beDeinitStream (the final bytes) and beCloseStream. The
// record is byte-for-byte the 331-byte packed little-endian layout older
// callers and stored configurations use, so every offset is pinned below.
//
// Threads: the library keeps a process-wide table of streams under its own
// lock, so different streams may be used from different threads at once; one
// stream must be used by one thread at a time (the caller serialises it).
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Results of every entry point but beVersion; 0 is success.
typedef uint32_t BE_ERR;
enum {
    BE_ERR_SUCCESSFUL = 0,
    BE_ERR_INVALID_FORMAT = 1,            // dwConfig or dwStructSize is not this layout
    BE_ERR_INVALID_FORMAT_PARAMETERS = 2, // a rate, bit rate, mode or option LAME refuses
    BE_ERR_NO_MORE_HANDLES = 3,           // out of memory or stream handles
    BE_ERR_INVALID_HANDLE = 4,            // unknown stream handle or null argument
    BE_ERR_BUFFER_TOO_SMALL = 5,          // more samples than one chunk in one call
};

// dwConfig value of the record layout below.
enum { BE_CONFIG_LAME = 256 };

// nMode values.
enum {
    BE_MP3_MODE_STEREO = 0,
    BE_MP3_MODE_JSTEREO = 1,
    BE_MP3_MODE_DUALCHANNEL = 2,
    BE_MP3_MODE_MONO = 3
};

// nVbrMethod values.
enum {
    VBR_METHOD_NONE = -1,
    VBR_METHOD_DEFAULT = 0,
    VBR_METHOD_OLD = 1,
    VBR_METHOD_NEW = 2,
    VBR_METHOD_MTRH = 3,
    VBR_METHOD_ABR = 4
};

// nPreset value for "no preset".
enum { LQP_NOPRESET = -1 };

typedef int32_t BE_BOOL; // 0 false, any other value true

#pragma pack(push, 1)
typedef struct BE_CONFIG {
    uint32_t dwConfig;        // BE_CONFIG_LAME
    uint32_t dwStructVersion; // 1
    uint32_t dwStructSize;    // sizeof(BE_CONFIG), 331
    uint32_t dwSampleRate;    // input rate, Hz
    uint32_t dwReSampleRate;  // output rate, Hz; 0 keeps the input rate
    int32_t nMode;            // BE_MP3_MODE_*
    uint32_t dwBitrate;       // kbit/s; constant rate, or the VBR minimum
    uint32_t dwMaxBitrate;    // kbit/s; VBR maximum
    int32_t nPreset;          // LQP_NOPRESET or a LAME preset number
    uint32_t dwMpegVersion;   // informational: the MPEG version follows the output rate
    uint32_t dwPsyModel;      // informational
    uint32_t dwEmphasis;      // 0 none, 1 50/15 ms, 3 CCITT J.17
    BE_BOOL bPrivate;
    BE_BOOL bCRC;
    BE_BOOL bCopyright;
    BE_BOOL bOriginal;
    BE_BOOL bWriteVBRHeader; // reserve a VBR info frame, written later by beWriteVBRHeader
                             // (a VBR stream always reserves one)
    BE_BOOL bEnableVBR;
    int32_t nVBRQuality;   // 0 best .. 9 smallest
    uint32_t dwVbrAbr_bps; // average-rate target with VBR_METHOD_ABR, bit/s
    int32_t nVbrMethod;    // VBR_METHOD_*
    BE_BOOL bNoRes;        // disable the bit reservoir
    BE_BOOL bStrictIso;
    uint16_t nQuality; // 0 the library's default; else 0..9 in the low byte, see mp3enc.cpp
    uint8_t btReserved[237];
} BE_CONFIG;

// What beVersion fills in; the program keeps it but reads nothing from it.
typedef struct BE_VERSION {
    uint8_t byDLLMajorVersion; // this library
    uint8_t byDLLMinorVersion;
    uint8_t byMajorVersion; // the encoding engine
    uint8_t byMinorVersion;
    uint8_t byDay; // build date
    uint8_t byMonth;
    uint16_t wYear;
    char zDescription[129]; // zero-terminated text naming the library and engine
    uint8_t byAlphaLevel;
    uint8_t byBetaLevel;
    uint8_t byMMXEnabled;
    uint8_t btReserved[125];
} BE_VERSION;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(BE_CONFIG) == 331, "BE_CONFIG is 331 bytes");
static_assert(offsetof(BE_CONFIG, dwConfig) == 0);
static_assert(offsetof(BE_CONFIG, dwStructVersion) == 4);
static_assert(offsetof(BE_CONFIG, dwStructSize) == 8);
static_assert(offsetof(BE_CONFIG, dwSampleRate) == 12);
static_assert(offsetof(BE_CONFIG, dwReSampleRate) == 16);
static_assert(offsetof(BE_CONFIG, nMode) == 20);
static_assert(offsetof(BE_CONFIG, dwBitrate) == 24);
static_assert(offsetof(BE_CONFIG, dwMaxBitrate) == 28);
static_assert(offsetof(BE_CONFIG, nPreset) == 32);
static_assert(offsetof(BE_CONFIG, dwMpegVersion) == 36);
static_assert(offsetof(BE_CONFIG, dwPsyModel) == 40);
static_assert(offsetof(BE_CONFIG, dwEmphasis) == 44);
static_assert(offsetof(BE_CONFIG, bPrivate) == 48);
static_assert(offsetof(BE_CONFIG, bCRC) == 52);
static_assert(offsetof(BE_CONFIG, bCopyright) == 56);
static_assert(offsetof(BE_CONFIG, bOriginal) == 60);
static_assert(offsetof(BE_CONFIG, bWriteVBRHeader) == 64);
static_assert(offsetof(BE_CONFIG, bEnableVBR) == 68);
static_assert(offsetof(BE_CONFIG, nVBRQuality) == 72);
static_assert(offsetof(BE_CONFIG, dwVbrAbr_bps) == 76);
static_assert(offsetof(BE_CONFIG, nVbrMethod) == 80);
static_assert(offsetof(BE_CONFIG, bNoRes) == 84);
static_assert(offsetof(BE_CONFIG, bStrictIso) == 88);
static_assert(offsetof(BE_CONFIG, nQuality) == 92);
static_assert(offsetof(BE_CONFIG, btReserved) == 94);
static_assert(sizeof(BE_VERSION) == 265, "the version block is 265 bytes");
static_assert(offsetof(BE_VERSION, wYear) == 6);
static_assert(offsetof(BE_VERSION, zDescription) == 8);
static_assert(offsetof(BE_VERSION, btReserved) == 140);
#endif

// Entry points, looked up by these names. Stream handles are plain numbers;
// 0xFFFFFFFF is never a valid one.
typedef BE_ERR (*BEINITSTREAM)(BE_CONFIG* config, uint32_t* samplesPerChunk,
                               uint32_t* outBufferSize, uint32_t* stream);
typedef BE_ERR (*BEENCODECHUNK)(uint32_t stream, uint32_t sampleCount, const int16_t* samples,
                                uint8_t* output, uint32_t* outputBytes);
typedef BE_ERR (*BEDEINITSTREAM)(uint32_t stream, uint8_t* output, uint32_t* outputBytes);
typedef BE_ERR (*BECLOSESTREAM)(uint32_t stream);
typedef void (*BEVERSION)(BE_VERSION* version);
typedef BE_ERR (*BEWRITEVBRHEADER)(const char* mp3FileName);

#define TEXT_BEINITSTREAM "beInitStream"
#define TEXT_BEENCODECHUNK "beEncodeChunk"
#define TEXT_BEDEINITSTREAM "beDeinitStream"
#define TEXT_BECLOSESTREAM "beCloseStream"
#define TEXT_BEVERSION "beVersion"
#define TEXT_BEWRITEVBRHEADER "beWriteVBRHeader"

#ifdef __cplusplus
}
#endif
