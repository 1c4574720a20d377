// A byte store that only grows at its end, in fixed blocks: appending never
// moves what is already kept, so keeping minutes of sound costs one copy per
// byte and touches each fresh page once (a growing vector copies and
// page-faults everything again at each doubling). The virtual speakers keep
// what they play in one of these.
//
// Not thread-safe: its owner guards it.
#pragma once

#include <sys/mman.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

class ChunkedBytes {
public:
    static constexpr size_t kBlock = size_t(1) << 20;

    size_t size() const { return size_; }

    void append(const uint8_t* data, size_t bytes) {
        while (bytes > 0) {
            const size_t used = size_ % kBlock;
            if (used == 0 && size_ / kBlock == blocks_.size())
                blocks_.push_back(newBlock());
            const size_t n = std::min(bytes, kBlock - used);
            std::memcpy(blocks_[size_ / kBlock].get() + used, data, n);
            data += n;
            bytes -= n;
            size_ += n;
        }
    }

    // Drops every byte and gives the blocks back.
    void clear() {
        blocks_.clear();
        size_ = 0;
    }

    std::vector<uint8_t> toVector() const {
        std::vector<uint8_t> out(size_);
        for (size_t at = 0; at < size_; at += kBlock)
            std::memcpy(out.data() + at, blocks_[at / kBlock].get(), std::min(kBlock, size_ - at));
        return out;
    }

private:
    struct Unmap {
        void operator()(uint8_t* p) const { munmap(p, kBlock); }
    };
    using Block = std::unique_ptr<uint8_t[], Unmap>;

    // Mapped with its pages populated in one call: far cheaper than taking
    // the 256 page faults one by one while copying into it.
    static Block newBlock() {
        void* p = mmap(nullptr, kBlock, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        if (p == MAP_FAILED)
            throw std::bad_alloc();
        return Block(static_cast<uint8_t*>(p));
    }

    std::vector<Block> blocks_;
    size_t size_ = 0;
};
