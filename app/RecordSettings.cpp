#include "app/RecordSettings.h"

#include "app/ChoiceLists.h"
#include "core/unaUtils.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace sonvale::app {

namespace {
constexpr int32_t kTrue = -1; // the library's boolean true
} // namespace

std::optional<uint32_t> WavChannelsOf(int32_t index) {
    switch (index) {
    case 0:
        return 1;
    case 1:
        return 2;
    default:
        return std::nullopt;
    }
}

std::optional<uint32_t> WavBitsOf(int32_t index) {
    switch (index) {
    case 0:
        return 8;
    case 1:
        return 16;
    default:
        return std::nullopt;
    }
}

std::optional<uint32_t> WavRateOf(int32_t index) {
    switch (index) {
    case 0:
        return 44100;
    case 1:
        return 22050;
    case 2:
        return 11025;
    default:
        return std::nullopt;
    }
}

uint32_t Mp3SampleRateOf(int32_t wavRateIndex) {
    return WavRateOf(wavRateIndex).value_or(0);
}

int32_t Mp3ModeOf(int32_t mp3ModeIndex) {
    switch (mp3ModeIndex) {
    case 0:
        return BE_MP3_MODE_MONO;
    case 1:
        return BE_MP3_MODE_STEREO;
    case 2:
        return BE_MP3_MODE_JSTEREO;
    case 3:
        return BE_MP3_MODE_DUALCHANNEL;
    default:
        return BE_MP3_MODE_STEREO;
    }
}

uint32_t BitRateOf(int32_t index) {
    if (index < 0 || index >= int32_t(kBitRatesKbps.size()))
        return 0;
    return uint32_t(kBitRatesKbps[size_t(index)]);
}

BE_CONFIG MakeMp3Config(const svar::TOptions& o) {
    BE_CONFIG c;
    std::memset(&c, 0, sizeof c);
    auto flag = [](bool b) { return b ? kTrue : 0; };
    c.dwConfig = BE_CONFIG_LAME;
    c.dwStructVersion = 1;
    c.dwStructSize = sizeof(BE_CONFIG);
    c.dwSampleRate = Mp3SampleRateOf(o.WavRate);
    c.dwReSampleRate = 0;
    c.nMode = Mp3ModeOf(o.MP3Mode);
    c.dwBitrate = BitRateOf(o.MP3UseVBR ? o.MP3BitsMin : o.MP3Bits);
    c.dwMaxBitrate = BitRateOf(o.MP3UseVBR ? o.MP3BitsMax : o.MP3Bits);
    c.nPreset = LQP_NOPRESET;
    c.bPrivate = flag(o.MP3UsePrivate);
    c.bCRC = flag(o.MP3UseCRC);
    c.bCopyright = flag(o.MP3UseCopyrighted);
    c.bOriginal = flag(o.MP3UseOriginal);
    c.bWriteVBRHeader = 0;
    c.bEnableVBR = flag(o.MP3UseVBR);
    c.nVBRQuality = o.MP3VBRLevel;
    c.dwVbrAbr_bps = 0;
    c.nVbrMethod = o.MP3UseVBR ? VBR_METHOD_NEW : VBR_METHOD_NONE;
    c.bNoRes = flag(!o.IsNoiseReduction);
    c.bStrictIso = 0;
    c.nQuality = 0;
    return c;
}

std::string ErrorCodeText(int32_t code) {
    return int2str(code, 16);
}

std::string NewRecordingName(const std::string& dir, const std::string& extension,
                             const std::function<bool(const std::string&)>& exists,
                             const std::function<void()>& afterEachTaken) {
    for (uint64_t n = 1;; ++n) {
        std::string name = dir + "Untitled" + std::to_string(n) + extension;
        if (!exists(name))
            return name;
        if (afterEachTaken)
            afterEachTaken();
    }
}

namespace {
// Position of the extension's dot in the file-name part, or npos.
size_t extensionDot(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::string::npos;
    return dot;
}
} // namespace

std::string ReplaceExtension(const std::string& path, const std::string& extension) {
    const size_t dot = extensionDot(path);
    return (dot == std::string::npos ? path : path.substr(0, dot)) + extension;
}

std::string LowerExtension(const std::string& path) {
    const size_t dot = extensionDot(path);
    if (dot == std::string::npos)
        return std::string();
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char ch) { return char(std::tolower(ch)); });
    return ext;
}

uint64_t RoundHalfEven(uint64_t numerator, uint64_t denominator) {
    uint64_t q = numerator / denominator;
    const uint64_t r = numerator % denominator;
    if (2 * r > denominator || (2 * r == denominator && (q & 1)))
        ++q;
    return q;
}

int32_t VolumeToSlider(uint32_t value) {
    return int32_t(RoundHalfEven(uint64_t(std::min<uint32_t>(value, 65535)) * 100, 65535));
}

uint16_t SliderToVolume(int32_t slider) {
    const int32_t s = std::clamp(slider, 0, 100);
    return uint16_t(RoundHalfEven(uint64_t(s) * 65535, 100));
}

} // namespace sonvale::app
