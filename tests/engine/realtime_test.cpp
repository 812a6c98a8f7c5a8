// Rendering the graph (player, effect, mixer) allocates nothing and prints nothing on the render
// thread, also while files end and their completions are handed over.
#include "AllocationCounter.h"
#include "EngineTestSupport.h"

namespace {

// Allocations on this thread over forty cycles of two sizes, the larger one given.
long allocationsWhileRendering(OfflineRig& rig, plat::AUAudioFrameCount larger) {
    long during = 0;
    for (int cycle = 0; cycle < 40; ++cycle) {
        const long before = allocations::onThisThread();
        EXPECT_TRUE(rig.engine.renderOffline(cycle % 2 ? larger : 300, *rig.buffer).ok());
        during += allocations::onThisThread() - before;
    }
    return during;
}

TEST(EngineRealtime, RenderingTheGraphAllocatesNothing) {
    CapturedConsole console;
    ScratchFolder scratch;
    const auto file = writeClip(scratch.path() / "clip.wav", plat::AudioFileType::wav, 2, 3000);
    OfflineRig rig;
    auto unit = std::make_shared<plat::AVAudioUnit>(makeUnit());
    ASSERT_TRUE(rig.engine.attach(unit).ok());
    ASSERT_TRUE(rig.engine.connect(rig.player, unit, file->processingFormat()).ok());
    ASSERT_TRUE(rig.engine.connect(unit, rig.engine.mainMixerNode(), file->processingFormat()).ok());
    ASSERT_TRUE(rig.engine.start().ok());
    std::atomic<int> completed{0};
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(rig.player->scheduleFile(file, [&] { ++completed; }).ok());
    rig.player->play();

    EXPECT_EQ(allocationsWhileRendering(rig, 512), 0);
    EXPECT_TRUE(waitFor([&] { return completed == 4; }));
    EXPECT_FALSE(console.printedOnRealtimeThread());
}

// Clips at other rates, converted where the player joins the mixer or by the player itself, and one
// rate following another: the converters' buffers are made with the graph and the player, none on
// the render thread.
TEST(EngineRealtime, ConvertingRatesAllocatesNothing) {
    CapturedConsole console;
    ScratchFolder scratch;
    const auto file = writeClip(scratch.path() / "clip.wav", plat::AudioFileType::wav, 2, 3000, 44100);
    const auto other = writeClip(scratch.path() / "other.wav", plat::AudioFileType::wav, 2, 5000, 96000);
    for (bool mixerConverts : {true, false}) {
        SCOPED_TRACE(mixerConverts ? "mixer" : "player");
        OfflineRig rig;
        const auto format = mixerConverts ? file->processingFormat() : rig.format;
        ASSERT_TRUE(rig.engine.connect(rig.player, rig.engine.mainMixerNode(), format).ok());
        ASSERT_TRUE(rig.engine.start().ok());
        std::atomic<int> completed{0};
        for (int i = 0; i < 4; ++i)
            ASSERT_TRUE(rig.player->scheduleFile(i % 2 ? other : file, [&] { ++completed; }).ok());
        rig.player->play();
        EXPECT_EQ(allocationsWhileRendering(rig, 4096), 0);
        EXPECT_TRUE(waitFor([&] { return completed == 4; }));
        EXPECT_FALSE(console.printedOnRealtimeThread());
    }
}

} // namespace
