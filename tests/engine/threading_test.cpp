// One thread renders the graph while another rewires it (attach, connect, disconnect, detach the
// effect), schedules and stops files, and a third automates the effect.
#include "EngineTestSupport.h"

#include <thread>

namespace {

TEST(EngineThreading, RenderingWhileTheGraphIsEdited) {
    plat::Console::shared().setSink([](std::string_view) {});
    ScratchFolder scratch;
    const auto file = writeClip(scratch.path() / "clip.wav", plat::AudioFileType::wav, 2, 2000);
    OfflineRig rig;
    const auto mixer = rig.engine.mainMixerNode();
    ASSERT_TRUE(rig.engine.connect(rig.player, mixer, file->processingFormat()).ok());
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
    for (int i = 0; i < 60; ++i) {
        auto node = std::make_shared<plat::AVAudioUnit>(unit);
        EXPECT_TRUE(rig.engine.attach(node).ok());
        EXPECT_TRUE(rig.engine.connect(rig.player, node).ok());
        EXPECT_TRUE(rig.engine.connect(node, mixer).ok());
        EXPECT_TRUE(rig.player->scheduleFile(file, [&] { ++completions; }).ok());
        if (i % 3 == 0) rig.player->stop();
        rig.player->play();
        rig.engine.disconnectNodeInput(mixer);
        EXPECT_TRUE(rig.engine.detach(node).ok());
        EXPECT_TRUE(rig.engine.connect(rig.player, mixer, file->processingFormat()).ok());
    }
    stop = true;
    render.join();
    automation.join();
    rig.player->stop();
    EXPECT_TRUE(waitFor([&] { return completions > 0; }));
    plat::RunLoop::main().drain();
    plat::Console::shared().setSink({});
}

} // namespace
