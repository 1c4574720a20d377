#include "core/unaUtils.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

bool fileExists(const std::string& fileName) {
    if (fileName.empty())
        return false;
    struct stat st;
    return ::stat(fileName.c_str(), &st) == 0;
}

int32_t AppendToFile(const std::string& fileName, const void* block, uint32_t size) {
    if (fileName.empty())
        return -1;
    if (!block || size == 0)
        return 0;
    int fd;
    do {
        fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -2;
    const auto* p = static_cast<const uint8_t*>(block);
    size_t written = 0;
    bool failed = false;
    while (written < size) {
        ssize_t n = ::write(fd, p + written, size - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            failed = true;
            break;
        }
        if (n == 0)
            break;
        written += size_t(n);
    }
    if (::close(fd) != 0 && written == size)
        return -3; // the data may not have reached the disk
    if (written == size)
        return 0;
    return (failed && written == 0) ? -3 : -4;
}

// --- int2str -------------------------------------------------------------------

namespace {

std::string digitsOf(uint64_t magnitude, bool negative, uint32_t base, uint32_t groupSize,
                     char groupChar) {
    static const char kDigits[] = "0123456789ABCDEF";
    if (magnitude == 0)
        return "0";
    std::string digits;
    if (base >= 2 && base <= 16) {
        while (magnitude) {
            digits.push_back(kDigits[magnitude % base]);
            magnitude /= base;
        }
    }
    // digits are least significant first here
    std::string out;
    out.reserve(digits.size() * 2 + 1);
    for (size_t i = 0; i < digits.size(); ++i) {
        if (groupSize > 0 && i > 0 && i % groupSize == 0)
            out.push_back(groupChar);
        out.push_back(digits[i]);
    }
    if (negative)
        out.push_back('-');
    std::reverse(out.begin(), out.end());
    return out;
}

} // namespace

std::string int2str(int32_t value, uint32_t base, uint32_t groupSize, char groupChar) {
    return int2str(int64_t(value), base, groupSize, groupChar);
}
std::string int2str(uint32_t value, uint32_t base, uint32_t groupSize, char groupChar) {
    return digitsOf(value, false, base, groupSize, groupChar);
}
std::string int2str(uint16_t value, uint32_t base, uint32_t groupSize, char groupChar) {
    return digitsOf(value, false, base, groupSize, groupChar);
}
std::string int2str(int64_t value, uint32_t base, uint32_t groupSize, char groupChar) {
    uint64_t magnitude = value < 0 ? uint64_t(0) - uint64_t(value) : uint64_t(value);
    return digitsOf(magnitude, value < 0, base, groupSize, groupChar);
}
std::string int2str(uint64_t value, uint32_t base, uint32_t groupSize, char groupChar) {
    return digitsOf(value, false, base, groupSize, groupChar);
}

// --- str2int -------------------------------------------------------------------

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

int64_t str2int(const std::string& text, int64_t def, uint32_t base) {
    std::string s = trimStr(text, true, true);
    if (s.empty() || base < 2 || base > 256)
        return def;
    if (s.back() == 'H' || s.back() == 'h') {
        s.pop_back();
        if (base == 10)
            base = 16;
    }
    bool negative = false;
    size_t pos = 0;
    if (base <= 16) {
        for (; pos + 1 < s.size(); ++pos) {
            const char c = s[pos];
            if (c == '0')
                continue;
            if (c == '+') {
                negative = false;
                continue;
            }
            if (c == '-') {
                negative = true;
                continue;
            }
            if (c == '$' || c == 'X' || c == 'x') {
                if (base == 10)
                    base = 16;
                continue;
            }
            if (hexDigit(c) > 0)
                break; // 1-9, A-F, a-f: the digits start here
            return def;
        }
    }
    uint64_t sum = 0;
    for (; pos < s.size(); ++pos) {
        uint64_t digit;
        if (base <= 16) {
            const int d = hexDigit(s[pos]);
            if (d < 0)
                return def;
            digit = uint64_t(d);
        } else {
            digit = static_cast<unsigned char>(s[pos]);
        }
        sum = sum * base + digit;
    }
    return negative ? int64_t(uint64_t(0) - sum) : int64_t(sum);
}

std::string trimStr(const std::string& text, bool left, bool right) {
    if (text.empty())
        return text;
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    size_t begin = 0;
    size_t end = text.size();
    if (left) {
        while (begin + 1 < end && blank(text[begin]))
            ++begin;
    }
    if (right) {
        while (end > begin && blank(text[end - 1]))
            --end;
    }
    return text.substr(begin, end - begin);
}

// --- memory ----------------------------------------------------------------------

void* allocBlock(size_t size, bool fill, uint8_t fillByte) {
    if (size == 0)
        return nullptr;
    void* p = std::malloc(size);
    if (p && fill)
        std::memset(p, fillByte, size);
    return p;
}

void* resizeBlock(void*& block, size_t newSize) {
    if (newSize == 0) {
        std::free(block);
        block = nullptr;
        return nullptr;
    }
    void* p = std::realloc(block, newSize);
    if (!p)
        return nullptr; // the old block stays valid and in place
    block = p;
    return p;
}

void freeBlock(void*& block) {
    std::free(block);
    block = nullptr;
}

uint32_t gcd(uint32_t a, uint32_t b) {
    if (a == 0 || b == 0)
        return 1;
    uint32_t x = std::max(a, b);
    uint32_t y = std::min(a, b);
    while (y) {
        const uint32_t r = x % y;
        x = y;
        y = r;
    }
    return x;
}

// --- base64 ------------------------------------------------------------------------

namespace {
const char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int b64Value(unsigned char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}
} // namespace

std::string base64Encode(const void* block, size_t length) {
    std::string out;
    if (!block || length == 0)
        return out;
    const auto* p = static_cast<const uint8_t*>(block);
    out.reserve((length + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        const uint32_t v = (uint32_t(p[i]) << 16) | (uint32_t(p[i + 1]) << 8) | p[i + 2];
        out.push_back(kB64[(v >> 18) & 63]);
        out.push_back(kB64[(v >> 12) & 63]);
        out.push_back(kB64[(v >> 6) & 63]);
        out.push_back(kB64[v & 63]);
    }
    const size_t rest = length - i;
    if (rest) {
        uint32_t v = uint32_t(p[i]) << 16;
        if (rest == 2)
            v |= uint32_t(p[i + 1]) << 8;
        out.push_back(kB64[(v >> 18) & 63]);
        out.push_back(kB64[(v >> 12) & 63]);
        out.push_back(rest == 2 ? kB64[(v >> 6) & 63] : '=');
        out.push_back('=');
    }
    return out;
}

std::string base64Decode(const std::string& text) {
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    uint32_t acc = 0;
    int symbols = 0;
    for (unsigned char c : text) {
        const int v = b64Value(c);
        if (v < 0)
            continue;
        acc = (acc << 6) | uint32_t(v);
        if (++symbols == 4) {
            out.push_back(char((acc >> 16) & 0xFF));
            out.push_back(char((acc >> 8) & 0xFF));
            out.push_back(char(acc & 0xFF));
            acc = 0;
            symbols = 0;
        }
    }
    if (symbols == 2) {
        out.push_back(char((acc >> 4) & 0xFF));
    } else if (symbols == 3) {
        out.push_back(char((acc >> 10) & 0xFF));
        out.push_back(char((acc >> 2) & 0xFF));
    }
    return out;
}

// --- wave formats ----------------------------------------------------------------------

std::string format2str(const WAVEFORMATEX* format) {
    if (!format)
        return std::string();
    return base64Encode(format, waveFormatRecordSize(*format));
}

bool str2format(const std::string& text, WAVEFORMATEX*& format) {
    const std::string bytes = base64Decode(text);
    if (bytes.empty())
        return false;
    // Room for the whole record: the fixed 18 bytes, and the extra bytes a
    // compressed format announces, even when the text was shorter.
    WAVEFORMATEX head{};
    std::memcpy(&head, bytes.data(), std::min(bytes.size(), sizeof head));
    size_t room = std::max(bytes.size(), sizeof(WAVEFORMATEX));
    if (head.wFormatTag != WAVE_FORMAT_PCM)
        room = std::max(room, size_t(waveFormatRecordSize(head)));
    void* block = allocBlock(room, true, 0);
    if (!block)
        return false;
    std::memcpy(block, bytes.data(), bytes.size());
    freeBlock(format);
    format = static_cast<WAVEFORMATEX*>(block);
    return true;
}

// --- diagnostics ----------------------------------------------------------------------

namespace {
std::mutex gSinkLock;
std::function<void(const std::string&)> gSink;
} // namespace

bool infoMessage(const std::string& text) {
    std::lock_guard<std::mutex> lock(gSinkLock);
    if (gSink)
        gSink(text);
    return true;
}

void setInfoMessageSink(std::function<void(const std::string&)> sink) {
    std::lock_guard<std::mutex> lock(gSinkLock);
    gSink = std::move(sink);
}

// --- level meter ----------------------------------------------------------------------

uint32_t waveLevel(const void* samples, uint32_t count, uint32_t bitsPerSample, uint32_t channel,
                   uint32_t channelCount, bool delta) {
    if (!samples || count == 0 || channelCount == 0 || channel >= channelCount)
        return 0;
    // Bytes one sample occupies when read; 4-bit samples are read as whole bytes.
    size_t sampleBytes;
    switch (bitsPerSample) {
    case 4:
    case 8:
        sampleBytes = 1;
        break;
    case 16:
        sampleBytes = 2;
        break;
    default:
        sampleBytes = std::clamp<size_t>(bitsPerSample / 8, 1, 4);
        break;
    }
    // Samples are found by bit position, so that samples smaller than a byte
    // (read as the whole byte holding them) never lead past the block.
    const auto* base = static_cast<const uint8_t*>(samples);
    if (bitsPerSample == 16 && !delta) {
        // The common case, measured for every captured block: whole 16-bit
        // samples, whose squares sum up in 64 bits (2^30 each, fewer than
        // 2^32 samples).
        uint64_t sum16 = 0;
        const uint8_t* p = base + size_t(channel) * 2;
        const size_t step = size_t(channelCount) * 2;
        for (uint32_t i = 0; i < count; ++i, p += step) {
            int16_t s;
            std::memcpy(&s, p, 2);
            sum16 += uint64_t(int32_t(s) * int32_t(s));
        }
        return uint32_t(std::llround(std::sqrt((long double)sum16 / count)));
    }
    const uint64_t stepBits = uint64_t(channelCount) * bitsPerSample;
    uint64_t bitPos = uint64_t(channel) * bitsPerSample;

    unsigned __int128 sum = 0; // 64 bits overflow with 32-bit samples
    int64_t previous = 0;
    for (uint32_t i = 0; i < count; ++i, bitPos += stepBits) {
        const uint8_t* p = base + bitPos / 8;
        int64_t v;
        if (bitsPerSample == 16) {
            int16_t s;
            std::memcpy(&s, p, 2);
            v = s;
        } else if (bitsPerSample == 8 || bitsPerSample == 4) {
            v = (int64_t(*p) - 128) * 256;
        } else {
            uint32_t raw = 0;
            for (size_t b = 0; b < sampleBytes; ++b)
                raw |= uint32_t(p[b]) << (8 * b);
            const unsigned shift = unsigned(32 - 8 * sampleBytes);
            v = int32_t(raw << shift) >> shift; // sign-extend
        }
        int64_t used = v;
        if (delta) {
            used = v > previous ? v - previous : previous - v;
            previous = v;
        }
        const uint64_t mag = uint64_t(used < 0 ? -used : used);
        sum += (unsigned __int128)mag * mag;
    }
    const long double mean = (long double)sum / count;
    return uint32_t(std::llround(std::sqrt(mean)));
}
