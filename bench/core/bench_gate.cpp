// unaInProcessGate enter+leave against std::recursive_mutex lock+unlock,
// uncontended, flat and nested two deep.
#include "core/unaGate.h"

#include <benchmark/benchmark.h>

#include <mutex>

static void BM_GateEnterLeave(benchmark::State& state) {
    unaInProcessGate g;
    for (auto _ : state) {
        g.enter(INFINITE_TIMEOUT);
        benchmark::ClobberMemory();
        g.leave();
    }
}
BENCHMARK(BM_GateEnterLeave);

static void BM_RecursiveMutexLockUnlock(benchmark::State& state) {
    std::recursive_mutex m;
    for (auto _ : state) {
        m.lock();
        benchmark::ClobberMemory();
        m.unlock();
    }
}
BENCHMARK(BM_RecursiveMutexLockUnlock);

static void BM_GateNested(benchmark::State& state) {
    unaInProcessGate g;
    for (auto _ : state) {
        g.enter(INFINITE_TIMEOUT);
        g.enter(INFINITE_TIMEOUT);
        benchmark::ClobberMemory();
        g.leave();
        g.leave();
    }
}
BENCHMARK(BM_GateNested);

static void BM_RecursiveMutexNested(benchmark::State& state) {
    std::recursive_mutex m;
    for (auto _ : state) {
        m.lock();
        m.lock();
        benchmark::ClobberMemory();
        m.unlock();
        m.unlock();
    }
}
BENCHMARK(BM_RecursiveMutexNested);

// Through the abstract interface, as lists and streams of other layers may
// hold it.
static void BM_GateThroughBase(benchmark::State& state) {
    unaInProcessGate real;
    unaAbstractGate& g = real;
    for (auto _ : state) {
        g.enter(INFINITE_TIMEOUT);
        benchmark::ClobberMemory();
        g.leave();
    }
}
BENCHMARK(BM_GateThroughBase);

BENCHMARK_MAIN();
