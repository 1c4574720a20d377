#include "capture/RingStream.h"

#include <algorithm>
#include <cstring>

RingStream::RingStream(uint32_t initialCapacity) : ring_(std::max<uint32_t>(initialCapacity, 1)) {
    setValid(true);
}

RingStream::~RingStream() = default;

void RingStream::clear() {
    unaGateGuard<unaInProcessGate> g(gate());
    head_ = used_ = 0;
    size_.store(0, std::memory_order_release);
}

uint32_t RingStream::write(const void* buffer, uint32_t size) {
    if (!buffer)
        return 0;
    if (size == 0)
        return 0;
    unaGateGuard<unaInProcessGate> g(gate());
    if (ring_.size() - used_ < size) {
        // Grow to the next power-of-two multiple that fits, the queued bytes
        // moved to the start of the new ring.
        size_t capacity = ring_.size();
        while (capacity - used_ < size)
            capacity *= 2;
        std::vector<uint8_t> bigger(capacity);
        const size_t first = std::min(used_, ring_.size() - head_);
        std::memcpy(bigger.data(), ring_.data() + head_, first);
        std::memcpy(bigger.data() + first, ring_.data(), used_ - first);
        ring_.swap(bigger);
        head_ = 0;
    }
    const auto* in = static_cast<const uint8_t*>(buffer);
    const size_t tail = (head_ + used_) % ring_.size();
    const size_t first = std::min<size_t>(size, ring_.size() - tail);
    std::memcpy(ring_.data() + tail, in, first);
    std::memcpy(ring_.data(), in + first, size - first);
    used_ += size;
    size_.store(int64_t(used_), std::memory_order_release);
    return size;
}

uint32_t RingStream::read(void* buffer, uint32_t size, bool remove) {
    if (!buffer || size == 0)
        return 0;
    unaGateGuard<unaInProcessGate> g(gate());
    const size_t n = std::min<size_t>(size, used_);
    auto* out = static_cast<uint8_t*>(buffer);
    const size_t first = std::min(n, ring_.size() - head_);
    std::memcpy(out, ring_.data() + head_, first);
    std::memcpy(out + first, ring_.data(), n - first);
    if (remove) {
        head_ = (head_ + n) % ring_.size();
        used_ -= n;
        if (used_ == 0)
            head_ = 0; // the next block is written in one piece
        size_.store(int64_t(used_), std::memory_order_release);
    }
    return uint32_t(n);
}

int64_t RingStream::getSize() {
    return size_.load(std::memory_order_acquire);
}

uint32_t RingStream::getAvailableSize() {
    return uint32_t(std::min<int64_t>(getSize(), UINT32_MAX));
}

uint64_t RingStream::capacity() {
    unaGateGuard<unaInProcessGate> g(gate());
    return ring_.size();
}
