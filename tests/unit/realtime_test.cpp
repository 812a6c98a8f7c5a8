// The unit's render path allocates nothing and prints nothing while it runs, even when it logs.
#include "AllocationCounter.h"
#include "UnitTestSupport.h"

namespace {

TEST(UnitRealtime, RenderingThroughTheRenderBlockAllocatesNothing) {
    ConsoleCapture console;
    auto unit = makeUnit();
    unit->setMIDIOutputEventBlock([](auto...) { return plat::noErr; });
    ASSERT_TRUE(unit->allocateRenderResources().ok());
    RenderHost render(unit->renderBlock()), internal(unit->internalRenderBlock());
    const std::vector<ParameterChange> changes = {{0, 1, 0.7f}, {100, 1003, 0.2f}, {200, 0, 0.0f}};

    long during = 0;
    for (int c = 0; c < 50; ++c) {
        const long before = allocations::onThisThread();
        ASSERT_EQ(render.cycle(512, changes), plat::noErr);
        plat::AudioBufferList lent; // no buffers of the host's: the output bus lends its own
        lent.mNumberBuffers = 2;
        ASSERT_EQ(render.cycle(512, lent), plat::noErr);
        // Logging paths of the render block: another bus, and a kernel error.
        ASSERT_EQ(internal.cycle(64, {}, 1), plat::noErr);
        ASSERT_EQ(internal.cycle(8192), plat::kAudioUnitErr_TooManyFramesToProcess);
        during += allocations::onThisThread() - before;
    }
    EXPECT_EQ(during, 0);

    EXPECT_FALSE(console.printedOnRealtimeThread());
    const std::string captured = console.text();
    EXPECT_NE(captured.find("AUExtension:: We have a got a bus number != 0 : 1\n"), std::string::npos);
    EXPECT_NE(captured.find("AUExtension::ERROR: We have a problem with the kernel! -10874\n"),
              std::string::npos);
}

} // namespace
