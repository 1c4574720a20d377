#include "capture/WaveRepair.h"

#include "capture/WaveHeader.h"
#include "platform/files/RegularFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

using namespace wave_header;

namespace {

// Bytes of the file read to find the "fmt " and "data" chunks.
constexpr size_t kHeadBytes = 64 * 1024;

bool writeFully(int fd, const uint8_t* p, size_t n, off_t at) {
    while (n > 0) {
        const ssize_t w = ::pwrite(fd, p, n, at);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= size_t(w);
        at += w;
    }
    return true;
}

struct Layout {
    bool rf64 = false;
    uint32_t blockAlign = 0;
    uint64_t dataStart = 0;    // first sample byte
    uint64_t declaredData = 0; // what the header says
    uint64_t declaredRiff = 0;
    bool junkReserve = false; // a JUNK chunk of ds64 size right after the RIFF header
};

bool findLayout(const std::vector<uint8_t>& head, Layout& out) {
    if (head.size() < 12 || std::memcmp(&head[8], "WAVE", 4) != 0)
        return false;
    out.rf64 = std::memcmp(&head[0], "RF64", 4) == 0;
    if (!out.rf64 && std::memcmp(&head[0], "RIFF", 4) != 0)
        return false;
    out.declaredRiff = getU32(&head[4]);
    bool haveFmt = false;
    size_t pos = 12;
    while (pos + 8 <= head.size()) {
        const uint8_t* c = &head[pos];
        const uint64_t size = getU32(c + 4);
        if (std::memcmp(c, "ds64", 4) == 0 && pos == 12 && pos + 8 + 16 <= head.size()) {
            out.declaredRiff = getU64(c + 8);
            out.declaredData = getU64(c + 16);
        } else if (std::memcmp(c, "JUNK", 4) == 0 && pos == 12 && size >= kDs64DataSize) {
            out.junkReserve = true;
        } else if (std::memcmp(c, "fmt ", 4) == 0 && size >= 16 && pos + 8 + 16 <= head.size()) {
            WAVEFORMATEX f{};
            std::memcpy(&f, c + 8, 16);
            out.blockAlign = f.nBlockAlign;
            haveFmt = true;
        } else if (std::memcmp(c, "data", 4) == 0) {
            out.dataStart = pos + 8;
            if (!out.rf64 || size != kNoSize32)
                out.declaredData = size;
            return haveFmt && out.blockAlign > 0;
        }
        pos += 8 + size + (size & 1);
    }
    return false;
}

} // namespace

WaveRepairResult repairWaveFile(const std::string& path) {
    // A FIFO, a device or a folder is simply not a WAV file.
    const RegularFile file = openRegularFile(path, O_RDWR);
    if (!file.ok())
        return file.notRegular ? WaveRepairResult::NotWave : WaveRepairResult::Failed;
    const int fd = file.fd;
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    const uint64_t length = file.size;

    std::vector<uint8_t> head(size_t(std::min<uint64_t>(length, kHeadBytes)));
    size_t got = 0;
    while (got < head.size()) {
        const ssize_t n = ::pread(fd, head.data() + got, head.size() - got, off_t(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return WaveRepairResult::Failed;
        if (n == 0)
            break;
        got += size_t(n);
    }
    head.resize(got);
    Layout l;
    if (!findLayout(head, l) || l.dataStart > length)
        return WaveRepairResult::NotWave;

    const uint64_t available = length - l.dataStart;
    const uint64_t declaredEnd = l.dataStart + l.declaredData;
    // The header agrees when the data chunk lies within the file and the RIFF
    // size covers the file (a file may hold more chunks after the data).
    if (declaredEnd <= length && l.declaredRiff + 8 >= length - (length & 1) &&
        l.declaredRiff + 8 <= length + 1)
        return WaveRepairResult::Intact;

    uint64_t data = available - available % l.blockAlign;
    const uint64_t riff = l.dataStart + data - 8;
    if (l.declaredData == data && l.declaredRiff == riff)
        return WaveRepairResult::Intact; // repaired before: a partial frame follows
    if (l.rf64) {
        uint8_t ds64[16];
        putU64(ds64, riff);
        putU64(ds64 + 8, data);
        uint8_t frames[8];
        putU64(frames, data / l.blockAlign);
        if (!writeFully(fd, ds64, 16, 20) || !writeFully(fd, frames, 8, 36))
            return WaveRepairResult::Failed;
        return WaveRepairResult::Repaired;
    }
    if (riff > UINT32_MAX && l.junkReserve && l.dataStart == kSize) {
        // The recorder's own layout, grown past 4 GiB: turn it into RF64.
        Image image{};
        std::memcpy(image.data(), head.data(), kSize);
        setSizes(image, data, l.blockAlign);
        return writeFully(fd, image.data(), kSize, 0) ? WaveRepairResult::Repaired
                                                      : WaveRepairResult::Failed;
    }
    if (riff > UINT32_MAX) {
        // No room for 64-bit sizes: describe as much as 32 bits can.
        const uint64_t most = UINT32_MAX - (l.dataStart - 8);
        data = most - most % l.blockAlign;
    }
    uint8_t size[4];
    putU32(size, uint32_t(l.dataStart + data - 8));
    if (!writeFully(fd, size, 4, 4))
        return WaveRepairResult::Failed;
    putU32(size, uint32_t(data));
    if (!writeFully(fd, size, 4, off_t(l.dataStart - 4)))
        return WaveRepairResult::Failed;
    return WaveRepairResult::Repaired;
}
