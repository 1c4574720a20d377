// unaMemoryStream moving 17,640-byte blocks (100 ms of CD audio) against a
// std::deque<std::vector<char>> FIFO guarded by a std::mutex, in one thread
// (write then read) and with a writer thread and a reader thread.
//
// Heap allocations are counted by the program-wide allocation counter; the counter
// "allocs/block" is the number of allocations per block moved.
#include "bench/common/AllocCounter.h"
#include "core/unaStream.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

// --- the peer ---------------------------------------------------------------------------------

class DequeFifo {
public:
    void write(const void* p, size_t n) {
        std::lock_guard<std::mutex> g(lock_);
        const char* c = static_cast<const char*>(p);
        q_.emplace_back(c, c + n);
        pending_ += n;
    }
    size_t read(void* out, size_t n) {
        std::lock_guard<std::mutex> g(lock_);
        if (q_.empty())
            return 0;
        std::vector<char>& front = q_.front();
        const size_t m = std::min(n, front.size());
        std::memcpy(out, front.data(), m);
        pending_ -= front.size();
        q_.pop_front();
        return m;
    }
    size_t pending() {
        std::lock_guard<std::mutex> g(lock_);
        return pending_;
    }

private:
    std::mutex lock_;
    std::deque<std::vector<char>> q_;
    size_t pending_ = 0;
};

// --- benchmarks -------------------------------------------------------------------------------

constexpr size_t kBlock = 17640;
constexpr int kBlocksPerRound = 256;

struct StreamFifo {
    unaMemoryStream s;
    void write(const void* p, size_t n) { s.write(p, uint32_t(n)); }
    size_t read(void* out, size_t n) { return s.read(out, uint32_t(n), true); }
    size_t pending() { return size_t(s.getSize()); }
};

template <class Fifo> static void singleThread(benchmark::State& state) {
    Fifo fifo;
    const size_t block = size_t(state.range(0));
    std::vector<char> in(block, 'x'), out(block);
    // warm up: let pools and containers reach their working size
    for (int i = 0; i < 64; ++i) {
        fifo.write(in.data(), block);
        fifo.read(out.data(), block);
    }
    const uint64_t before = allocationCount();
    uint64_t blocks = 0;
    for (auto _ : state) {
        fifo.write(in.data(), block);
        benchmark::DoNotOptimize(fifo.read(out.data(), block));
        ++blocks;
    }
    const uint64_t allocs = allocationCount() - before;
    state.SetBytesProcessed(int64_t(blocks * block));
    state.counters["allocs/block"] = blocks ? double(allocs) / double(blocks) : 0.0;
}

// A writer thread and a reader thread (the benchmark's own). The writer
// stays at most kMaxLag blocks ahead, as a capture thread does that delivers
// in real time to a consumer that keeps up; both FIFOs get the same rule.
constexpr size_t kMaxLag = 32;

template <class Fifo> static void twoThreads(benchmark::State& state) {
    Fifo fifo;
    std::vector<char> out(kBlock);
    std::atomic<int> rounds{0};
    std::atomic<bool> quit{false};
    std::thread writer([&] {
        std::vector<char> in(kBlock, 'y');
        int done = 0;
        for (;;) {
            while (rounds.load(std::memory_order_acquire) == done) {
                if (quit.load(std::memory_order_acquire))
                    return;
                std::this_thread::yield();
            }
            ++done;
            for (int i = 0; i < kBlocksPerRound; ++i) {
                while (fifo.pending() > kMaxLag * kBlock)
                    std::this_thread::yield();
                fifo.write(in.data(), kBlock);
            }
        }
    });
    auto round = [&] {
        rounds.fetch_add(1, std::memory_order_release);
        size_t got = 0;
        while (got < kBlock * kBlocksPerRound) {
            const size_t n = fifo.read(out.data(), kBlock);
            if (n == 0)
                std::this_thread::yield();
            got += n;
        }
    };
    round(); // warm up
    const uint64_t before = allocationCount();
    uint64_t blocks = 0;
    for (auto _ : state) {
        round();
        blocks += kBlocksPerRound;
    }
    const uint64_t allocs = allocationCount() - before;
    quit.store(true, std::memory_order_release);
    writer.join();
    state.SetBytesProcessed(int64_t(blocks * kBlock));
    state.counters["allocs/block"] = blocks ? double(allocs) / double(blocks) : 0.0;
}

static void BM_MemoryStream_SingleThread(benchmark::State& s) {
    singleThread<StreamFifo>(s);
}
static void BM_DequeFifo_SingleThread(benchmark::State& s) {
    singleThread<DequeFifo>(s);
}
static void BM_MemoryStream_WriterReader(benchmark::State& s) {
    twoThreads<StreamFifo>(s);
}
static void BM_DequeFifo_WriterReader(benchmark::State& s) {
    twoThreads<DequeFifo>(s);
}

// 17,640 bytes is the real block; 64 bytes shows the bookkeeping per block.
BENCHMARK(BM_MemoryStream_SingleThread)->Arg(int64_t(kBlock))->Arg(64);
BENCHMARK(BM_DequeFifo_SingleThread)->Arg(int64_t(kBlock))->Arg(64);
BENCHMARK(BM_MemoryStream_WriterReader)->UseRealTime();
BENCHMARK(BM_DequeFifo_WriterReader)->UseRealTime();

BENCHMARK_MAIN();
