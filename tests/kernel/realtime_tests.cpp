// Rendering allocates nothing: every allocation made while a cycle runs is counted.
#include "HostHarness.h"

#include "plat/console.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SORVANE_SANITIZED 1
#else
#define SORVANE_SANITIZED 0
#endif

// Our operator new hands out malloc'ed memory, so our operator delete frees it.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
thread_local bool tCounting = false;
std::atomic<long> gAllocations{0};

void* counted(std::size_t n) {
    if (tCounting) gAllocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(n ? n : 1);
}
} // namespace

// The C++ allocator, in every form the library may call.
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
    if (tCounting) gAllocations.fetch_add(1, std::memory_order_relaxed);
    const std::size_t al = std::size_t(a);
    if (void* p = std::aligned_alloc(al, (n + al - 1) / al * al)) return p;
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
// The C allocator too (the sanitizers bring their own, so those builds count operator new only).
extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);
extern "C" void* malloc(std::size_t n) {
    if (tCounting) gAllocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(n);
}
extern "C" void* calloc(std::size_t n, std::size_t m) {
    if (tCounting) gAllocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, m);
}
extern "C" void* realloc(void* p, std::size_t n) {
    if (tCounting) gAllocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, n);
}
#endif

namespace {

TEST(Realtime, RenderingWithEventsAllocatesNothing) {
    std::mutex m;
    std::string captured;
    std::thread::id printer;
    plat::Console::shared().setSink([&](std::string_view s) {
        std::lock_guard<std::mutex> g(m);
        captured.append(s);
        printer = std::this_thread::get_id();
    });

    YUX_Sorvane_ExtensionDSPKernelAdapter adapter;
    int midiCalls = 0;
    adapter.setAUMIDIOutputEventBlock([&](auto, auto, auto, auto) {
        ++midiCalls;
        return plat::noErr;
    });
    ASSERT_TRUE(adapter.allocateRenderResources());
    adapter.kernel().midiThru = true;
    HostHarness host(adapter);
    std::vector<float> src(512 * 200), l(src.size()), r(src.size());
    for (std::size_t i = 0; i < src.size(); ++i) src[i] = float((i * 7919) % 1000) / 1000.0f - 0.5f;

    std::vector<ParameterChange> changes;
    long before = 0, during = 0;
    for (int c = 0; c < 200; ++c) {
        changes.clear();
        for (int k = 0; k < 4; ++k)
            changes.push_back(
                {k * 100, plat::AUParameterAddress(k == 0 ? 1 : 1000 * k + (c % 32)), float(c % 10) / 10.f});
        // Host side of the cycle (building events) is outside the count.
        before = gAllocations.load();
        tCounting = true;
        adapter.reset(); // requested from this thread, carried out by the cycle
        const auto status =
            host.cycle(src.data(), src.data(), l.data(), r.data(), std::size_t(c) * 512, 512, changes);
        (void)adapter.getLevels();
        tCounting = false;
        during += gAllocations.load() - before;
        ASSERT_EQ(status, plat::noErr);
    }
    EXPECT_EQ(during, 0);

    // The parameter lines raised during the cycles arrive whole, in order, printed by the
    // console's own thread rather than the render thread.
    plat::Console::shared().flush();
    {
        std::lock_guard<std::mutex> g(m);
        EXPECT_NE(captured.find("unit received parameter : address:1, value:0.000000\n"
                                "unit received parameter : address:1000, value:0.000000\n"
                                "unit received parameter : address:2000, value:0.000000\n"
                                "unit received parameter : address:3000, value:0.000000\n"),
                  std::string::npos);
        EXPECT_NE(captured.find("unit received parameter : address:3031, value:0.900000\n"),
                  std::string::npos);
    }
    plat::Console::shared().setSink({});
}

} // namespace
