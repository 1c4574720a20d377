// A variable-rate MP3 file without an information frame, whose first frames
// are loud noise at a high bit rate and the rest a quiet tone at a low one:
// a decoder that takes the first frame's rate for the whole file guesses it
// far too short. For the players' "play to the real end" tests.
#pragma once

#include "platform/SoundFiles.h"

#include <lame/lame.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testsound {

// noiseSeconds of noise, then toneSeconds of a quiet tone, 44.1 kHz stereo.
inline bool writeVbrMp3WithoutHeader(const std::string& path, double noiseSeconds,
                                     double toneSeconds) {
    const uint32_t rate = 44100;
    const size_t noise = size_t(rate * noiseSeconds), tone = size_t(rate * toneSeconds);
    std::vector<int16_t> pcm((noise + tone) * 2);
    uint32_t seed = 99;
    for (size_t i = 0; i < noise + tone; ++i) {
        int16_t v;
        if (i < noise) {
            seed = seed * 1664525u + 1013904223u;
            v = int16_t(int32_t(seed >> 16) - 32768);
        } else {
            v = int16_t(800 * std::sin(2 * M_PI * 440 * double(i) / rate));
        }
        pcm[2 * i] = pcm[2 * i + 1] = v;
    }
    lame_global_flags* gf = lame_init();
    if (!gf)
        return false;
    lame_set_in_samplerate(gf, int(rate));
    lame_set_num_channels(gf, 2);
    lame_set_VBR(gf, vbr_mtrh);
    lame_set_VBR_q(gf, 4);
    lame_set_VBR_min_bitrate_kbps(gf, 32);
    lame_set_VBR_max_bitrate_kbps(gf, 320);
    lame_set_bWriteVbrTag(gf, 0);
    if (lame_init_params(gf) < 0) {
        lame_close(gf);
        return false;
    }
    const int frames = int(noise + tone);
    std::vector<unsigned char> mp3(size_t(1.25 * frames + 7200) * 2);
    int n = lame_encode_buffer_interleaved(gf, pcm.data(), frames, mp3.data(), int(mp3.size()));
    int m = n < 0 ? -1 : lame_encode_flush(gf, mp3.data() + n, int(mp3.size()) - n);
    lame_close(gf);
    if (n < 0 || m < 0)
        return false;
    return writeFile(path, mp3.data(), size_t(n + m));
}

} // namespace testsound
