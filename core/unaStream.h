// Byte streams: the abstract interface, the chunk a memory stream is made
// of, and unaMemoryStream, the first-in first-out byte queue between a
// producer thread and a consumer thread (capture -> encoder, encoder ->
// file).
//
// Every operation that touches data runs under the stream's own gate, so one
// thread may write while another reads; each write and each read is atomic
// with respect to the other. Any thread may call any operation.
//
// unaMemoryStream keeps the written blocks as chunks in write order. A read
// copies from the oldest chunks; a chunk emptied by a read goes to a pool of
// at most 50 spare chunks (preferring the largest buffers), from which later
// writes take a buffer that is large enough. A steady flow of equally sized
// blocks therefore runs without heap allocation once the pool holds chunks.
#pragma once

#include "core/unaGate.h"
#include "core/unaList.h"
#include "core/unaObject.h"

#include <atomic>
#include <cstdint>

class unaAbstractStream : public unaObject {
public:
    unaAbstractStream() = default;
    ~unaAbstractStream() override = default;

    bool lock(uint32_t timeout = INFINITE_TIMEOUT) { return gate_.enter(timeout); }
    void unlock() { gate_.leave(); }

    bool isValid() const { return isValid_.load(std::memory_order_acquire); }

    // Sizes and positions are 64-bit: a file stream holds recordings far
    // past 2 and 4 GiB.
    // Slot 1: new position; the base returns getSize().
    virtual int64_t seek(int64_t position, bool fromBeginning = true);
    // Slot 2: new position; the base returns getSize().
    virtual int64_t seekRelative(int64_t delta);
    // Slot 3: the base returns 0.
    virtual int64_t getPosition();
    // Slot 5: the base does nothing.
    virtual void clear() {}
    // Slot 6: bytes written.
    virtual uint32_t write(const void* buffer, uint32_t size) = 0;
    // Slot 7: bytes read; with remove false the data stays (a peek).
    virtual uint32_t read(void* buffer, uint32_t size, bool remove = true) = 0;
    // Slot 8: bytes held (memory) or the file length (file).
    virtual int64_t getSize();
    // Slot 9: bytes a read could deliver now.
    virtual uint32_t getAvailableSize() = 0;
    // Writes size bytes at an absolute offset and leaves the position where
    // it was; returns the bytes written. The base seeks there, writes and
    // seeks back; a file stream does it in one positioned write.
    virtual uint32_t writeAt(int64_t offset, const void* buffer, uint32_t size);

protected:
    unaInProcessGate& gate() { return gate_; }
    void setValid(bool value) { isValid_.store(value, std::memory_order_release); }

    // Written under the gate; atomic so that observers may poll it.
    std::atomic<int64_t> size_{0};

private:
    std::atomic<bool> isValid_{false};
    unaInProcessGate gate_;
};

// One block of a memory stream. The buffer never shrinks; unread bytes are
// used() - readPos(). Owned by its stream; not locked by itself.
class unaStreamChunk : public unaObject {
public:
    unaStreamChunk(const void* block, uint32_t length) { assign(block, length); }
    ~unaStreamChunk() override;

    // Copies length bytes in (growing the buffer to exactly length when it is
    // smaller); a null block stores nothing and sets length 0.
    void assign(const void* block, uint32_t length);

    uint8_t* data() { return data_; }
    uint32_t allocated() const { return allocated_; }
    uint32_t used() const { return used_; }
    uint32_t readPos() const { return readPos_; }
    uint32_t unread() const { return used_ - readPos_; }
    void consume(uint32_t n) { readPos_ += n; }

private:
    uint8_t* data_ = nullptr;
    uint32_t allocated_ = 0;
    uint32_t used_ = 0;
    uint32_t readPos_ = 0;
};

class unaMemoryStream : public unaAbstractStream {
public:
    static constexpr uint32_t kDefaultMaxSpareChunks = 50;

    unaMemoryStream();
    ~unaMemoryStream() override;

    int64_t seek(int64_t position, bool fromBeginning = true) override;
    int64_t seekRelative(int64_t delta) override;
    int64_t getPosition() override { return 0; }
    // Moves every chunk to the pool (no limit applies here); size 0.
    void clear() override;
    // Stores a copy of the block; returns size (also for a null block or
    // size 0, when nothing is stored).
    uint32_t write(const void* buffer, uint32_t size) override;
    // Copies up to size bytes from the oldest data; with remove true they
    // leave the stream. A null buffer reads nothing and returns 0.
    uint32_t read(void* buffer, uint32_t size, bool remove = true) override;
    int64_t getSize() override;
    uint32_t getAvailableSize() override;

    // Unread bytes of the oldest chunk; 0 when empty.
    uint32_t firstChunkRemaining();

    // Pool observers (for tests and diagnostics).
    uint32_t chunkCount();
    uint32_t spareChunkCount();
    uint32_t maxSpareChunks() const { return maxSpareChunks_; }
    // Allocated sizes of the pooled chunks, in pool order (up to n of them).
    uint32_t spareChunkSizes(uint32_t* sizes, uint32_t n);

private:
    unaStreamChunk* chunk(unaObjectList& list, int32_t index) {
        return static_cast<unaStreamChunk*>(list.get(index));
    }
    void recycle(unaStreamChunk* c);

    unaObjectList chunks_{false, true};
    unaObjectList spareChunks_{false, true};
    uint32_t maxSpareChunks_ = kDefaultMaxSpareChunks;
};
