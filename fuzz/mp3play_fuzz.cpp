// Fuzz target: the MP3 player library's decoding over damaged MP3 files.
// Every input becomes a RAM-backed file that is opened as the player opens
// it (regular-file check, information frame or frame count for the length),
// decoded to its end, sought into and decoded again. Opening must fail
// cleanly or the decoding must end; nothing may read out of bounds.
#include "fuzz/FuzzDefaults.h"
#include "fuzz/MemoryFile.h"
#include "platform/media/Mp3Input.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemoryFile file;
    file.set(data, size);
    Mp3Input input;
    std::string error;
    if (!input.open(file.path(), &error))
        return 0;
    std::vector<uint8_t> pcm(1152 * 4);
    // Bounded work per input: a few seconds of sound at most.
    size_t budget = 4u << 20;
    for (int pass = 0; pass < 2; ++pass) {
        for (;;) {
            size_t got = 0;
            const Mp3Input::Read r = input.read(pcm.data(), pcm.size(), &got, &error);
            if (r != Mp3Input::Read::Data || got > pcm.size() || got >= budget)
                break;
            budget -= got;
        }
        input.seek(input.lengthSamples() / 2);
    }
    input.close();
    return 0;
}
