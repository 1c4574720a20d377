// Fuzz target: the RIFF WAVE reader over arbitrary file contents. The bytes
// become a RAM-backed file (MemoryFile: nothing is left on disk); the reader
// parses it, walks its data chunks to the end (with and without loop) and,
// for compressed data, feeds the codec.
#include "capture/unaMsAcm.h"
#include "capture/unaRiffStream.h"
#include "fuzz/MemoryFile.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Largest chunk the target reads or converts.
constexpr uint32_t kMaxStep = 16u << 10;

void drive(const std::string& name, bool loop) {
    unaRiffStream reader(name, false, loop, AcmRegistry());
    unaRIFile* riff = reader.riff();
    // A format asking for huge chunks is only parsed: a pass would spend its
    // time on megabytes of padding, the same code as for a small chunk.
    if (!riff || reader.chunkSize() > kMaxStep)
        return;
    reader.rewind();
    reader.scanChunks(riff->root(), unaRiffStream::scanNextData);
    unaMsAcmCodec* codec = reader.codec();
    // Conversion in bounded steps too.
    if (codec && (codec->chunkSize() > kMaxStep || codec->open(false, 1000) != MMR_NOERROR))
        codec = nullptr;
    std::vector<uint8_t> out(codec ? codec->dstChunkSize() + 1 : 1);
    // Enough passes to reach the end of any input the fuzzer makes (with
    // loop the reader wraps around instead), within a bounded amount of work:
    // a few times the largest input.
    size_t budget = 16u << 10;
    for (int i = 0; i < 16 && reader.fillBuffer(); ++i) {
        const std::vector<uint8_t>& chunk = reader.buffer();
        if (codec) {
            codec->write(chunk.data(), uint32_t(chunk.size()));
            while (codec->readOutput(out.data(), uint32_t(out.size())) > 0) {
            }
        }
        if (reader.isEof() || chunk.size() >= budget)
            break;
        budget -= chunk.size();
    }
    if (codec)
        codec->close(1000);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemoryFile file;
    file.set(data, size);
    const std::string& name = file.path();
    // The tree alone, from memory.
    unaRIFile image(data, uint64_t(size));
    (void)image.isRiff();
    drive(name, false);
    drive(name, true);
    return 0;
}
