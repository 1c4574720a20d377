#include "bench_signal.h"

#include "bench/common/BenchUtil.h"
#include "libs/mp3enc/mp3enc.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

std::vector<uint8_t> makeMusicPcm(int seconds, std::string& why) {
    char dir[] = "/tmp/sonvale-bench-XXXXXX";
    if (!::mkdtemp(dir)) {
        why = "cannot make a temporary folder";
        return {};
    }
    const std::string wav = std::string(dir) + "/music.wav";
    if (!makeMusicWav(seconds, wav)) {
        why = "'sh '" + musicScript() + "' " + std::to_string(seconds) + " '" + wav + "'' failed";
        return {};
    }
    std::ifstream f(wav, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), {});
    std::remove(wav.c_str());
    ::rmdir(dir);
    size_t offset = 0, length = 0;
    if (!findWavData(bytes.data(), bytes.size(), offset, length)) {
        why = "no data chunk in " + wav;
        return {};
    }
    return std::vector<uint8_t>(bytes.begin() + long(offset),
                                bytes.begin() + long(offset + length));
}

std::vector<uint8_t> cbr128StereoConfig() {
    BE_CONFIG c;
    std::memset(&c, 0, sizeof c);
    c.dwConfig = BE_CONFIG_LAME;
    c.dwStructVersion = 1;
    c.dwStructSize = sizeof c;
    c.dwSampleRate = 44100;
    c.nMode = BE_MP3_MODE_STEREO;
    c.dwBitrate = c.dwMaxBitrate = 128;
    c.nPreset = LQP_NOPRESET;
    c.nVbrMethod = VBR_METHOD_NONE;
    c.bOriginal = -1;
    std::vector<uint8_t> out(sizeof c);
    std::memcpy(out.data(), &c, sizeof c);
    return out;
}
