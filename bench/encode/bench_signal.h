// The benchmarks' test signal: the project's music-like WAV (made by the
// shared make-music.sh with sox), read back as raw 16-bit stereo PCM.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Makes `seconds` of the signal and returns its PCM bytes (44100 Hz, 16 bit,
// stereo). The script is taken from $SONVALE_MUSIC_SCRIPT when set. Empty on
// failure, with why filled.
std::vector<uint8_t> makeMusicPcm(int seconds, std::string& why);

// The BE_CONFIG bytes for constant 128 kbit/s stereo with the bit reservoir
// on, the settings of `lame -b 128 -m s`.
std::vector<uint8_t> cbr128StereoConfig();
