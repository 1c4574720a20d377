// Fuzz target: the MP3 encoder library's entry points called directly. The
// first 331 bytes are the BE_CONFIG record as they come (short inputs are
// padded with zeros); then, for a few rounds, a sample count and that many
// 16-bit samples go to beEncodeChunk; the stream is then finished and closed,
// with the calls a careless caller might repeat.
#include "fuzz/FuzzDefaults.h"
#include "libs/mp3enc/mp3enc.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" BE_ERR beInitStream(BE_CONFIG*, uint32_t*, uint32_t*, uint32_t*);
extern "C" BE_ERR beEncodeChunk(uint32_t, uint32_t, const int16_t*, uint8_t*, uint32_t*);
extern "C" BE_ERR beDeinitStream(uint32_t, uint8_t*, uint32_t*);
extern "C" BE_ERR beCloseStream(uint32_t);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BE_CONFIG config;
    const size_t head = std::min(size, sizeof config);
    std::memset(&config, 0, sizeof config);
    std::memcpy(&config, data, head);
    data += head;
    size -= head;

    uint32_t samplesPerChunk = 0, outBufferSize = 0, stream = 0;
    if (beInitStream(&config, &samplesPerChunk, &outBufferSize, &stream) != BE_ERR_SUCCESSFUL)
        return 0;
    if (samplesPerChunk == 0 || outBufferSize == 0)
        __builtin_trap(); // success must come with usable sizes
    // Output exactly as large as the library asked for.
    std::vector<uint8_t> out(outBufferSize);
    uint32_t written = 0;

    for (int round = 0; round < 4 && size >= 2; ++round) {
        // A count up to twice the chunk, so too-large counts are tried too.
        const uint16_t raw = uint16_t(data[0] | data[1] << 8);
        data += 2;
        size -= 2;
        const uint32_t count = raw % (2 * samplesPerChunk + 1);
        std::vector<int16_t> pcm(count);
        const size_t bytes = std::min(size, size_t(count) * 2);
        if (bytes) // an empty vector may hand out a null pointer
            std::memcpy(pcm.data(), data, bytes);
        data += bytes;
        size -= bytes;
        const BE_ERR rc = beEncodeChunk(stream, count, pcm.data(), out.data(), &written);
        if (rc == BE_ERR_SUCCESSFUL && written > outBufferSize)
            __builtin_trap();
    }
    if (beDeinitStream(stream, out.data(), &written) == BE_ERR_SUCCESSFUL &&
        written > outBufferSize)
        __builtin_trap();
    // After the end: more data and a second finish are refused or empty.
    int16_t one[2] = {0, 0};
    beEncodeChunk(stream, 2, one, out.data(), &written);
    beDeinitStream(stream, out.data(), &written);
    beCloseStream(stream);
    if (beCloseStream(stream) == BE_ERR_SUCCESSFUL)
        __builtin_trap(); // a closed handle must be unknown
    return 0;
}
