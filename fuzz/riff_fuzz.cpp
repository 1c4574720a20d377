// Fuzz target: the RIFF WAVE reader over arbitrary file contents. The bytes
// become a RAM-backed file (MemoryFile: nothing is left on disk); one reader
// parses it once, walks its data chunks to the end without loop, then round
// again with loop, and, for compressed data, feeds the codec (opened once
// per input: every open starts the codec's thread).
#include "capture/unaMsAcm.h"
#include "capture/unaRiffStream.h"
#include "fuzz/FuzzDefaults.h"
#include "fuzz/MemoryFile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

// Largest chunk the target reads or converts.
constexpr uint32_t kMaxStep = 16u << 10;

MemoryFile* gFile = nullptr;

// One walk from the first data chunk: to the end without loop; with loop
// until about twice the file's bytes went by, so the reader wraps at least
// once. Returns nothing: the checks are the sanitizers'.
void walk(unaRiffStream& reader, unaMsAcmCodec* codec, std::vector<uint8_t>& out, bool loop,
          size_t fileSize) {
    reader.loop.store(loop);
    reader.rewind();
    reader.scanChunks(reader.riff()->root(), unaRiffStream::scanNextData);
    size_t budget = 2 * fileSize + 1;
    for (int i = 0; i < 16 && reader.fillBuffer(); ++i) {
        const std::vector<uint8_t>& chunk = reader.buffer();
        if (codec) {
            codec->write(chunk.data(), uint32_t(chunk.size()));
            while (codec->readOutput(out.data(), uint32_t(out.size())) > 0) {
            }
        }
        if (chunk.size() >= budget)
            break;
        budget -= chunk.size();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Inputs of up to 4 KiB: a WAV header, a few chunks and some data.
    fuzz_defaults::prepend(argc, argv, {"-max_len=4096"});
    gFile = new MemoryFile; // kept for the whole run
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    gFile->set(data, size);
    // The tree alone, from memory.
    unaRIFile image(data, uint64_t(size));
    (void)image.isRiff();

    unaRiffStream reader(gFile->path(), false, false, AcmRegistry());
    // A format asking for huge chunks is only parsed: a pass would spend its
    // time on megabytes of padding, the same code as for a small chunk.
    if (!reader.riff() || reader.chunkSize() > kMaxStep)
        return 0;
    unaMsAcmCodec* codec = reader.codec();
    if (codec && (codec->chunkSize() > kMaxStep || codec->open(false, 1000) != MMR_NOERROR))
        codec = nullptr;
    std::vector<uint8_t> out(codec ? codec->dstChunkSize() + 1 : 1);
    walk(reader, codec, out, false, size);
    walk(reader, codec, out, true, size);
    if (codec)
        codec->close(1000);
    return 0;
}
