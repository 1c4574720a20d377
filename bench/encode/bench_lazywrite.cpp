// The capture side's cost: how long one lazyWrite of a 100 ms block
// (17,640 bytes) takes while the writer thread is busy encoding, and whether
// it allocates once the queue's chunk pool is warm.
//
// The feeder keeps about two blocks queued, so the writer is always in the
// middle of an encode step when the next block arrives.
//
// usage: bench_lazywrite [calls=3000]
#include "bench_signal.h"
#include "encode/unaBladeMp3Enc.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

// Heap allocations made by the thread that has counting switched on. malloc
// itself is wrapped (glibc), so buffers from malloc and from new both count.
thread_local bool t_counting = false;
std::atomic<long> g_allocations{0};

void count() {
    if (t_counting)
        g_allocations.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* malloc(size_t n) {
    count();
    return __libc_malloc(n);
}
void* calloc(size_t n, size_t m) {
    count();
    return __libc_calloc(n, m);
}
void* realloc(void* p, size_t n) {
    count();
    return __libc_realloc(p, n);
}
}

int main(int argc, char** argv) {
    const int calls = argc > 1 ? std::max(100, std::atoi(argv[1])) : 3000;
    const int warmup = 200;
    std::string why;
    const std::vector<uint8_t> pcm = makeMusicPcm(10, why);
    if (pcm.empty()) {
        std::fprintf(stderr, "no test signal: %s\n", why.c_str());
        return 1;
    }
    unaLameMp3Enc enc(MP3ENC_PATH);
    const std::vector<uint8_t> cfg = cbr128StereoConfig();
    if (enc.lastError() != 0 || enc.setConfig(cfg.data()) != 0 || enc.open() != 0) {
        std::fprintf(stderr, "cannot set up the encoder over %s\n", MP3ENC_PATH);
        return 1;
    }
    std::atomic<long> delivered{0};
    enc.onDataAvailable = [&](unaAbstractEncoder*, const void*, uint32_t size, bool&) {
        delivered.fetch_add(size, std::memory_order_relaxed);
    };

    const uint32_t block = 17640;
    std::vector<double> us;
    us.reserve(size_t(calls));
    long allocationsWarm = 0;
    int firstAllocatingCall = -1;
    size_t pos = 0;
    for (int i = 0; i < warmup + calls; ++i) {
        while (enc.writer().queuedBytes() > 2 * block)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (pos + block > pcm.size())
            pos = 0;
        const long before = g_allocations.load();
        t_counting = true;
        const auto t0 = std::chrono::steady_clock::now();
        enc.lazyWrite(pcm.data() + pos, block);
        const auto t1 = std::chrono::steady_clock::now();
        t_counting = false;
        pos += block;
        if (i >= warmup) {
            us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
            const long n = g_allocations.load() - before;
            if (n && firstAllocatingCall < 0)
                firstAllocatingCall = i - warmup;
            allocationsWarm += n;
        }
    }
    enc.close();
    std::sort(us.begin(), us.end());
    std::printf("lazyWrite of %u bytes while the writer encodes (%d calls after %d warm-up):\n",
                block, calls, warmup);
    std::printf("  median %.2f us, p99 %.2f us, max %.2f us\n", us[us.size() / 2],
                us[us.size() * 99 / 100], us.back());
    std::printf("  heap allocations by the calling thread once warm: %ld", allocationsWarm);
    if (firstAllocatingCall >= 0)
        std::printf(" (first at measured call %d)", firstAllocatingCall);
    std::printf("\n");
    std::printf("  encoded bytes delivered: %ld\n", delivered.load());
    return 0;
}
