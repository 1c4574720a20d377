// A first-in first-out queue over one power-of-two ring that grows by
// doubling and never shrinks: once it has reached its working size, pushing
// and popping allocate nothing (the capture path and the speakers' monitor
// rely on that).
//
// Not thread-safe: its owner guards it.
#pragma once

#include <cstddef>
#include <vector>

template <typename T> class RingQueue {
public:
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    void clear() { head_ = size_ = 0; }
    // i counts from the oldest element.
    T& operator[](size_t i) { return buf_[(head_ + i) & mask_]; }
    const T& operator[](size_t i) const { return buf_[(head_ + i) & mask_]; }
    T& front() { return (*this)[0]; }
    void push_back(const T& v) {
        if (size_ == buf_.size())
            grow();
        push_unchecked(v);
    }
    // Makes room for n more elements; push_unchecked may then be called n times.
    void reserveMore(size_t n) {
        while (buf_.size() < size_ + n)
            grow();
    }
    // Appends n elements left for the caller to fill, and returns where they
    // are: `first` then `second` (empty unless the ring wraps), oldest first.
    struct Spans {
        T* first;
        size_t firstCount;
        T* second;
        size_t secondCount;
    };
    Spans extend(size_t n) {
        reserveMore(n);
        const size_t start = (head_ + size_) & mask_;
        const size_t tail = buf_.size() - start;
        size_ += n;
        if (n <= tail)
            return {buf_.data() + start, n, nullptr, 0};
        return {buf_.data() + start, tail, buf_.data(), n - tail};
    }
    void push_unchecked(const T& v) {
        buf_[(head_ + size_) & mask_] = v;
        ++size_;
    }
    void pop_front() { eraseFront(1); }
    void eraseFront(size_t n) {
        n = n < size_ ? n : size_;
        head_ = (head_ + n) & mask_;
        size_ -= n;
    }

private:
    void grow() {
        std::vector<T> next(buf_.empty() ? 64 : buf_.size() * 2);
        for (size_t i = 0; i < size_; ++i)
            next[i] = (*this)[i];
        buf_.swap(next);
        mask_ = buf_.size() - 1;
        head_ = 0;
    }
    std::vector<T> buf_;
    size_t mask_ = 0;
    size_t head_ = 0;
    size_t size_ = 0;
};
