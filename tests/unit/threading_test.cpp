// One thread renders while others automate parameters, apply states, set the MIDI output block
// and read meters.
#include "UnitTestSupport.h"

#include <thread>

namespace {

TEST(UnitThreading, RenderingWhileOthersSetParametersApplyStatesAndReadMeters) {
    plat::Console::shared().setSink([](std::string_view) {});
    auto unit = makeUnit();
    ASSERT_TRUE(unit->allocateRenderResources().ok());
    const auto tree = unit->parameterTree();
    std::atomic<long> heard{0};
    const auto token = tree->tokenByAddingParameterObserver([&](auto, auto) { heard.fetch_add(1); });
    const auto state = unit->fullState();

    std::atomic<bool> stop{false};
    std::thread render([&] {
        UnitHost host(unit->renderBlock());
        for (int c = 0; c < 2000; ++c) {
            std::vector<UnitHost::Change> changes = {{10, 1000 + plat::AUParameterAddress(c % 32), 0.3f}};
            ASSERT_EQ(host.cycle(256, 0.5f, changes), plat::noErr);
        }
        stop = true;
    });
    std::thread automation([&] {
        for (int i = 0; !stop; ++i)
            tree->parameterWithAddress(3000 + i % 32)->setValue(float(i % 100) / 100.0f);
    });
    std::thread panel([&] {
        for (int i = 0; !stop; ++i) unit->kernelAdapter().setParameter(2000 + i % 32, float(i % 10) / 10.0f);
    });
    // The host replaces its MIDI output block while the render thread reads the published one.
    std::thread midi([&] {
        for (int i = 0; !stop && i < 200; ++i)
            unit->setMIDIOutputEventBlock([](auto...) { return plat::noErr; });
    });
    std::thread meters([&] {
        float sum = 0;
        while (!stop) {
            const float* levels = unit->getLevels();
            const float* factors = unit->getFactors();
            for (int b = 0; b < 32; ++b) sum += levels[b] + factors[b];
            (void)tree->parameterWithAddress(1)->value();
        }
        EXPECT_TRUE(std::isfinite(sum));
    });
    // The host's own thread restores states while all of this runs.
    for (int i = 0; !stop; ++i) ASSERT_TRUE(unit->setFullState(state).ok());

    render.join();
    automation.join();
    panel.join();
    midi.join();
    meters.join();
    EXPECT_GT(heard.load(), 0);
    tree->removeParameterObserver(token);
    unit->deallocateRenderResources();
    plat::RunLoop::main().drain();
    plat::Console::shared().flush();
    plat::Console::shared().setSink({});
}

} // namespace
