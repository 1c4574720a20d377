// The MP3 encoder library: the six entry points of mp3enc.h over libmp3lame.
//
// Each stream is one LAME encoder instance kept in a process-wide table under
// a small number handle. The table has its own lock; every stream also has a
// lock of its own, so a stream closed while another thread is still inside an
// encode call waits for that call instead of freeing the encoder under it.
// Nothing is printed: LAME's report functions are silenced.
#include "libs/mp3enc/mp3enc.h"

#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#define MP3ENC_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr uint32_t kSamplesPerChannel = 1152; // one MPEG-1 layer III frame
constexpr uint32_t kNoStream = 0xFFFFFFFFu;
constexpr uint8_t kLibraryMajor = 1;
constexpr uint8_t kLibraryMinor = 0;

struct Stream {
    std::mutex lock;
    lame_global_flags* gfp = nullptr;
    uint32_t channels = 2;
    uint32_t samplesPerChunk = 0; // all channels together
    uint32_t outBufferSize = 0;
    bool writeVbrTag = false;
    bool finished = false;        // beDeinitStream ran
    std::vector<int16_t> scratch; // LAME's interleaved entry point takes a mutable buffer
    ~Stream() {
        if (gfp)
            lame_close(gfp);
    }
};

struct StreamTable {
    std::mutex lock;
    std::unordered_map<uint32_t, std::shared_ptr<Stream>> streams;
    uint32_t nextHandle = 1;
    std::vector<uint8_t> lastVbrTag; // info frame of the last finished stream that asked for one

    std::shared_ptr<Stream> find(uint32_t handle) {
        std::lock_guard<std::mutex> g(lock);
        auto it = streams.find(handle);
        return it == streams.end() ? nullptr : it->second;
    }
};

StreamTable& table() {
    static StreamTable t;
    return t;
}

void quiet(const char*, va_list) {}

bool isMpegBitrate(uint32_t kbps) {
    static const uint32_t rates[] = {8,  16,  24,  32,  40,  48,  56,  64,  80,
                                     96, 112, 128, 144, 160, 192, 224, 256, 320};
    return std::find(std::begin(rates), std::end(rates), kbps) != std::end(rates);
}

bool isMpegSampleRate(uint32_t hz) {
    static const uint32_t rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
    return std::find(std::begin(rates), std::end(rates), hz) != std::end(rates);
}

bool isLamePreset(int32_t p) {
    return (p >= ABR_8 && p <= ABR_320) || (p >= V9 && p <= V0 && p % 10 == 0) ||
           (p >= R3MIX && p <= MEDIUM_FAST);
}

// nQuality: 0 keeps LAME's default; 1..9 in the low byte with the high byte 0,
// or any 0..9 in the low byte with its complement in the high byte, selects
// that LAME quality. Returns -1 for the default, -2 for an invalid value.
int decodeQuality(uint16_t q) {
    if (q == 0)
        return -1;
    const unsigned lo = q & 0xFFu, hi = q >> 8;
    if (lo > 9)
        return -2;
    if (hi == 0 || hi == (~lo & 0xFFu))
        return static_cast<int>(lo);
    return -2;
}

// Applies the record to a fresh encoder; false when a field is out of range.
bool applyConfig(lame_global_flags* gfp, const BE_CONFIG& c) {
    // Input rates LAME can resample from; an output rate, when one is asked
    // for, must be one MPEG audio can carry. Without one the input rate is
    // kept, or LAME's nearest MPEG rate when the input rate is not one.
    if (c.dwSampleRate < 8000 || c.dwSampleRate > 192000)
        return false;
    if (c.dwReSampleRate != 0 && !isMpegSampleRate(c.dwReSampleRate))
        return false;
    if (c.nMode < BE_MP3_MODE_STEREO || c.nMode > BE_MP3_MODE_MONO)
        return false;
    if (c.dwEmphasis != 0 && c.dwEmphasis != 1 && c.dwEmphasis != 3)
        return false;
    const int quality = decodeQuality(c.nQuality);
    if (quality == -2)
        return false;

    static const MPEG_mode modes[] = {STEREO, JOINT_STEREO, DUAL_CHANNEL, MONO};
    lame_set_in_samplerate(gfp, static_cast<int>(c.dwSampleRate));
    lame_set_out_samplerate(gfp,
                            static_cast<int>(c.dwReSampleRate ? c.dwReSampleRate : c.dwSampleRate));
    lame_set_num_channels(gfp, c.nMode == BE_MP3_MODE_MONO ? 1 : 2);
    lame_set_mode(gfp, modes[c.nMode]);

    const bool preset = c.nPreset != LQP_NOPRESET && c.nPreset != 0;
    if (preset) {
        // A preset decides rate control and quality; the record's bit rates
        // and VBR fields are then not used.
        if (!isLamePreset(c.nPreset) || lame_set_preset(gfp, c.nPreset) != c.nPreset)
            return false;
    } else if (c.bEnableVBR) {
        if (c.nVBRQuality < 0 || c.nVBRQuality > 9)
            return false;
        const uint32_t minRate = c.dwBitrate, maxRate = c.dwMaxBitrate;
        if ((minRate && !isMpegBitrate(minRate)) || (maxRate && !isMpegBitrate(maxRate)) ||
            (minRate && maxRate && minRate > maxRate))
            return false;
        switch (c.nVbrMethod) {
        case VBR_METHOD_NONE:
        case VBR_METHOD_DEFAULT:
            lame_set_VBR(gfp, vbr_default);
            break;
        case VBR_METHOD_OLD:
            lame_set_VBR(gfp, vbr_rh);
            break;
        case VBR_METHOD_NEW:
        case VBR_METHOD_MTRH:
            lame_set_VBR(gfp, vbr_mtrh);
            break;
        case VBR_METHOD_ABR: {
            const uint32_t kbps = c.dwVbrAbr_bps / 1000;
            if (kbps < 8 || kbps > 320)
                return false;
            lame_set_VBR(gfp, vbr_abr);
            lame_set_VBR_mean_bitrate_kbps(gfp, static_cast<int>(kbps));
            break;
        }
        default:
            return false;
        }
        lame_set_VBR_q(gfp, c.nVBRQuality);
        if (minRate) {
            lame_set_VBR_min_bitrate_kbps(gfp, static_cast<int>(minRate));
            lame_set_VBR_hard_min(gfp, 1); // keep the minimum even on near-silence
        }
        if (maxRate)
            lame_set_VBR_max_bitrate_kbps(gfp, static_cast<int>(maxRate));
    } else {
        if (!isMpegBitrate(c.dwBitrate))
            return false;
        lame_set_VBR(gfp, vbr_off);
        lame_set_brate(gfp, static_cast<int>(c.dwBitrate));
    }

    if (quality >= 0)
        lame_set_quality(gfp, quality);
    lame_set_extension(gfp, c.bPrivate ? 1 : 0);
    lame_set_error_protection(gfp, c.bCRC ? 1 : 0);
    lame_set_copyright(gfp, c.bCopyright ? 1 : 0);
    lame_set_original(gfp, c.bOriginal ? 1 : 0);
    lame_set_disable_reservoir(gfp, c.bNoRes ? 1 : 0);
    lame_set_strict_ISO(gfp, c.bStrictIso ? 1 : 0);
    lame_set_emphasis(gfp, static_cast<int>(c.dwEmphasis));
    // A variable-rate stream always reserves its information frame: without
    // one, decoders guess the length from the first frame's rate.
    lame_set_bWriteVbrTag(gfp, (c.bWriteVBRHeader || c.bEnableVBR) ? 1 : 0);
    lame_set_write_id3tag_automatic(gfp, 0); // the output is MP3 frames only
    return lame_init_params(gfp) >= 0;
}

int parseMonth(const char* m) {
    static const char* names = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const char* p = std::strstr(names, m);
    return p ? static_cast<int>((p - names) / 3) + 1 : 0;
}

} // namespace

MP3ENC_EXPORT BE_ERR beInitStream(BE_CONFIG* config, uint32_t* samplesPerChunk,
                                  uint32_t* outBufferSize, uint32_t* stream) {
    if (!config || !samplesPerChunk || !outBufferSize || !stream)
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    BE_CONFIG c;
    std::memcpy(&c, config, sizeof c);
    if (c.dwConfig != BE_CONFIG_LAME || c.dwStructSize != sizeof(BE_CONFIG))
        return BE_ERR_INVALID_FORMAT;

    auto s = std::make_shared<Stream>();
    s->gfp = lame_init();
    if (!s->gfp)
        return BE_ERR_NO_MORE_HANDLES;
    lame_set_errorf(s->gfp, quiet);
    lame_set_debugf(s->gfp, quiet);
    lame_set_msgf(s->gfp, quiet);
    if (!applyConfig(s->gfp, c))
        return BE_ERR_INVALID_FORMAT_PARAMETERS;

    s->channels = static_cast<uint32_t>(lame_get_num_channels(s->gfp));
    s->samplesPerChunk = kSamplesPerChannel * s->channels;
    s->writeVbrTag = c.bWriteVBRHeader != 0 || c.bEnableVBR != 0;
    // LAME's worst case for n input samples per channel is 1.25 n + 7200
    // bytes (7200 also covers the flush); resampling up scales n.
    const double ratio = std::max(1.0, double(lame_get_out_samplerate(s->gfp)) /
                                           double(lame_get_in_samplerate(s->gfp)));
    s->outBufferSize = static_cast<uint32_t>(std::ceil(1.25 * kSamplesPerChannel * ratio)) + 7200;
    s->scratch.resize(s->samplesPerChunk);

    auto& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    if (t.streams.size() >= 0x10000)
        return BE_ERR_NO_MORE_HANDLES;
    uint32_t h = t.nextHandle;
    while (h == 0 || h == kNoStream || t.streams.count(h))
        ++h;
    t.nextHandle = h + 1;
    t.streams.emplace(h, s);
    *samplesPerChunk = s->samplesPerChunk;
    *outBufferSize = s->outBufferSize;
    *stream = h;
    return BE_ERR_SUCCESSFUL;
}

MP3ENC_EXPORT BE_ERR beEncodeChunk(uint32_t stream, uint32_t sampleCount, const int16_t* samples,
                                   uint8_t* output, uint32_t* outputBytes) {
    if (!outputBytes)
        return BE_ERR_INVALID_HANDLE;
    *outputBytes = 0;
    auto s = table().find(stream);
    if (!s)
        return BE_ERR_INVALID_HANDLE;
    std::lock_guard<std::mutex> g(s->lock);
    if (s->finished)
        return BE_ERR_INVALID_HANDLE;
    if (sampleCount == 0)
        return BE_ERR_SUCCESSFUL;
    if (!samples || !output)
        return BE_ERR_INVALID_HANDLE;
    if (sampleCount > s->samplesPerChunk)
        return BE_ERR_BUFFER_TOO_SMALL; // the output buffer is sized for one chunk
    const int perChannel = static_cast<int>(sampleCount / s->channels);
    if (perChannel == 0)
        return BE_ERR_SUCCESSFUL;
    int rc;
    if (s->channels == 1) {
        rc = lame_encode_buffer(s->gfp, samples, samples, perChannel, output,
                                static_cast<int>(s->outBufferSize));
    } else {
        std::memcpy(s->scratch.data(), samples, size_t(perChannel) * 2 * sizeof(int16_t));
        rc = lame_encode_buffer_interleaved(s->gfp, s->scratch.data(), perChannel, output,
                                            static_cast<int>(s->outBufferSize));
    }
    if (rc < 0)
        return rc == -1 ? BE_ERR_BUFFER_TOO_SMALL : BE_ERR_INVALID_FORMAT_PARAMETERS;
    *outputBytes = static_cast<uint32_t>(rc);
    return BE_ERR_SUCCESSFUL;
}

MP3ENC_EXPORT BE_ERR beDeinitStream(uint32_t stream, uint8_t* output, uint32_t* outputBytes) {
    if (!outputBytes)
        return BE_ERR_INVALID_HANDLE;
    *outputBytes = 0;
    auto s = table().find(stream);
    if (!s || !output)
        return BE_ERR_INVALID_HANDLE;
    std::lock_guard<std::mutex> g(s->lock);
    if (s->finished)
        return BE_ERR_SUCCESSFUL; // nothing more to give
    s->finished = true;
    const int rc = lame_encode_flush(s->gfp, output, static_cast<int>(s->outBufferSize));
    if (rc < 0)
        return BE_ERR_BUFFER_TOO_SMALL;
    *outputBytes = static_cast<uint32_t>(rc);
    if (s->writeVbrTag) {
        std::vector<uint8_t> tag(lame_get_lametag_frame(s->gfp, nullptr, 0));
        if (!tag.empty() && lame_get_lametag_frame(s->gfp, tag.data(), tag.size()) == tag.size()) {
            auto& t = table();
            std::lock_guard<std::mutex> tg(t.lock);
            t.lastVbrTag = std::move(tag);
        }
    }
    return BE_ERR_SUCCESSFUL;
}

MP3ENC_EXPORT BE_ERR beCloseStream(uint32_t stream) {
    std::shared_ptr<Stream> s;
    {
        auto& t = table();
        std::lock_guard<std::mutex> g(t.lock);
        auto it = t.streams.find(stream);
        if (it == t.streams.end())
            return BE_ERR_INVALID_HANDLE;
        s = std::move(it->second);
        t.streams.erase(it);
    }
    std::lock_guard<std::mutex> g(s->lock); // a call still running on another thread ends first
    lame_close(s->gfp);
    s->gfp = nullptr;
    return BE_ERR_SUCCESSFUL;
}

MP3ENC_EXPORT void beVersion(BE_VERSION* version) {
    if (!version)
        return;
    std::memset(version, 0, sizeof *version);
    version->byDLLMajorVersion = kLibraryMajor;
    version->byDLLMinorVersion = kLibraryMinor;
    lame_version_t lv;
    get_lame_version_numerical(&lv);
    version->byMajorVersion = static_cast<uint8_t>(lv.major);
    version->byMinorVersion = static_cast<uint8_t>(lv.minor);
    // __DATE__ reads "Mmm dd yyyy".
    const char* date = __DATE__;
    char month[4] = {date[0], date[1], date[2], 0};
    version->byMonth = static_cast<uint8_t>(parseMonth(month));
    version->byDay = static_cast<uint8_t>(std::atoi(date + 4));
    version->wYear = static_cast<uint16_t>(std::atoi(date + 7));
    std::snprintf(version->zDescription, sizeof version->zDescription, "mp3enc %u.%u over LAME %s",
                  kLibraryMajor, kLibraryMinor, get_lame_version());
}

// Writes the VBR information frame of the last finished stream that reserved
// one (bWriteVBRHeader) over the placeholder frame at the start of the file.
MP3ENC_EXPORT BE_ERR beWriteVBRHeader(const char* mp3FileName) {
    if (!mp3FileName)
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    std::vector<uint8_t> tag;
    {
        auto& t = table();
        std::lock_guard<std::mutex> g(t.lock);
        tag = t.lastVbrTag;
    }
    if (tag.empty())
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    FILE* f = std::fopen(mp3FileName, "r+b");
    if (!f)
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    // Only a file that starts with the placeholder frame is touched: same
    // frame sync, version, layer, bit rate and sample rate as the tag frame.
    std::vector<uint8_t> head(tag.size());
    const bool isPlaceholder =
        tag.size() >= 4 && std::fread(head.data(), 1, head.size(), f) == head.size() &&
        head[0] == tag[0] && head[1] == tag[1] && (head[2] & 0xFC) == (tag[2] & 0xFC);
    if (!isPlaceholder || std::fseek(f, 0, SEEK_SET) != 0) {
        std::fclose(f);
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    }
    const bool ok = std::fwrite(tag.data(), 1, tag.size(), f) == tag.size();
    const bool closed = std::fclose(f) == 0;
    return ok && closed ? BE_ERR_SUCCESSFUL : BE_ERR_INVALID_FORMAT_PARAMETERS;
}
