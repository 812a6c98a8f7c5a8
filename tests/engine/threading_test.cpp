// One thread renders the graph while another rewires it (attaches, reformats and detaches the
// effect), schedules and stops files, and a third automates the effect.
#include "EngineTestSupport.h"

namespace {

TEST(EngineThreading, RenderingWhileTheGraphIsEdited) {
    plat::Console::shared().setSink([](std::string_view) {});
    ScratchFolder scratch;
    const auto file = writeClip(scratch.path() / "clip.wav", plat::AudioFileType::wav, 2, 2000);
    OfflineRig rig;
    const auto mixer = rig.engine.mainMixerNode();
    ASSERT_TRUE(rig.engine.start().ok());
    rig.player->play();
    auto unit = makeUnit();

    std::atomic<bool> stop{false};
    std::atomic<long> completions{0};
    std::thread render([&] {
        while (!stop) ASSERT_TRUE(rig.engine.renderOffline(256, *rig.buffer).ok());
    });
    std::thread automation([&] {
        for (int i = 0; !stop; ++i) unit->setParameter(1000 + i % 32, float(i % 10) / 10.0f);
    });
    auto node = std::make_shared<plat::AVAudioUnit>(unit);
    for (int i = 0; i < 60; ++i) {
        // Every change of format reallocates the unit while it is in the graph being rendered; for a
        // moment its two sides disagree and it refuses, which is fine here.
        const plat::AVAudioFormat format(48000, i % 2 ? 1 : 2);
        if (!node->isAttached()) rig.engine.attach(node);
        rig.engine.connect(rig.player, node, format);
        EXPECT_TRUE(rig.engine.connect(node, mixer, format).ok());
        EXPECT_TRUE(rig.player->scheduleFile(file, [&] { ++completions; }).ok());
        if (i % 3 == 0) rig.player->stop();
        rig.player->play();
        if (i % 4 == 0) rig.engine.detach(node);
    }
    stop = true;
    render.join();
    automation.join();
    rig.player->stop();
    EXPECT_GT(completions, 0);
    plat::RunLoop::main().drain();
    plat::Console::shared().setSink({});
}

} // namespace
