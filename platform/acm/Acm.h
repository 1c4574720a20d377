// Compression manager service: the audio codecs of this system as drivers
// with details and format tags, and stream conversion from a compressed
// format to PCM.
//
// Drivers, in enumeration order:
//   - the PCM converter (manufacturer 1, product 38): PCM to PCM, 8/16 bit,
//     1/2 channels, same rate;
//   - the G.711 decoder: A-law (tag 6) and mu-law (tag 7) to 16-bit PCM;
//   - the IMA ADPCM decoder (tag 0x11, 4 bits per sample, blocks of
//     nBlockAlign bytes, cbSize 2 with the samples per block) to 16-bit PCM.
// Every driver also lists PCM among its format tags, since it converts to it.
//
// Handles: an HACMDRIVERID names a driver for the whole run; acmDriverOpen
// gives an HACMDRIVER that must be closed; a stream from acmStreamOpen must be
// closed with acmStreamClose. Threads: any thread; one stream is used by one
// thread at a time.
#pragma once

#include "platform/mmsystem.h"

#include <cstdint>
#include <functional>

inline constexpr uint16_t WAVE_FORMAT_ALAW = 6;
inline constexpr uint16_t WAVE_FORMAT_MULAW = 7;
inline constexpr uint16_t WAVE_FORMAT_IMA_ADPCM = 0x11;

// IMA ADPCM format record: the wave format plus the samples per block.
#pragma pack(push, 1)
struct IMAADPCMWAVEFORMAT {
    WAVEFORMATEX wfx; // cbSize = 2
    uint16_t wSamplesPerBlock;
};
#pragma pack(pop)
static_assert(sizeof(IMAADPCMWAVEFORMAT) == 20, "IMA ADPCM format record is 20 bytes");

struct AcmDriver;
struct AcmDriverHandle;
struct AcmStream;
using HACMDRIVERID = const AcmDriver*;
using HACMDRIVER = AcmDriverHandle*;
using HACMSTREAM = AcmStream*;

// A driver by id, an open driver, or none (all drivers).
struct AcmObject {
    AcmObject() = default;
    AcmObject(std::nullptr_t) {}
    AcmObject(HACMDRIVERID id) : driverId(id) {}
    AcmObject(HACMDRIVER driver) : driver(driver) {}
    HACMDRIVERID driverId = nullptr;
    HACMDRIVER driver = nullptr;
};

enum : uint32_t {
    ACMDRIVERDETAILS_SUPPORTF_CODEC = 0x1,
    ACMDRIVERDETAILS_SUPPORTF_CONVERTER = 0x2,
};

struct ACMDRIVERDETAILS {
    uint32_t cbStruct;
    uint32_t fccType; // 'audc'
    uint32_t fccComp;
    uint16_t wMid;
    uint16_t wPid;
    uint32_t vdwACM;
    uint32_t vdwDriver;
    uint32_t fdwSupport;
    uint32_t cFormatTags;
    uint32_t cFilterTags;
    char szShortName[32];
    char szLongName[128];
    char szCopyright[80];
    char szLicensing[128];
    char szFeatures[512];
};

struct ACMFORMATTAGDETAILS {
    uint32_t cbStruct;
    uint32_t dwFormatTagIndex;
    uint32_t dwFormatTag;
    uint32_t cbFormatSize; // bytes of the largest format record of this tag
    uint32_t fdwSupport;
    uint32_t cStandardFormats;
    char szFormatTag[48];
};

// Stream header: the caller's source and destination buffers.
struct ACMSTREAMHEADER {
    uint32_t cbStruct;
    uint32_t fdwStatus; // ACMSTREAMHEADER_STATUSF_*
    uint8_t* pbSrc;
    uint32_t cbSrcLength;
    uint32_t cbSrcLengthUsed;
    uint8_t* pbDst;
    uint32_t cbDstLength;
    uint32_t cbDstLengthUsed;
};

enum : uint32_t {
    ACMSTREAMHEADER_STATUSF_DONE = 0x00010000,
    ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000,
};

enum : uint32_t {
    ACM_METRIC_COUNT_DRIVERS = 1,
    ACM_METRIC_MAX_SIZE_FORMAT = 50,
};

enum : uint32_t {
    ACM_STREAMOPENF_QUERY = 0x1,
    ACM_STREAMSIZEF_SOURCE = 0x0,      // given source bytes, how many destination bytes
    ACM_STREAMSIZEF_DESTINATION = 0x1, // given destination bytes, how many source bytes
    ACM_STREAMCONVERTF_BLOCKALIGN = 0x4,
    ACM_STREAMCONVERTF_START = 0x10,
    ACM_STREAMCONVERTF_END = 0x20,
    ACM_FORMATSUGGESTF_WFORMATTAG = 0x10000,
};

// Version of the service: 0x04000000 (4.0).
uint32_t acmGetVersion();

// Calls back once per driver in enumeration order until it returns false.
MMRESULT acmDriverEnum(const std::function<bool(HACMDRIVERID id, uint32_t support)>& callback,
                       uint32_t flags);
MMRESULT acmDriverDetailsA(HACMDRIVERID id, ACMDRIVERDETAILS* details, uint32_t flags);
MMRESULT acmDriverOpen(HACMDRIVER* driver, HACMDRIVERID id, uint32_t flags);
MMRESULT acmDriverClose(HACMDRIVER driver, uint32_t flags);
// The id an open driver was opened from (null for null).
HACMDRIVERID acmDriverId(HACMDRIVER driver);

// Calls back once per format tag of an open driver (all drivers for null)
// until it returns false.
MMRESULT acmFormatTagEnumA(
    HACMDRIVER driver,
    const std::function<bool(HACMDRIVERID id, const ACMFORMATTAGDETAILS& tag)>& callback,
    uint32_t flags);

// ACM_METRIC_COUNT_DRIVERS (object none) and ACM_METRIC_MAX_SIZE_FORMAT.
// MMR_NOTSUPPORTED for another metric, MMR_INVALPARAM without a value.
MMRESULT acmMetrics(AcmObject object, uint32_t metric, uint32_t* value);

// The largest format record size the metrics report for the object; 0 when
// the query fails.
uint32_t maxFormatSize(AcmObject object = nullptr);

// Fills dst (dstSize bytes) with the PCM format a driver (any for null)
// decodes src to: 16-bit PCM of src's rate and channels (src's own bits for
// PCM). MMR_ACM_NOTPOSSIBLE when no driver takes src.
MMRESULT acmFormatSuggest(HACMDRIVER driver, const WAVEFORMATEX* src, WAVEFORMATEX* dst,
                          uint32_t dstSize, uint32_t flags);

// Opens a conversion from src to dst (dst must be PCM). With
// ACM_STREAMOPENF_QUERY only checks it (stream may be null).
// MMR_ACM_NOTPOSSIBLE when the driver (any for null) cannot do it.
MMRESULT acmStreamOpen(HACMSTREAM* stream, HACMDRIVER driver, const WAVEFORMATEX* src,
                       const WAVEFORMATEX* dst, uint32_t flags);
MMRESULT acmStreamClose(HACMSTREAM stream, uint32_t flags);
// Size of the other side for `input` bytes, in whole source blocks.
// MMR_ACM_NOTPOSSIBLE when the result would be 0.
MMRESULT acmStreamSize(HACMSTREAM stream, uint32_t input, uint32_t* output, uint32_t flags);
MMRESULT acmStreamPrepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, uint32_t flags);
MMRESULT acmStreamUnprepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, uint32_t flags);
// Converts whole source blocks from pbSrc while they fit into pbDst; sets
// cbSrcLengthUsed, cbDstLengthUsed and ACMSTREAMHEADER_STATUSF_DONE.
// MMR_ACM_UNPREPARED for an unprepared header.
MMRESULT acmStreamConvert(HACMSTREAM stream, ACMSTREAMHEADER* header, uint32_t flags);
