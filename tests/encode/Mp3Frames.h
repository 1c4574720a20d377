// Test helpers for MP3 output: a frame-header walker that checks the stream
// is made of whole, well-formed frames, and a decoder (libmpg123) giving the
// PCM back for duration and pitch checks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Mp3Frame {
    int version = 0; // 1 MPEG-1, 2 MPEG-2, 25 MPEG-2.5
    int bitrate = 0; // kbit/s
    int sampleRate = 0;
    int mode = 0;     // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
    bool crc = false; // protection bit clear: a CRC follows the header
    bool padding = false;
    bool privateBit = false;
    bool copyright = false;
    bool original = false;
    uint32_t offset = 0;
    uint32_t length = 0;
    int samples = 0; // samples per channel
};

// Walks the whole buffer as consecutive layer III frames. False (with why)
// when a frame header is damaged or the last frame is cut short.
bool parseMp3Frames(const std::vector<uint8_t>& data, std::vector<Mp3Frame>& frames,
                    std::string* why = nullptr);

struct DecodedPcm {
    long rate = 0;
    int channels = 0;
    std::vector<int16_t> samples; // interleaved
    size_t frames() const { return channels ? samples.size() / size_t(channels) : 0; }
};

// Decodes MP3 bytes with libmpg123. False (with why) on a decoder error.
bool decodeMp3(const std::vector<uint8_t>& data, DecodedPcm& out, std::string* why = nullptr);

// Share of the signal's power (one channel, from first to first + count
// frames) at the given frequency, 0..1, by the Goertzel filter.
double toneShare(const DecodedPcm& pcm, int channel, double frequency, size_t first, size_t count);

std::vector<uint8_t> readFileBytes(const std::string& path);
