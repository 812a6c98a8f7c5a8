// Rendering allocates nothing: every allocation made while a cycle runs is counted.
#include "AllocationCounter.h"
#include "ConsoleCapture.h"
#include "RenderHost.h"
#include "YUX_Sorvane_ExtensionDSPKernelAdapter.h"

#include "plat/console.h"

#include <gtest/gtest.h>

namespace {

TEST(Realtime, RenderingWithEventsAllocatesNothing) {
    ConsoleCapture console;

    YUX_Sorvane_ExtensionDSPKernelAdapter adapter;
    adapter.setAUMIDIOutputEventBlock([](auto...) { return plat::noErr; }); // handed on every cycle
    ASSERT_TRUE(adapter.allocateRenderResources());
    RenderHost host(adapter.internalRenderBlock());
    std::vector<float> src(512 * 200), l(src.size()), r(src.size());
    for (std::size_t i = 0; i < src.size(); ++i) src[i] = float((i * 7919) % 1000) / 1000.0f - 0.5f;

    std::vector<ParameterChange> changes;
    long during = 0;
    for (int c = 0; c < 200; ++c) {
        changes.clear();
        for (int k = 0; k < 4; ++k)
            changes.push_back(
                {k * 100, plat::AUParameterAddress(k == 0 ? 1 : 1000 * k + (c % 32)), float(c % 10) / 10.f});
        // The harness builds its event list in reserved storage, so the whole cycle is counted.
        const long before = allocations::onThisThread();
        adapter.reset(); // requested from this thread, carried out by the cycle
        const auto status =
            host.cycle(src.data(), src.data(), l.data(), r.data(), std::size_t(c) * 512, 512, changes);
        (void)adapter.getLevels();
        during += allocations::onThisThread() - before;
        ASSERT_EQ(status, plat::noErr);
    }
    EXPECT_EQ(during, 0);

    // The parameter lines go to the ring: none is printed while a cycle runs.
    EXPECT_FALSE(console.printedOnRealtimeThread());
}

} // namespace
