#include "bench_signal.h"

#include "libs/mp3enc/mp3enc.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

std::vector<uint8_t> makeMusicPcm(int seconds, std::string& why) {
    const char* env = std::getenv("SONVALE_MUSIC_SCRIPT");
    const std::string script = env && *env ? env : MUSIC_SCRIPT;
    char dir[] = "/tmp/sonvale-bench-XXXXXX";
    if (!::mkdtemp(dir)) {
        why = "cannot make a temporary folder";
        return {};
    }
    const std::string wav = std::string(dir) + "/music.wav";
    const std::string cmd = "sh '" + script + "' " + std::to_string(seconds) + " '" + wav + "'";
    if (std::system(cmd.c_str()) != 0) {
        why = "'" + cmd + "' failed";
        return {};
    }
    std::ifstream f(wav, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), {});
    std::remove(wav.c_str());
    ::rmdir(dir);
    // Walk the RIFF chunks to the data chunk.
    size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        uint32_t size;
        std::memcpy(&size, &bytes[pos + 4], 4);
        if (std::memcmp(&bytes[pos], "data", 4) == 0) {
            const size_t end = std::min(bytes.size(), pos + 8 + size_t(size));
            return std::vector<uint8_t>(bytes.begin() + long(pos + 8), bytes.begin() + long(end));
        }
        pos += 8 + size + (size & 1);
    }
    why = "no data chunk in " + wav;
    return {};
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
