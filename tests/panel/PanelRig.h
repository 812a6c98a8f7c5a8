// The plug-in's interface in a headless window, with the real audio unit, factory and controller,
// and touches given in canvas units of the panel.
#pragma once

#include "AudioUnitViewController.h"
#include "UnitTestSupport.h"

#include "plat/uiwindow.h"

#include <vector>

class PanelRig {
public:
    using CGPoint = plat::CGPoint;

    explicit PanelRig(plat::CGSize size = {512, 512}) : window(plat::UIWindow::makeHeadless(size)) {}
    ~PanelRig() { plat::RunLoop::main().drain(); }

    void loadView() {
        window->setRootViewController(vc);
        window->makeKeyAndVisible();
        drain();
    }
    std::shared_ptr<YUX_Sorvane_Extension_AudioUnit> factory() {
        auto made = vc->createAudioUnit(YUX_Sorvane_Extension_AudioUnit::componentDescriptionOfEffect());
        EXPECT_TRUE(made.ok());
        return made.ok() ? std::static_pointer_cast<YUX_Sorvane_Extension_AudioUnit>(made.value()) : nullptr;
    }
    void open() {
        loadView();
        factory();
        drain();
        render();
    }
    static void drain() { plat::RunLoop::main().drain(); }
    // Draws the tree, which records the panel's touch areas.
    void render() { window->snapshot(); }

    SorvaneViewBase& panel() { return vc->mainView->baseClass(); }
    plat::AUParameter& parameter(plat::AUParameterAddress address) {
        return *vc->audioUnit()->parameterTree()->parameterWithAddress(address);
    }

    // A canvas point of the panel in window points, through the panel's current place and fit.
    CGPoint at(CGPoint canvas) const {
        const auto fit =
            fitCanvas(ResizingBehavior::aspectFit, SorvaneViewBase::kCanvas, vc->mainView->bounds());
        const CGPoint local{fit.rect.minX() + canvas.x * fit.scale.width,
                            fit.rect.minY() + canvas.y * fit.scale.height};
        return vc->mainView->convert(local, nullptr);
    }
    void touch(plat::UITouch::Phase phase, CGPoint canvas) { window->sendTouch(phase, at(canvas)); }
    // Down at the first point, through the others, up at the last.
    void drag(const std::vector<CGPoint>& canvas) {
        touch(plat::UITouch::Phase::began, canvas.front());
        for (std::size_t i = 1; i < canvas.size(); ++i) touch(plat::UITouch::Phase::moved, canvas[i]);
        touch(plat::UITouch::Phase::ended, canvas.back());
        drain();
        render();
    }
    void tap(CGPoint canvas) { drag({canvas}); }

    FactoryFolder presets;
    std::shared_ptr<plat::UIWindow> window;
    std::shared_ptr<AudioUnitViewController> vc = std::make_shared<AudioUnitViewController>();
};

// Canvas centres of the panel's controls.
inline constexpr plat::CGPoint kKnob{256, 256}, kLevels{93, 49}, kResonance{422, 49}, kCompansion{422, 461},
    kBypass{93, 461}, kAttack{216, 102}, kRelease{295, 102};
// The slider area's band k at fraction f of its width, at `value` (top = 1).
inline plat::CGPoint band(double k, double value = 0.75) {
    return {49 + k * 414.0 / 32, 191 + (1 - value) * 128};
}
