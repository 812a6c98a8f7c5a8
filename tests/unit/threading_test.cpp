// One thread renders while others automate parameters through the tree, apply states and set the
// MIDI output block (the adapter's own threads are the kernel tests').
#include "UnitTestSupport.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

TEST(UnitThreading, RenderingWhileOthersAutomateApplyStatesAndSetTheMIDIOutput) {
    plat::Console::shared().setSink([](std::string_view) {});
    auto unit = makeUnit();
    ASSERT_TRUE(unit->allocateRenderResources().ok());
    const auto tree = unit->parameterTree();
    std::atomic<long> heard{0};
    const auto token = tree->tokenByAddingParameterObserver([&](auto, auto) { heard.fetch_add(1); });
    const auto state = unit->fullState();

    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        RenderHost host(unit->renderBlock());
        // Goes on until the others have been heard at least once: on a busy machine they may not
        // get a core before 2000 cycles are done.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (int c = 0; c < 2000 || (heard == 0 && std::chrono::steady_clock::now() < deadline); ++c)
            ASSERT_EQ(host.cycle(256, {{10, 1000 + plat::AUParameterAddress(c % 32), 0.3f}}), plat::noErr);
        stop = true;
    });
    threads.emplace_back([&] {
        for (int i = 0; !stop; ++i) tree->parameterWithAddress(3000 + i % 32)->setValue(float(i % 100) / 100);
    });
    // The host replaces its MIDI output block while the render thread reads the published one.
    threads.emplace_back([&] {
        for (int i = 0; !stop && i < 200; ++i)
            unit->setMIDIOutputEventBlock([](auto...) { return plat::noErr; });
    });
    // The host's own thread restores states while all of this runs.
    for (int i = 0; !stop; ++i) ASSERT_TRUE(unit->setFullState(state).ok());
    for (auto& t : threads) t.join();
    EXPECT_GT(heard.load(), 0);
    tree->removeParameterObserver(token);
    unit->deallocateRenderResources();
    ConsoleSettled::settle();
    plat::Console::shared().setSink({});
}

} // namespace
