#include "AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SORVANE_SANITIZED 1
#else
#define SORVANE_SANITIZED 0
#endif

// Our operator new hands out malloc'ed memory, so our operator delete frees it.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
std::atomic<long> gTotal{0};
thread_local long tCount = 0;

void* counted(std::size_t n) {
    gTotal.fetch_add(1, std::memory_order_relaxed);
    ++tCount;
    return std::malloc(n ? n : 1);
}

void* countedAligned(std::size_t n, std::align_val_t a) {
    gTotal.fetch_add(1, std::memory_order_relaxed);
    ++tCount;
    const std::size_t al = std::size_t(a);
    return std::aligned_alloc(al, (n + al - 1) / al * al);
}
} // namespace

namespace allocations {
long total() {
    return gTotal.load(std::memory_order_relaxed);
}
long onThisThread() {
    return tCount;
}
} // namespace allocations

void* operator new(std::size_t n) {
    if (void* p = counted(n)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    return operator new(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return counted(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return counted(n);
}
void* operator new(std::size_t n, std::align_val_t a) {
    if (void* p = countedAligned(n, a)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n, std::align_val_t a) {
    return operator new(n, a);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}

#if !SORVANE_SANITIZED
// The sanitizers bring their own C allocator; elsewhere the calling thread's C allocations
// count too.
extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);
extern "C" void* malloc(std::size_t n) {
    ++tCount;
    return __libc_malloc(n);
}
extern "C" void* calloc(std::size_t n, std::size_t m) {
    ++tCount;
    return __libc_calloc(n, m);
}
extern "C" void* realloc(void* p, std::size_t n) {
    ++tCount;
    return __libc_realloc(p, n);
}
#endif
