// The compression manager: a fixed list of drivers, open-driver and stream
// handles (validated against a registry so stale handles are refused), and
// whole-block conversion through the codecs of AcmCodecs.
#include "platform/acm/Acm.h"

#include "platform/acm/AcmCodecs.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

enum class AcmKind { Pcm, G711, Ima };

struct AcmFormatTag {
    uint16_t tag;
    uint32_t formatSize;
    const char* name;
};

struct AcmDriver {
    AcmKind kind;
    uint16_t mid;
    uint16_t pid;
    uint32_t support;
    const char* shortName;
    const char* longName;
    std::vector<AcmFormatTag> tags;
};

struct AcmDriverHandle {
    HACMDRIVERID id;
};

struct AcmStream {
    const AcmDriver* driver;
    WAVEFORMATEX src;
    WAVEFORMATEX dst;
    uint32_t srcBlock; // bytes of one source block
    uint32_t dstBlock; // bytes one source block decodes to
    uint32_t ima = 0;  // IMA samples per block
};

namespace {

const AcmDriver kDrivers[] = {
    {AcmKind::Pcm,
     1,
     38,
     ACMDRIVERDETAILS_SUPPORTF_CONVERTER,
     "PCM Converter",
     "Sonvale PCM format converter",
     {{WAVE_FORMAT_PCM, 16, "PCM"}}},
    {AcmKind::G711,
     0xFF,
     2,
     ACMDRIVERDETAILS_SUPPORTF_CODEC,
     "G.711",
     "Sonvale G.711 A-law and mu-law decoder",
     {{WAVE_FORMAT_PCM, 16, "PCM"},
      {WAVE_FORMAT_ALAW, 18, "CCITT A-Law"},
      {WAVE_FORMAT_MULAW, 18, "CCITT u-Law"}}},
    {AcmKind::Ima,
     0xFF,
     3,
     ACMDRIVERDETAILS_SUPPORTF_CODEC,
     "IMA ADPCM",
     "Sonvale IMA ADPCM decoder",
     {{WAVE_FORMAT_PCM, 16, "PCM"}, {WAVE_FORMAT_IMA_ADPCM, 20, "IMA ADPCM"}}},
};

std::mutex g_mutex;
std::set<AcmDriverHandle*> g_drivers; // guarded by g_mutex
std::set<AcmStream*> g_streams;       // guarded by g_mutex

bool knownId(HACMDRIVERID id) {
    for (const AcmDriver& d : kDrivers) {
        if (&d == id)
            return true;
    }
    return false;
}

bool validDriver(HACMDRIVER h) {
    std::lock_guard lock(g_mutex);
    return h && g_drivers.count(h);
}

bool validStream(HACMSTREAM s) {
    std::lock_guard lock(g_mutex);
    return s && g_streams.count(s);
}

// Registers a new live handle and hands it out.
template <typename T> MMRESULT addHandle(std::set<T*>& live, T* h, T** out) {
    std::lock_guard lock(g_mutex);
    live.insert(h);
    *out = h;
    return MMR_NOERROR;
}

// Frees a live handle; an unknown or closed one is refused.
template <typename T> MMRESULT closeHandle(std::set<T*>& live, T* h) {
    {
        std::lock_guard lock(g_mutex);
        if (!h || !live.erase(h))
            return MMR_INVALHANDLE;
    }
    delete h;
    return MMR_NOERROR;
}

void copyText(char* field, size_t size, const char* text) {
    std::memset(field, 0, size);
    std::strncpy(field, text, size - 1);
}

uint32_t maxTagSize(const AcmDriver& d) {
    uint32_t m = 0;
    for (const auto& t : d.tags)
        m = std::max(m, t.formatSize);
    return m;
}

bool pcmShape(const WAVEFORMATEX& f) {
    return f.wFormatTag == WAVE_FORMAT_PCM && (f.nChannels == 1 || f.nChannels == 2) &&
           (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) && f.nSamplesPerSec > 0 &&
           f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8;
}

// Checks that `driver` converts src to dst and fills the stream's sizes.
MMRESULT plan(const AcmDriver& driver, const WAVEFORMATEX* src, const WAVEFORMATEX& dst,
              AcmStream& s) {
    const bool sameChannels = src->nChannels == dst.nChannels;
    if (!pcmShape(dst) || src->nSamplesPerSec != dst.nSamplesPerSec ||
        (!sameChannels && driver.kind != AcmKind::Pcm))
        return MMR_ACM_NOTPOSSIBLE;
    s.driver = &driver;
    s.src = *src;
    s.dst = dst;
    switch (driver.kind) {
    case AcmKind::Pcm:
        if (!pcmShape(*src))
            return MMR_ACM_NOTPOSSIBLE;
        s.srcBlock = src->nBlockAlign;
        s.dstBlock = dst.nBlockAlign;
        return MMR_NOERROR;
    case AcmKind::G711:
        if ((src->wFormatTag != WAVE_FORMAT_ALAW && src->wFormatTag != WAVE_FORMAT_MULAW) ||
            src->wBitsPerSample != 8 || (src->nChannels != 1 && src->nChannels != 2) ||
            src->nBlockAlign != src->nChannels || dst.wBitsPerSample != 16)
            return MMR_ACM_NOTPOSSIBLE;
        s.srcBlock = src->nChannels;
        s.dstBlock = dst.nBlockAlign;
        return MMR_NOERROR;
    case AcmKind::Ima: {
        if (src->wFormatTag != WAVE_FORMAT_IMA_ADPCM || src->wBitsPerSample != 4 ||
            dst.wBitsPerSample != 16)
            return MMR_ACM_NOTPOSSIBLE;
        const uint32_t spb = imaSamplesPerBlock(src->nBlockAlign, src->nChannels);
        if (spb == 0)
            return MMR_ACM_NOTPOSSIBLE;
        // The record's own samples per block, when present, must agree.
        if (src->cbSize >= 2) {
            const auto* ima = reinterpret_cast<const IMAADPCMWAVEFORMAT*>(src);
            if (ima->wSamplesPerBlock != spb)
                return MMR_ACM_NOTPOSSIBLE;
        }
        s.ima = spb;
        s.srcBlock = src->nBlockAlign;
        s.dstBlock = spb * dst.nBlockAlign;
        return MMR_NOERROR;
    }
    }
    return MMR_ACM_NOTPOSSIBLE;
}

const AcmDriver* driverFor(uint16_t tag) {
    for (const AcmDriver& d : kDrivers) {
        if (d.kind == AcmKind::Pcm && tag != WAVE_FORMAT_PCM)
            continue;
        for (const auto& t : d.tags) {
            if (t.tag == tag && (tag != WAVE_FORMAT_PCM || d.kind == AcmKind::Pcm))
                return &d;
        }
    }
    return nullptr;
}

} // namespace

uint32_t acmGetVersion() {
    return 0x04000000;
}

MMRESULT acmDriverEnum(const std::function<bool(HACMDRIVERID, uint32_t)>& callback, uint32_t) {
    if (!callback)
        return MMR_INVALPARAM;
    for (const AcmDriver& d : kDrivers) {
        if (!callback(&d, d.support))
            break;
    }
    return MMR_NOERROR;
}

MMRESULT acmDriverDetailsA(HACMDRIVERID id, ACMDRIVERDETAILS* details, uint32_t) {
    if (!details || !knownId(id))
        return details ? MMR_INVALHANDLE : MMR_INVALPARAM;
    std::memset(details, 0, sizeof *details);
    details->cbStruct = sizeof *details;
    details->fccType = 'a' | 'u' << 8 | 'd' << 16 | uint32_t('c') << 24;
    details->wMid = id->mid;
    details->wPid = id->pid;
    details->vdwACM = acmGetVersion();
    details->vdwDriver = 0x01000000;
    details->fdwSupport = id->support;
    details->cFormatTags = uint32_t(id->tags.size());
    copyText(details->szShortName, sizeof details->szShortName, id->shortName);
    copyText(details->szLongName, sizeof details->szLongName, id->longName);
    copyText(details->szCopyright, sizeof details->szCopyright, "Part of Sonvale");
    return MMR_NOERROR;
}

MMRESULT acmDriverOpen(HACMDRIVER* driver, HACMDRIVERID id, uint32_t) {
    if (!driver)
        return MMR_INVALPARAM;
    if (!knownId(id))
        return MMR_INVALHANDLE;
    return addHandle(g_drivers, new AcmDriverHandle{id}, driver);
}

MMRESULT acmDriverClose(HACMDRIVER driver, uint32_t) {
    return closeHandle(g_drivers, driver);
}

HACMDRIVERID acmDriverId(HACMDRIVER driver) {
    return validDriver(driver) ? driver->id : nullptr;
}

MMRESULT
acmFormatTagEnumA(HACMDRIVER driver,
                  const std::function<bool(HACMDRIVERID, const ACMFORMATTAGDETAILS&)>& callback,
                  uint32_t) {
    if (!callback)
        return MMR_INVALPARAM;
    if (driver && !validDriver(driver))
        return MMR_INVALHANDLE;
    for (const AcmDriver& d : kDrivers) {
        if (driver && driver->id != &d)
            continue;
        for (uint32_t i = 0; i < d.tags.size(); ++i) {
            ACMFORMATTAGDETAILS t{};
            t.cbStruct = sizeof t;
            t.dwFormatTagIndex = i;
            t.dwFormatTag = d.tags[i].tag;
            t.cbFormatSize = d.tags[i].formatSize;
            t.fdwSupport = d.support;
            t.cStandardFormats = d.tags[i].tag == WAVE_FORMAT_PCM ? 4 : 2;
            copyText(t.szFormatTag, sizeof t.szFormatTag, d.tags[i].name);
            if (!callback(&d, t))
                return MMR_NOERROR;
        }
    }
    return MMR_NOERROR;
}

MMRESULT acmMetrics(AcmObject object, uint32_t metric, uint32_t* value) {
    if (!value)
        return MMR_INVALPARAM;
    HACMDRIVERID id = object.driverId;
    if (object.driver) {
        if (!validDriver(object.driver))
            return MMR_INVALHANDLE;
        id = object.driver->id;
    } else if (id && !knownId(id)) {
        return MMR_INVALHANDLE;
    }
    switch (metric) {
    case ACM_METRIC_COUNT_DRIVERS:
        if (id)
            return MMR_NOTSUPPORTED;
        *value = uint32_t(std::size(kDrivers));
        return MMR_NOERROR;
    case ACM_METRIC_MAX_SIZE_FORMAT:
        if (id) {
            *value = maxTagSize(*id);
        } else {
            *value = 0;
            for (const AcmDriver& d : kDrivers)
                *value = std::max(*value, maxTagSize(d));
        }
        return MMR_NOERROR;
    default:
        return MMR_NOTSUPPORTED;
    }
}

uint32_t maxFormatSize(AcmObject object) {
    uint32_t size = 0;
    return acmMetrics(object, ACM_METRIC_MAX_SIZE_FORMAT, &size) == MMR_NOERROR ? size : 0;
}

MMRESULT acmFormatSuggest(HACMDRIVER driver, const WAVEFORMATEX* src, WAVEFORMATEX* dst,
                          uint32_t dstSize, uint32_t) {
    if (!src || !dst || dstSize < 16)
        return MMR_INVALPARAM;
    if (driver && !validDriver(driver))
        return MMR_INVALHANDLE;
    const AcmDriver* d = driver ? driver->id : driverFor(src->wFormatTag);
    if (!d)
        return MMR_ACM_NOTPOSSIBLE;
    WAVEFORMATEX pcm;
    FillPcmFormat(pcm, src->nSamplesPerSec,
                  src->wFormatTag == WAVE_FORMAT_PCM ? src->wBitsPerSample : 16, src->nChannels);
    AcmStream probe{};
    if (plan(*d, src, pcm, probe) != MMR_NOERROR)
        return MMR_ACM_NOTPOSSIBLE;
    std::memcpy(dst, &pcm, std::min<uint32_t>(dstSize, sizeof pcm));
    return MMR_NOERROR;
}

MMRESULT acmStreamOpen(HACMSTREAM* stream, HACMDRIVER driver, const WAVEFORMATEX* src,
                       const WAVEFORMATEX* dst, uint32_t flags) {
    const bool query = flags & ACM_STREAMOPENF_QUERY;
    if (!src || !dst || (!stream && !query))
        return MMR_INVALPARAM;
    if (driver && !validDriver(driver))
        return MMR_INVALHANDLE;
    const AcmDriver* d = driver ? driver->id : driverFor(src->wFormatTag);
    if (!d)
        return MMR_ACM_NOTPOSSIBLE;
    AcmStream s{};
    if (MMRESULT r = plan(*d, src, *dst, s))
        return r;
    if (query)
        return MMR_NOERROR;
    return addHandle(g_streams, new AcmStream(s), stream);
}

MMRESULT acmStreamClose(HACMSTREAM stream, uint32_t) {
    return closeHandle(g_streams, stream);
}

MMRESULT acmStreamSize(HACMSTREAM stream, uint32_t input, uint32_t* output, uint32_t flags) {
    if (!output)
        return MMR_INVALPARAM;
    if (!validStream(stream))
        return MMR_INVALHANDLE;
    uint64_t result = flags == ACM_STREAMSIZEF_DESTINATION
                          ? uint64_t(input / stream->dstBlock) * stream->srcBlock
                          : uint64_t(input / stream->srcBlock) * stream->dstBlock;
    if (result == 0 || result > UINT32_MAX)
        return MMR_ACM_NOTPOSSIBLE;
    *output = uint32_t(result);
    return MMR_NOERROR;
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, uint32_t) {
    if (!validStream(stream))
        return MMR_INVALHANDLE;
    if (!header || !header->pbSrc || !header->pbDst)
        return MMR_INVALPARAM;
    header->fdwStatus |= ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMR_NOERROR;
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, uint32_t) {
    if (!validStream(stream))
        return MMR_INVALHANDLE;
    if (!header)
        return MMR_INVALPARAM;
    if (!(header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED))
        return MMR_ACM_UNPREPARED;
    header->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM stream, ACMSTREAMHEADER* header, uint32_t) {
    if (!validStream(stream))
        return MMR_INVALHANDLE;
    if (!header)
        return MMR_INVALPARAM;
    if (!(header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED))
        return MMR_ACM_UNPREPARED;
    const AcmStream& s = *stream;
    const uint32_t blocks =
        std::min(header->cbSrcLength / s.srcBlock, header->cbDstLength / s.dstBlock);
    const uint8_t* in = header->pbSrc;
    uint8_t* out = header->pbDst;
    switch (s.driver->kind) {
    case AcmKind::Pcm:
        convertPcm(in, s.src.wBitsPerSample, s.src.nChannels, out, s.dst.wBitsPerSample,
                   s.dst.nChannels, blocks);
        break;
    case AcmKind::G711: {
        const bool alaw = s.src.wFormatTag == WAVE_FORMAT_ALAW;
        const size_t samples = size_t(blocks) * s.src.nChannels;
        for (size_t i = 0; i < samples; ++i) {
            int16_t v = alaw ? alawToLinear(in[i]) : mulawToLinear(in[i]);
            out[i * 2] = uint8_t(v & 0xFF);
            out[i * 2 + 1] = uint8_t((v >> 8) & 0xFF);
        }
        break;
    }
    case AcmKind::Ima: {
        std::vector<int16_t> pcm(size_t(s.ima) * s.src.nChannels);
        for (uint32_t b = 0; b < blocks; ++b) {
            imaDecodeBlock(in + size_t(b) * s.srcBlock, s.srcBlock, s.src.nChannels, pcm.data());
            uint8_t* o = out + size_t(b) * s.dstBlock;
            for (size_t i = 0; i < pcm.size(); ++i) {
                o[i * 2] = uint8_t(pcm[i] & 0xFF);
                o[i * 2 + 1] = uint8_t((pcm[i] >> 8) & 0xFF);
            }
        }
        break;
    }
    }
    header->cbSrcLengthUsed = blocks * s.srcBlock;
    header->cbDstLengthUsed = blocks * s.dstBlock;
    header->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
    return MMR_NOERROR;
}
