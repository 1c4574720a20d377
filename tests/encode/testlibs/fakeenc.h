// Test hooks of the fake encoder libraries built for the binding tests: the
// same six entry points as mp3enc.so (one variant lacks "beEncodeChunk"),
// producing predictable bytes and recording how they were called.
#pragma once

#include <cstdint>

struct FakeEncStats {
    int32_t tag;          // which build of the fake library this is
    int32_t loads;        // times the library's constructor ran
    int32_t inits;        // successful beInitStream calls
    int32_t encodes;      // beEncodeChunk calls
    int32_t deinits;      // beDeinitStream calls
    int32_t closes;       // beCloseStream calls
    int32_t overlaps;     // calls that began while another call was still inside
    uint32_t maxSamples;  // largest sample count one beEncodeChunk call received
    uint32_t lastSamples; // sample count of the latest beEncodeChunk call
    uint32_t openStreams; // streams initialised and not closed
};

using FAKEENC_STATS = void (*)(FakeEncStats*);
using FAKEENC_RESET = void (*)();
using FAKEENC_SETDELAY = void (*)(uint32_t ms);
using FAKEENC_SETFAILURE = void (*)(uint32_t initResult, uint32_t deinitResult,
                                    uint32_t encodeResult);

// Every beEncodeChunk of n samples writes n / 4 bytes, each the call's
// number (counted from 1, modulo 256); beDeinitStream writes
// kFakeFinalBytes bytes of kFakeFinalByte.
inline constexpr uint32_t kFakeFinalBytes = 100;
inline constexpr uint8_t kFakeFinalByte = 0xEE;
inline constexpr uint32_t kFakeOutBufferSize = 4096;
