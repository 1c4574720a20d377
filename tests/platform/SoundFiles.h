// Sound files made by the tests themselves: a sine as 16-bit WAV, and the
// same as MP3 through libmp3lame. Header-only so the player tests share it.
#pragma once

#include <lame/lame.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace testsound {

inline std::vector<int16_t> sine(uint32_t rate, int channels, double seconds, double hz = 440.0) {
    const size_t frames = size_t(rate * seconds);
    std::vector<int16_t> pcm(frames * size_t(channels));
    for (size_t i = 0; i < frames; ++i) {
        const auto v = int16_t(12000.0 * std::sin(2.0 * M_PI * hz * double(i) / rate));
        for (int c = 0; c < channels; ++c) {
            pcm[i * size_t(channels) + size_t(c)] = v;
        }
    }
    return pcm;
}

inline bool writeFile(const std::string& path, const void* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    const bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

inline bool writeWav(const std::string& path, uint32_t rate, int channels, double seconds) {
    const std::vector<int16_t> pcm = sine(rate, channels, seconds);
    const uint32_t dataBytes = uint32_t(pcm.size() * 2);
    std::vector<uint8_t> out(44 + dataBytes);
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&out[at], &v, 4); };
    auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&out[at], &v, 2); };
    std::memcpy(&out[0], "RIFF", 4);
    put32(4, 36 + dataBytes);
    std::memcpy(&out[8], "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);
    put16(22, uint16_t(channels));
    put32(24, rate);
    put32(28, rate * uint32_t(channels) * 2);
    put16(32, uint16_t(channels * 2));
    put16(34, 16);
    std::memcpy(&out[36], "data", 4);
    put32(40, dataBytes);
    if (dataBytes > 0) {
        std::memcpy(&out[44], pcm.data(), dataBytes);
    }
    return writeFile(path, out.data(), out.size());
}

inline bool writeMp3(const std::string& path, uint32_t rate, int channels, double seconds,
                     int kbps = 128) {
    const std::vector<int16_t> pcm = sine(rate, channels, seconds);
    lame_global_flags* gf = lame_init();
    if (gf == nullptr) {
        return false;
    }
    lame_set_in_samplerate(gf, int(rate));
    lame_set_out_samplerate(gf, int(rate));
    lame_set_num_channels(gf, channels);
    lame_set_mode(gf, channels == 1 ? MONO : JOINT_STEREO);
    lame_set_brate(gf, kbps);
    lame_set_quality(gf, 7);
    lame_set_bWriteVbrTag(gf, 1);
    if (lame_init_params(gf) < 0) {
        lame_close(gf);
        return false;
    }
    const int frames = int(pcm.size() / size_t(channels));
    std::vector<unsigned char> mp3(size_t(1.25 * frames + 7200) + 16384);
    int n = channels == 1 ? lame_encode_buffer(gf, pcm.data(), pcm.data(), frames, mp3.data(),
                                               int(mp3.size()))
                          : lame_encode_buffer_interleaved(gf, const_cast<short*>(pcm.data()),
                                                           frames, mp3.data(), int(mp3.size()));
    if (n < 0) {
        lame_close(gf);
        return false;
    }
    const int m = lame_encode_flush(gf, mp3.data() + n, int(mp3.size()) - n);
    if (m < 0) {
        lame_close(gf);
        return false;
    }
    mp3.resize(size_t(n + m));
    // The first frame is the Info tag (frame count, encoder delay): put the
    // final one in place so decoders know the exact length.
    unsigned char tag[4096];
    const size_t tagSize = lame_get_lametag_frame(gf, tag, sizeof tag);
    if (tagSize > 0 && tagSize <= mp3.size()) {
        std::memcpy(mp3.data(), tag, tagSize);
    }
    lame_close(gf);
    return writeFile(path, mp3.data(), mp3.size());
}

// A unique file name in the temporary folder.
inline std::string tempPath(const std::string& name) {
    static int counter = 0;
    return "/tmp/sonvale-test-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) +
           "-" + name;
}

// True while this process has the file open.
inline bool processHasOpen(const std::string& path) {
    char real[4096];
    if (::realpath(path.c_str(), real) == nullptr) {
        return false;
    }
    for (int fd = 0; fd < 1024; ++fd) {
        char link[64], target[4096];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        const ssize_t n = ::readlink(link, target, sizeof target - 1);
        if (n > 0) {
            target[n] = '\0';
            if (std::strcmp(target, real) == 0) {
                return true;
            }
        }
    }
    return false;
}

} // namespace testsound
