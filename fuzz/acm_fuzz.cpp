// Fuzz target: stream conversion of the compression manager. The input
// carries the source and destination format records (the source with as
// many extra bytes as its cbSize claims), a driver choice and the data; the
// data goes through acmStreamConvert in chunks whose sizes also come from
// the input, with the size queries and format suggestion on the way.
#include "fuzz/FuzzDefaults.h"
#include "platform/acm/Acm.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Reads from the input front to back; past the end it yields zeros.
struct Reader {
    const uint8_t* p;
    size_t n;
    uint8_t byte() {
        if (!n)
            return 0;
        --n;
        return *p++;
    }
    uint16_t word() {
        const uint8_t lo = byte();
        return uint16_t(lo | byte() << 8);
    }
    void bytes(void* out, size_t count) {
        const size_t m = std::min(count, n);
        if (m) // an empty buffer may be a null pointer
            std::memcpy(out, p, m);
        if (count > m)
            std::memset(static_cast<uint8_t*>(out) + m, 0, count - m);
        p += m;
        n -= m;
    }
};

HACMDRIVERID driverAt(unsigned index) {
    HACMDRIVERID found = nullptr;
    unsigned i = 0;
    acmDriverEnum(
        [&](HACMDRIVERID id, uint32_t) {
            if (i++ == index)
                found = id;
            return !found;
        },
        0);
    return found;
}

void convertAll(HACMSTREAM stream, Reader& in) {
    uint32_t probe = 0;
    acmStreamSize(stream, in.word(), &probe, ACM_STREAMSIZEF_SOURCE);
    acmStreamSize(stream, in.word(), &probe, ACM_STREAMSIZEF_DESTINATION);
    for (int round = 0; round < 8 && in.n; ++round) {
        // Source and destination sizes chosen by the input; both buffers are
        // exactly that large so any overrun shows.
        const uint32_t srcLen = std::min<uint32_t>(in.word() % 8192, uint32_t(in.n));
        uint32_t dstLen = in.word() % 65536;
        uint32_t wanted = 0;
        if (in.byte() & 1 &&
            acmStreamSize(stream, srcLen, &wanted, ACM_STREAMSIZEF_SOURCE) == MMR_NOERROR)
            dstLen = std::min<uint32_t>(wanted, 1u << 20);
        std::vector<uint8_t> src(srcLen);
        in.bytes(src.data(), srcLen);
        std::vector<uint8_t> dst(dstLen);
        ACMSTREAMHEADER h{};
        h.cbStruct = sizeof h;
        h.pbSrc = src.data();
        h.cbSrcLength = srcLen;
        h.pbDst = dst.data();
        h.cbDstLength = dstLen;
        if (!srcLen || !dstLen) {
            // Empty vectors may hand out null pointers; keep them valid.
            static uint8_t one;
            h.pbSrc = srcLen ? h.pbSrc : &one;
            h.pbDst = dstLen ? h.pbDst : &one;
        }
        if (acmStreamPrepareHeader(stream, &h, 0) != MMR_NOERROR)
            return;
        acmStreamConvert(stream, &h, ACM_STREAMCONVERTF_BLOCKALIGN);
        if (h.cbSrcLengthUsed > srcLen || h.cbDstLengthUsed > dstLen)
            __builtin_trap();
        acmStreamUnprepareHeader(stream, &h, 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    const uint8_t mode = in.byte();

    // Source record: 18 bytes, then cbSize more in a buffer of exactly that size.
    WAVEFORMATEX head;
    in.bytes(&head, sizeof head);
    std::vector<uint8_t> srcRecord(sizeof head + head.cbSize);
    std::memcpy(srcRecord.data(), &head, sizeof head);
    in.bytes(srcRecord.data() + sizeof head, head.cbSize);
    const auto* src = reinterpret_cast<const WAVEFORMATEX*>(srcRecord.data());

    WAVEFORMATEX dst;
    if (mode & 2) {
        if (acmFormatSuggest(nullptr, src, &dst, sizeof dst, 0) != MMR_NOERROR)
            in.bytes(&dst, sizeof dst);
    } else {
        in.bytes(&dst, sizeof dst);
    }

    // No driver (the manager picks one), or one of the drivers by index.
    HACMDRIVER driver = nullptr;
    if (mode & 4) {
        if (HACMDRIVERID id = driverAt((mode >> 4) & 3))
            acmDriverOpen(&driver, id, 0);
    }
    acmStreamOpen(nullptr, driver, src, &dst, ACM_STREAMOPENF_QUERY);
    HACMSTREAM stream = nullptr;
    if (acmStreamOpen(&stream, driver, src, &dst, 0) == MMR_NOERROR) {
        convertAll(stream, in);
        acmStreamClose(stream, 0);
    }
    if (driver)
        acmDriverClose(driver, 0);
    return 0;
}
