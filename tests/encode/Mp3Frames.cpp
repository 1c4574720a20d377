#include "Mp3Frames.h"

#include <mpg123.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <mutex>

namespace {

const int kBitratesV1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, -1};
const int kBitratesV2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1};
const int kRatesV1[4] = {44100, 48000, 32000, 0};

bool fail(std::string* why, const std::string& text) {
    if (why)
        *why = text;
    return false;
}

} // namespace

bool parseMp3Frames(const std::vector<uint8_t>& d, std::vector<Mp3Frame>& frames,
                    std::string* why) {
    frames.clear();
    size_t pos = 0;
    while (pos < d.size()) {
        if (d.size() - pos < 4)
            return fail(why, "trailing bytes at " + std::to_string(pos));
        const uint32_t h = uint32_t(d[pos]) << 24 | uint32_t(d[pos + 1]) << 16 |
                           uint32_t(d[pos + 2]) << 8 | d[pos + 3];
        if ((h >> 21) != 0x7FF)
            return fail(why, "no frame sync at " + std::to_string(pos));
        const int versionBits = (h >> 19) & 3, layerBits = (h >> 17) & 3;
        if (versionBits == 1 || layerBits != 1)
            return fail(why, "not layer III at " + std::to_string(pos));
        Mp3Frame f;
        f.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
        f.crc = ((h >> 16) & 1) == 0;
        const int brIndex = (h >> 12) & 15, srIndex = (h >> 10) & 3;
        f.bitrate = (f.version == 1 ? kBitratesV1 : kBitratesV2)[brIndex];
        const int base = kRatesV1[srIndex];
        f.sampleRate = f.version == 1 ? base : f.version == 2 ? base / 2 : base / 4;
        if (f.bitrate <= 0 || f.sampleRate == 0)
            return fail(why, "bad bit rate or sample rate at " + std::to_string(pos));
        f.padding = (h >> 9) & 1;
        f.privateBit = (h >> 8) & 1;
        f.mode = (h >> 6) & 3;
        f.copyright = (h >> 3) & 1;
        f.original = (h >> 2) & 1;
        f.samples = f.version == 1 ? 1152 : 576;
        const int coeff = f.version == 1 ? 144 : 72;
        f.length = uint32_t(coeff * f.bitrate * 1000 / f.sampleRate + (f.padding ? 1 : 0));
        f.offset = uint32_t(pos);
        if (pos + f.length > d.size())
            return fail(why, "last frame cut short at " + std::to_string(pos));
        frames.push_back(f);
        pos += f.length;
    }
    return true;
}

bool decodeMp3(const std::vector<uint8_t>& data, DecodedPcm& out, std::string* why) {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
    int err = 0;
    mpg123_handle* mh = mpg123_new(nullptr, &err);
    if (!mh)
        return fail(why, "mpg123_new failed");
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(mh);
    for (long r : {8000L, 11025L, 12000L, 16000L, 22050L, 24000L, 32000L, 44100L, 48000L})
        mpg123_format(mh, r, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    mpg123_open_feed(mh);
    out = {};
    std::vector<unsigned char> buf(1 << 16);
    size_t done = 0;
    int rc = mpg123_decode(mh, data.data(), data.size(), buf.data(), buf.size(), &done);
    bool ok = true;
    for (;;) {
        if (rc == MPG123_NEW_FORMAT) {
            int enc = 0;
            mpg123_getformat(mh, &out.rate, &out.channels, &enc);
        } else if (rc == MPG123_ERR) {
            ok = fail(why, mpg123_strerror(mh));
            break;
        }
        const auto* s = reinterpret_cast<const int16_t*>(buf.data());
        out.samples.insert(out.samples.end(), s, s + done / 2);
        if (rc == MPG123_NEED_MORE && done == 0)
            break;
        rc = mpg123_decode(mh, nullptr, 0, buf.data(), buf.size(), &done);
    }
    mpg123_delete(mh);
    return ok;
}

double toneShare(const DecodedPcm& pcm, int channel, double frequency, size_t first, size_t count) {
    if (pcm.channels == 0 || first + count > pcm.frames() || count == 0)
        return 0;
    const double w = 2 * M_PI * frequency / double(pcm.rate);
    const double c = 2 * std::cos(w);
    double s1 = 0, s2 = 0, energy = 0;
    for (size_t i = 0; i < count; ++i) {
        const double x = pcm.samples[(first + i) * size_t(pcm.channels) + size_t(channel)];
        energy += x * x;
        const double s0 = x + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - c * s1 * s2; // |X(f)|^2
    // A pure tone of amplitude A over N samples gives |X|^2 = (A N / 2)^2 and
    // energy A^2 N / 2, so the share is |X|^2 * 2 / (N * energy).
    return energy > 0 ? power * 2 / (double(count) * energy) : 0;
}

std::vector<uint8_t> readFileBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}
