// Helpers shared by the capture tests: bounded polling, scratch folders,
// RIFF images built chunk by chunk, reading files back, the virtual card fed
// from a known byte pattern, and external checkers when they are installed.
#pragma once

#include "core/unaKernel.h"
#include "platform/audio/AudioBackend.h"
#include "platform/audio/VirtualCard.h"
#include "platform/mmsystem.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace capture_test {

using Bytes = std::vector<uint8_t>;

// Polls cond every millisecond until it holds or ms have passed.
inline bool waitUntil(const std::function<bool()>& cond, uint32_t ms = 20000) {
    const uint32_t start = tickCount();
    while (!cond()) {
        if (tickCount() - start > ms)
            return false;
        sleepMs(1);
    }
    return true;
}

// A fresh folder under the system's temporary folder, removed at the end.
class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/sonvale-capture-XXXXXX";
        path_ = ::mkdtemp(tmpl) ? tmpl : "/tmp";
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

inline Bytes readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& name, const Bytes& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The recorder's WAV header: bytes before the samples, and where the data
// size stands.
inline constexpr uint32_t kWavHeader = 80;
inline constexpr uint32_t kDataSizeAt = 76;

inline uint32_t u32At(const Bytes& b, size_t offset) {
    uint32_t v = 0;
    if (offset + 4 <= b.size())
        std::memcpy(&v, b.data() + offset, 4);
    return v;
}

inline uint16_t u16At(const Bytes& b, size_t offset) {
    uint16_t v = 0;
    if (offset + 2 <= b.size())
        std::memcpy(&v, b.data() + offset, 2);
    return v;
}

inline void putU32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}

// --- RIFF images ------------------------------------------------------------------

// One chunk: id, declared size (the data's by default), data, pad byte.
inline Bytes chunk(const char* id, const Bytes& data, int64_t declaredSize = -1, bool pad = true) {
    Bytes out(id, id + 4);
    putU32(out, declaredSize < 0 ? uint32_t(data.size()) : uint32_t(declaredSize));
    out.insert(out.end(), data.begin(), data.end());
    if (pad && (data.size() & 1))
        out.push_back(0);
    return out;
}

// A container ("RIFF" or "LIST") of a form type holding the given children.
inline Bytes container(const char* id, const char* type, const std::vector<Bytes>& children) {
    Bytes body(type, type + 4);
    for (const Bytes& c : children)
        body.insert(body.end(), c.begin(), c.end());
    return chunk(id, body);
}

inline Bytes fmtChunk(const WAVEFORMATEX& f, bool full = false) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&f);
    return chunk("fmt ", Bytes(p, p + (full ? 18 : 16)));
}

inline WAVEFORMATEX pcm(uint32_t rate, uint16_t bits, uint16_t channels) {
    WAVEFORMATEX f;
    FillPcmFormat(f, rate, bits, channels);
    return f;
}

// n bytes of a pattern that does not repeat within 251 * 256 bytes.
inline Bytes pattern(size_t n, uint32_t seed = 1) {
    Bytes b(n);
    uint32_t x = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        b[i] = uint8_t(x >> 16);
    }
    return b;
}

// --- virtual card -----------------------------------------------------------------

// Selects the virtual card with the microphone fed from a raw file (or the
// tone when feed is empty) at the given speed (0 = unpaced).
inline void useVirtualCard(const std::string& rawFeed, double speed) {
    setAudioBackend(AudioBackend::Virtual);
    VirtualCardConfig config;
    config.speed = speed;
    config.devices[0].sourceFiles[VS_MICROPHONE] = rawFeed;
    VirtualCard::instance().configure(config);
    VirtualCard::instance().selectSource(0, VS_MICROPHONE);
}

// --- external checkers --------------------------------------------------------------

inline bool haveTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Output of a shell command (empty when it failed).
inline std::string run(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[512];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        if (::pclose(p) != 0)
            out.clear();
    }
    return out;
}

} // namespace capture_test
