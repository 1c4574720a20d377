// Heap allocations per captured chunk in the steady state of the recording
// chain (virtual card, wave-in pipe -> RIFF pipe -> WAV file). Every
// allocation of the process is counted (global operator new and the C
// allocator replaced in this program, which the shared platform library
// uses too), between chunk 100 and chunk 900.
//
// Three runs: the card paced at 16 times real time (a recording, sped up);
// the same while two child processes spin on the CPU (a loaded machine, so
// the writer falls behind now and then); and unpaced, where capture
// outruns the file writer and the writer's queue grows past its pool of
// spare blocks now and then.
#include "BenchChain.h"
#include "bench/common/AllocCounter.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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
    struct Mode {
        const char* name;
        double speed;
        bool loaded;
    };
    for (const Mode& mode :
         {Mode{"paced (16x real time)", 16.0, false}, Mode{"paced, 2 busy children", 16.0, true},
          Mode{"unpaced", 0.0, false}}) {
        std::vector<pid_t> busy;
        for (int i = 0; mode.loaded && i < 2; ++i) {
            const pid_t pid = fork();
            if (pid == 0)
                for (volatile uint64_t n = 0;; n = n + 1) {
                }
            if (pid > 0)
                busy.push_back(pid);
        }
        const double speed = mode.speed;
        uint64_t atFirst = 0, atLast = 0;
        BenchChain chain(raw, speed);
        chain.onChunk = [&](uint64_t chunk) {
            if (chunk == first)
                atFirst = allocationCount();
            if (chunk == last)
                atLast = allocationCount();
        };
        chain.record(dir + "/out.wav", last);
        for (pid_t pid : busy) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        const double perChunk = double(atLast - atFirst) / double(last - first);
        std::printf("%-22s heap allocations per chunk (chunks %llu..%llu): %.3f (%llu in total)\n",
                    mode.name, (unsigned long long)first, (unsigned long long)last, perChunk,
                    (unsigned long long)(atLast - atFirst));
    }
    std::filesystem::remove_all(dir);
    return 0;
}
