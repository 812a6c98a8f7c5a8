// The interface's threads: audio renders on one thread and a host automates parameters on another
// while the main loop runs the meter timer, the observer's hand-overs and the drawing.
#include "PanelRig.h"

#include <atomic>
#include <thread>

TEST(PanelThreading, RenderAutomateAndRunTheMainLoop) {
    PanelRig rig;
    rig.loadView();
    // The host instantiates on a thread of its own while the main loop's timer reads the unit.
    std::thread host([&] { rig.factory(); });
    const bool adopted = plat::RunLoop::main().runUntil([&] { return rig.vc->audioUnit() != nullptr; },
                                                        std::chrono::seconds(60));
    host.join();
    ASSERT_TRUE(adopted) << "the unit was not handed over to the main loop";
    rig.render();
    auto unit = rig.vc->audioUnit();
    ASSERT_TRUE(unit->allocateRenderResources().ok());
    std::atomic<bool> stop{false};
    std::thread render([&, block = unit->renderBlock()] {
        RenderHost host(block);
        while (!stop) host.cycle(256);
    });
    std::thread automation([&, tree = unit->parameterTree()] {
        for (int n = 0; !stop; ++n) {
            tree->parameterWithAddress(1000 + n % 32)->setValue(float(n % 10) / 10);
            unit->setParameter(1, float(n % 7) / 7);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    // Until the timer has fed the meters several times while both threads ran, drawing after each
    // (generous, for busy machines).
    std::int64_t drawn = 0;
    plat::RunLoop::main().runUntil(
        [&] {
            if (rig.vc->counter != drawn) rig.render(), drawn = rig.vc->counter;
            return drawn > 10;
        },
        std::chrono::seconds(60));
    stop = true;
    render.join();
    automation.join();
    PanelRig::drain();
    EXPECT_GT(rig.vc->counter, 10);
    EXPECT_EQ(rig.panel().valueKnob, double(rig.parameter(1).value()));
}
