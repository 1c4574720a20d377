// A fake MP3 encoder library with the encoder library's entry points, for
// the binding tests. Built twice with different FAKEENC_TAG values, and once
// more without "beEncodeChunk" (FAKEENC_NO_ENCODE).
#include "tests/encode/testlibs/fakeenc.h"

#include "libs/mp3enc/mp3enc.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::atomic<int32_t> g_loads{0}, g_inits{0}, g_encodes{0}, g_deinits{0}, g_closes{0}, g_overlaps{0},
    g_inside{0};
std::atomic<uint32_t> g_maxSamples{0}, g_lastSamples{0}, g_openStreams{0}, g_delayMs{0},
    g_initResult{0}, g_deinitResult{0}, g_encodeResult{0}, g_nextHandle{1};

// Marks a call as running and notices when two calls overlap.
struct Inside {
    Inside() {
        if (g_inside.fetch_add(1) != 0)
            g_overlaps.fetch_add(1);
    }
    ~Inside() { g_inside.fetch_sub(1); }
};

__attribute__((constructor)) void onLoad() {
    g_loads.fetch_add(1);
}

} // namespace

EXPORT void fakeenc_stats(FakeEncStats* s) {
    s->tag = FAKEENC_TAG;
    s->loads = g_loads;
    s->inits = g_inits;
    s->encodes = g_encodes;
    s->deinits = g_deinits;
    s->closes = g_closes;
    s->overlaps = g_overlaps;
    s->maxSamples = g_maxSamples;
    s->lastSamples = g_lastSamples;
    s->openStreams = g_openStreams;
}

EXPORT void fakeenc_reset() {
    g_inits = g_encodes = g_deinits = g_closes = g_overlaps = 0;
    g_maxSamples = g_lastSamples = g_openStreams = g_delayMs = 0;
    g_initResult = g_deinitResult = g_encodeResult = 0;
}

EXPORT void fakeenc_setDelay(uint32_t ms) {
    g_delayMs = ms;
}

EXPORT void fakeenc_setFailure(uint32_t initResult, uint32_t deinitResult, uint32_t encodeResult) {
    g_initResult = initResult;
    g_deinitResult = deinitResult;
    g_encodeResult = encodeResult;
}

EXPORT BE_ERR beInitStream(BE_CONFIG* config, uint32_t* samples, uint32_t* bufferSize,
                           uint32_t* stream) {
    Inside in;
    if (g_initResult)
        return g_initResult;
    if (!config || config->dwConfig != BE_CONFIG_LAME || config->dwStructSize != 331)
        return BE_ERR_INVALID_FORMAT;
    if (config->dwSampleRate == 0)
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    *samples = 1152u * (config->nMode == BE_MP3_MODE_MONO ? 1u : 2u);
    *bufferSize = kFakeOutBufferSize;
    *stream = g_nextHandle.fetch_add(1);
    g_inits.fetch_add(1);
    g_openStreams.fetch_add(1);
    return BE_ERR_SUCCESSFUL;
}

#ifndef FAKEENC_NO_ENCODE
EXPORT BE_ERR beEncodeChunk(uint32_t, uint32_t sampleCount, const int16_t* pcm, uint8_t* out,
                            uint32_t* outBytes) {
    Inside in;
    const int32_t call = g_encodes.fetch_add(1) + 1;
    g_lastSamples = sampleCount;
    uint32_t prev = g_maxSamples.load();
    while (sampleCount > prev && !g_maxSamples.compare_exchange_weak(prev, sampleCount)) {
    }
    if (const uint32_t d = g_delayMs.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(d));
    *outBytes = 0;
    if (g_encodeResult)
        return g_encodeResult;
    volatile int16_t touch = pcm[sampleCount ? sampleCount - 1 : 0]; // the whole block is read
    (void)touch;
    const uint32_t n = sampleCount / 4;
    std::memset(out, call & 0xFF, n);
    *outBytes = n;
    return BE_ERR_SUCCESSFUL;
}
#endif

EXPORT BE_ERR beDeinitStream(uint32_t, uint8_t* out, uint32_t* outBytes) {
    Inside in;
    g_deinits.fetch_add(1);
    *outBytes = 0;
    if (g_deinitResult)
        return g_deinitResult;
    std::memset(out, kFakeFinalByte, kFakeFinalBytes);
    *outBytes = kFakeFinalBytes;
    return BE_ERR_SUCCESSFUL;
}

EXPORT BE_ERR beCloseStream(uint32_t) {
    Inside in;
    g_closes.fetch_add(1);
    g_openStreams.fetch_sub(1);
    return BE_ERR_SUCCESSFUL;
}

EXPORT void beVersion(BE_VERSION* v) {
    std::memset(v, 0, sizeof *v);
    v->byDLLMajorVersion = 9;
    std::snprintf(v->zDescription, sizeof v->zDescription, "fake encoder %d", FAKEENC_TAG);
}

EXPORT BE_ERR beWriteVBRHeader(const char*) {
    return BE_ERR_SUCCESSFUL;
}
