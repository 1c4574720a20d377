#include "core/unaStream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

// --- unaAbstractStream -------------------------------------------------------------

int64_t unaAbstractStream::seek(int64_t, bool) {
    return getSize();
}

int64_t unaAbstractStream::seekRelative(int64_t) {
    return getSize();
}

int64_t unaAbstractStream::getPosition() {
    return 0;
}

int64_t unaAbstractStream::getSize() {
    return size_.load(std::memory_order_acquire);
}

uint32_t unaAbstractStream::writeAt(int64_t offset, const void* buffer, uint32_t size) {
    unaGateGuard<unaInProcessGate> g(gate_);
    const int64_t was = getPosition();
    if (seek(offset, true) != offset)
        return 0;
    const uint32_t n = write(buffer, size);
    seek(was, true);
    return n;
}

// --- unaStreamChunk ----------------------------------------------------------------

unaStreamChunk::~unaStreamChunk() {
    std::free(data_);
}

void unaStreamChunk::assign(const void* block, uint32_t length) {
    if (!block)
        length = 0;
    if (allocated_ < length) {
        void* grown = std::realloc(data_, length);
        if (!grown)
            throw std::bad_alloc();
        data_ = static_cast<uint8_t*>(grown);
        allocated_ = length;
    }
    if (length)
        std::memcpy(data_, block, length);
    used_ = length;
    readPos_ = 0;
}

// --- unaMemoryStream ---------------------------------------------------------------

unaMemoryStream::unaMemoryStream() {
    setValid(true);
}

unaMemoryStream::~unaMemoryStream() {
    unaGateGuard<unaInProcessGate> g(gate());
    clear();
    spareChunks_.clear(unaList::relFree);
}

int64_t unaMemoryStream::seek(int64_t, bool) {
    return getSize();
}

int64_t unaMemoryStream::seekRelative(int64_t) {
    return getSize();
}

void unaMemoryStream::clear() {
    unaGateGuard<unaInProcessGate> g(gate());
    for (uint32_t i = 0; i < chunks_.count(); ++i)
        spareChunks_.add(chunks_.get(int32_t(i)));
    chunks_.clear(unaList::relKeep);
    size_.store(0, std::memory_order_release);
}

uint32_t unaMemoryStream::write(const void* buffer, uint32_t size) {
    if (!buffer || size == 0)
        return size;
    unaGateGuard<unaInProcessGate> g(gate());
    unaStreamChunk* c = nullptr;
    const uint32_t spares = spareChunks_.count();
    if (spares > 0) {
        int32_t pick = int32_t(spares - 1);
        for (uint32_t i = 0; i < spares; ++i) {
            if (chunk(spareChunks_, int32_t(i))->allocated() >= size) {
                pick = int32_t(i);
                break;
            }
        }
        c = chunk(spareChunks_, pick);
        spareChunks_.removeByIndex(pick, unaList::relKeep);
        try {
            c->assign(buffer, size);
        } catch (...) {
            spareChunks_.add(c);
            throw;
        }
    } else {
        c = new unaStreamChunk(buffer, size);
    }
    chunks_.add(c);
    // only changed under the gate: no read-modify-write needed
    size_.store(size_.load(std::memory_order_relaxed) + int64_t(size), std::memory_order_release);
    return size;
}

void unaMemoryStream::recycle(unaStreamChunk* c) {
    if (spareChunks_.count() < maxSpareChunks_) {
        spareChunks_.add(c);
        return;
    }
    // Full pool: the new chunk replaces the first smaller one, if any.
    for (uint32_t i = 0; i < spareChunks_.count(); ++i) {
        unaStreamChunk* pooled = chunk(spareChunks_, int32_t(i));
        if (pooled->allocated() < c->allocated()) {
            spareChunks_.setItem(int32_t(i), c, unaList::relKeep);
            delete pooled;
            return;
        }
    }
    delete c;
}

uint32_t unaMemoryStream::read(void* buffer, uint32_t size, bool remove) {
    if (size == 0 || !buffer)
        return 0;
    unaGateGuard<unaInProcessGate> g(gate());
    uint32_t wanted = uint32_t(std::min<int64_t>(std::max<int64_t>(getSize(), 0), size));
    uint32_t done = 0;
    auto* out = static_cast<uint8_t*>(buffer);
    int32_t index = 0;
    while (wanted > 0 && uint32_t(index) < chunks_.count()) {
        unaStreamChunk* c = chunk(chunks_, index);
        const uint32_t n = std::min(c->unread(), wanted);
        if (n) {
            std::memcpy(out + done, c->data() + c->readPos(), n);
            if (remove)
                c->consume(n);
            done += n;
            wanted -= n;
        }
        if (remove && c->unread() == 0) {
            chunks_.removeByIndex(index, unaList::relKeep);
            recycle(c);
        } else {
            ++index;
        }
    }
    if (remove)
        size_.store(size_.load(std::memory_order_relaxed) - int64_t(done),
                    std::memory_order_release);
    return done;
}

int64_t unaMemoryStream::getSize() {
    return size_.load(std::memory_order_acquire);
}

uint32_t unaMemoryStream::getAvailableSize() {
    return uint32_t(std::clamp<int64_t>(getSize(), 0, UINT32_MAX));
}

uint32_t unaMemoryStream::firstChunkRemaining() {
    unaGateGuard<unaInProcessGate> g(gate());
    return chunks_.count() ? chunk(chunks_, 0)->unread() : 0;
}

uint32_t unaMemoryStream::chunkCount() {
    unaGateGuard<unaInProcessGate> g(gate());
    return chunks_.count();
}

uint32_t unaMemoryStream::spareChunkCount() {
    unaGateGuard<unaInProcessGate> g(gate());
    return spareChunks_.count();
}

uint32_t unaMemoryStream::spareChunkSizes(uint32_t* sizes, uint32_t n) {
    unaGateGuard<unaInProcessGate> g(gate());
    const uint32_t m = std::min(n, spareChunks_.count());
    for (uint32_t i = 0; i < m; ++i)
        sizes[i] = chunk(spareChunks_, int32_t(i))->allocated();
    return m;
}
