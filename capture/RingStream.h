// RingStream: the first-in first-out byte queue between the capture thread
// and the RIFF writer's thread, kept in one ring buffer. It starts with the
// capacity it is given and doubles whenever a write does not fit, never
// shrinking, so once it has reached the largest backlog of a recording,
// writing and reading a block allocate nothing however far the writer falls
// behind now and then (a loaded machine, a slow disk).
//
// Every operation runs under the stream's own gate: one thread may write
// while another reads. Any thread may call any operation.
#pragma once

#include "core/unaStream.h"

#include <cstdint>
#include <vector>

class RingStream : public unaAbstractStream {
public:
    explicit RingStream(uint32_t initialCapacity);
    ~RingStream() override;

    // Empties the queue; the capacity stays.
    void clear() override;
    // Queues a copy of the bytes, growing the ring when they do not fit;
    // returns size (0 for a null buffer).
    uint32_t write(const void* buffer, uint32_t size) override;
    // Copies up to size of the oldest bytes; with remove false they stay.
    uint32_t read(void* buffer, uint32_t size, bool remove = true) override;
    int64_t getSize() override;
    uint32_t getAvailableSize() override;

    // Bytes the ring holds without growing.
    uint64_t capacity();

private:
    std::vector<uint8_t> ring_; // guarded by the gate
    size_t head_ = 0;           // oldest byte
    size_t used_ = 0;
};
