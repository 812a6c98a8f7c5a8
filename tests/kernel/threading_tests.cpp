// One thread renders while another sets parameters through the adapter and a third reads
// the meters. Run under ThreadSanitizer in CI.
#include "RenderHost.h"
#include "YUX_Sorvane_ExtensionDSPKernelAdapter.h"

#include "plat/console.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

TEST(Threading, RenderSetParametersAndReadMetersConcurrently) {
    plat::Console::shared().setSink([](std::string_view) {});
    YUX_Sorvane_ExtensionDSPKernelAdapter adapter;
    ASSERT_TRUE(adapter.allocateRenderResources());
    std::atomic<bool> stop{false};
    std::atomic<long> cycles{0}, sets{0}, reads{0};

    std::thread render([&] {
        RenderHost host(adapter.internalRenderBlock());
        std::vector<float> src(512), l(512), r(512);
        for (std::size_t i = 0; i < src.size(); ++i) src[i] = std::sin(float(i) * 0.05f);
        while (!stop.load()) {
            EXPECT_EQ(host.cycle(src.data(), src.data(), l.data(), r.data(), 0, 512, {{64, 2000, 0.3f}}),
                      plat::noErr);
            cycles.fetch_add(1);
        }
    });
    std::thread setter([&] {
        for (int i = 0; !stop.load(); ++i) {
            adapter.setParameter(plat::AUParameterAddress(1000 * (i % 4) + i % 32), float(i % 100) / 100.0f);
            (void)adapter.valueForParameter(1000 + i % 32);
            if (i % 50 == 0) adapter.reset();
            adapter.setBypass(i % 200 == 0);
            sets.fetch_add(1);
        }
    });
    std::thread meters([&] {
        float sink = 0;
        while (!stop.load()) {
            const float* levels = adapter.getLevels();
            const float* factors = adapter.getFactors();
            const float* centres = adapter.getFrequencies();
            for (int i = 0; i < 32; ++i) sink += levels[i] + factors[i] + centres[i];
            reads.fetch_add(1);
            std::this_thread::yield();
        }
        EXPECT_FALSE(std::isnan(sink));
    });
    // Until every thread has done its work many times over; the deadline only ends a hung run.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while ((cycles < 100 || sets < 2000 || reads < 200) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stop.store(true);
    render.join();
    setter.join();
    meters.join();
    EXPECT_GE(cycles.load(), 100);
    plat::Console::shared().setSink({});
}
