// Heap allocations per captured chunk in the steady state of the recording
// chain (virtual card, wave-in pipe -> RIFF pipe -> WAV file). Every
// allocation of the process is counted (global operator new and the C
// allocator replaced in this program, which the shared platform library
// uses too), between chunk 100 and chunk 900.
//
// Two runs: the card paced at 16 times real time (a recording, sped up), and
// unpaced, where capture outruns the file writer and the writer's queue
// grows past its pool of spare blocks now and then.
#include "BenchChain.h"
#include "bench/common/AllocCounter.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <vector>

int main() {
    const std::string dir = std::filesystem::temp_directory_path() / "sonvale-bench-allocs";
    std::filesystem::create_directories(dir);
    const std::string raw = dir + "/feed.raw";
    {
        std::vector<char> feed(176400 * 3);
        for (size_t i = 0; i < feed.size(); ++i)
            feed[i] = char((i * 2654435761u) >> 13);
        std::ofstream(raw, std::ios::binary).write(feed.data(), std::streamsize(feed.size()));
    }
    const uint64_t first = 100, last = 900;
    for (double speed : {16.0, 0.0}) {
        uint64_t atFirst = 0, atLast = 0;
        BenchChain chain(raw, speed);
        chain.onChunk = [&](uint64_t chunk) {
            if (chunk == first)
                atFirst = allocationCount();
            if (chunk == last)
                atLast = allocationCount();
        };
        chain.record(dir + "/out.wav", last);
        const double perChunk = double(atLast - atFirst) / double(last - first);
        std::printf("%-22s heap allocations per chunk (chunks %llu..%llu): %.3f (%llu in total)\n",
                    speed > 0 ? "paced (16x real time)" : "unpaced", (unsigned long long)first,
                    (unsigned long long)last, perChunk, (unsigned long long)(atLast - atFirst));
    }
    std::filesystem::remove_all(dir);
    return 0;
}
