// Shared by the capture benchmarks: records a number of 100 ms buffers from a
// wave-in device, re-queueing each header as soon as it comes back (as the
// capture layer does with its 20 headers), optionally handing every buffer
// to a sink, and reports the CPU it took. Call from one thread; the sink runs
// on that thread or on the device's capture thread (onCaptureThread).
#pragma once

#include "bench/common/BenchUtil.h"
#include "bench/common/PipedRun.h"
#include "platform/audio/WaveIn.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <functional>
#include <mutex>
#include <vector>

inline double processCpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

struct CaptureRun {
    uint64_t bytes = 0;
    double cpu = 0;
    double wall = 0;
    bool ok = false;
};

// Captures `buffers` buffers of `size` bytes from device `id`, `queued` of
// them queued at a time; `sink`, when given, gets the recorded bytes of each
// buffer in order, before the buffer is queued again. With onCaptureThread
// the completed buffers are passed on and queued again inside the device's
// signal, on its capture thread, as the capture layer does while recording;
// otherwise the calling thread waits for the signal and does it.
inline CaptureRun captureBuffers(int id, const WAVEFORMATEX& f, uint32_t size, uint64_t buffers,
                                 const std::function<void(const char*, uint32_t)>& sink = nullptr,
                                 size_t queued = 20, bool onCaptureThread = false) {
    queued = size_t(std::min<uint64_t>(queued, std::max<uint64_t>(buffers, 1)));
    CaptureRun run;
    std::mutex m; // guards the buffer walk below and `signalled`
    std::condition_variable cv;
    bool signalled = false;
    HWAVEIN h = nullptr;
    std::vector<std::vector<char>> data(queued, std::vector<char>(size));
    std::vector<WAVEHDR> hdr(queued);
    uint64_t done = 0, added = queued;
    size_t next = 0;
    bool live = false; // buffers queued and not reset yet
    // Passes on the completed buffers in order and queues them again (m held).
    auto walk = [&] {
        while (done < buffers && (waveHeaderFlags(hdr[next]) & WHDR_DONE)) {
            run.bytes += hdr[next].dwBytesRecorded;
            if (sink)
                sink(hdr[next].lpData, hdr[next].dwBytesRecorded);
            ++done;
            if (added < buffers) {
                waveInAddBuffer(h, &hdr[next], sizeof(WAVEHDR));
                ++added;
            }
            next = (next + 1) % queued;
        }
    };
    auto signal = [&] {
        {
            std::lock_guard lock(m);
            if (onCaptureThread && live) {
                walk();
                if (done < buffers)
                    return;
            }
            signalled = true;
        }
        cv.notify_one(); // after unlocking: the waiter does not wake into a held mutex
    };
    const double cpu0 = processCpuSeconds(), wall0 = wallNow();
    if (MMRESULT r = waveInOpen(&h, id, &f, signal, CALLBACK_EVENT)) {
        std::fprintf(stderr, "waveInOpen failed: %u\n", r);
        return run;
    }
    {
        std::lock_guard lock(m);
        for (size_t i = 0; i < queued; ++i) {
            hdr[i] = WAVEHDR{};
            hdr[i].lpData = data[i].data();
            hdr[i].dwBufferLength = size;
            waveInPrepareHeader(h, &hdr[i], sizeof(WAVEHDR));
            waveInAddBuffer(h, &hdr[i], sizeof(WAVEHDR));
        }
        live = true;
    }
    waveInStart(h);
    for (;;) {
        std::unique_lock lock(m);
        if (!onCaptureThread)
            walk();
        if (done >= buffers) {
            live = false;
            break;
        }
        // The timeout only guards against a lost signal.
        cv.wait_for(lock, std::chrono::seconds(1), [&] { return signalled; });
        signalled = false;
    }
    waveInReset(h);
    for (auto& x : hdr)
        waveInUnprepareHeader(h, &x, sizeof(WAVEHDR));
    waveInClose(h);
    run.cpu = processCpuSeconds() - cpu0;
    run.wall = wallNow() - wall0;
    run.ok = true;
    return run;
}
