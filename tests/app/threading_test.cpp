// The effect handed over on another thread while playback starts and stops: graph edits, the clip
// and the playing state change under one queue.
#include "AppTestSupport.h"

#include <thread>

TEST(EnginePlayerThreads, TheEffectComesAndGoesWhilePlaybackStartsAndStops) {
    ConsoleCapture console;
    OfflinePlayer rig(fs::path(SORVANE_APP_DIR) / "Resources", {39});
    const auto effect = makeEffect();
    std::atomic<bool> done{false};
    std::thread finder([&] {
        while (!done) {
            rig.player->connect(effect);
            rig.player->connect(nullptr);
        }
    });
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(rig.player->toggle());
        ASSERT_TRUE(spin([&] { return rig.recorder->states.size() == std::size_t(2 * i + 1); }));
        rig.render(8 * OfflinePlayer::kBlock);
        EXPECT_FALSE(rig.player->toggle());
    }
    done = true;
    finder.join();
}
