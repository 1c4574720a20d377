#include "bench/common/AllocCounter.h"

#include <atomic>
#include <cstddef>
#include <new>

namespace {
std::atomic<uint64_t> gAllocs{0};
}

uint64_t allocationCount() {
    return gAllocs.load();
}

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);

void* malloc(size_t n) {
    gAllocs.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(n);
}
void* calloc(size_t n, size_t m) {
    gAllocs.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, m);
}
void* realloc(void* p, size_t n) {
    gAllocs.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, n);
}
void free(void* p) {
    __libc_free(p);
}
}

void* operator new(size_t n) {
    gAllocs.fetch_add(1, std::memory_order_relaxed);
    if (void* p = __libc_malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    __libc_free(p);
}
void operator delete(void* p, size_t) noexcept {
    __libc_free(p);
}
