// An MP3 file opened for decoding to 16-bit PCM (over libmpg123, loaded by
// the first open: a missing library or entry point fails that open with the
// reason), used by the media player service and the MP3 player library.
//
// Owned and used by one player thread only.
#pragma once

#include <cstdint>
#include <string>

struct mpg123_handle_struct;
struct Mpg123Api;

class Mp3Input {
public:
    Mp3Input() = default;
    ~Mp3Input();
    Mp3Input(const Mp3Input&) = delete;
    Mp3Input& operator=(const Mp3Input&) = delete;

    // Opens the file and reads up to its first frame. False with a reason in
    // *error when the file cannot be read, is not a regular file (checked
    // without blocking) or holds no MPEG audio. The length comes from the
    // file's VBR information frame, or from counting its frames.
    bool open(const std::string& path, std::string* error);
    void close();
    bool isOpen() const { return handle_ != nullptr; }

    uint32_t rate() const { return rate_; }
    uint16_t channels() const { return channels_; }
    uint16_t blockAlign() const { return uint16_t(channels_ * 2); }
    uint16_t bitrateKbps() const { return bitrate_; }
    // Samples per channel in the whole file (0 when unknown).
    uint64_t lengthSamples() const { return length_; }

    enum class Read { Data, Done, Failed };
    // Decodes up to `bytes` bytes of PCM into buf; *got is what was filled.
    Read read(uint8_t* buf, size_t bytes, size_t* got, std::string* error);
    // Moves to a sample; false when the decoder cannot seek there.
    bool seek(uint64_t sample);

private:
    const Mpg123Api* api_ = nullptr; // the decoder's entry points, while open
    mpg123_handle_struct* handle_ = nullptr;
    int fd_ = -1; // the file the decoder reads, owned
    uint32_t rate_ = 0;
    uint16_t channels_ = 0;
    uint16_t bitrate_ = 0;
    uint64_t length_ = 0;
};
