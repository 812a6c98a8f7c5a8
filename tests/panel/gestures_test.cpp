// Placement, gestures and the colour controls, driven through the window's input road.
#include "PanelRig.h"
#include "SteppedClockTest.h"

using plat::CGRect;
using plat::UITouch;
using State = plat::UIGestureRecognizer::State;

namespace {
// Presses a second apart on the stepped clock, so none of them counts as a double click.
class Placement : public SteppedClockTest {
protected:
    void press(PanelRig& rig, plat::CGPoint at) {
        tick(1);
        rig.window->sendTouch(UITouch::Phase::began, at);
    }
    void pinch(PanelRig& rig, plat::CGPoint at, double scale) {
        for (const State s : {State::began, State::changed, State::ended})
            rig.window->sendPinch(s, at, s == State::began ? 1 : scale);
    }
    // A pan on the root view's background, left of the fitted panel of a 1024 x 768 window.
    void pan(PanelRig& rig, plat::CGPoint from, plat::CGPoint by, const std::function<void()>& midway = {}) {
        press(rig, from);
        rig.window->sendTouch(UITouch::Phase::moved, {from.x + by.x / 2, from.y + by.y / 2});
        if (midway) midway();
        rig.window->sendTouch(UITouch::Phase::moved, {from.x + by.x, from.y + by.y});
        rig.window->sendTouch(UITouch::Phase::ended, {from.x + by.x, from.y + by.y});
    }
};
constexpr plat::CGPoint kBackground{60, 400};
} // namespace

TEST_F(Placement, LayoutFitsAndCentresThePanel) {
    const std::pair<plat::CGSize, CGRect> cases[] = {
        {{1024, 768}, {128, 0, 768, 768}}, {{768, 1024}, {0, 128, 768, 768}}, {{600, 600}, {0, 0, 600, 600}}};
    for (const auto& [size, fitted] : cases) {
        PanelRig rig(size);
        rig.open();
        EXPECT_EQ(rig.vc->pluginView->frame(), fitted);
    }
}

// Whether a pan moves the panel is decided when it begins; its end always releases layout.
TEST_F(Placement, PanMovesThePanelUnlessTouchesWereLockedWhenItBegan) {
    PanelRig rig({1024, 768});
    rig.open();
    pan(rig, kBackground, {40, 30});
    EXPECT_EQ(rig.vc->pluginView->frame(), CGRect(168, 30, 768, 768));
    rig.vc->touchesLocked = true;
    pan(rig, kBackground, {-100, 0}, [&] { rig.vc->touchesLocked = false; }); // unlocked after it began
    EXPECT_EQ(rig.vc->pluginView->frame(), CGRect(168, 30, 768, 768));
    rig.vc->touchesLocked = true;
    press(rig, kBackground); // a tap clears the lock
    rig.window->sendTouch(UITouch::Phase::ended, kBackground);
    pan(rig, kBackground, {-40, -30}, [&] { rig.vc->touchesLocked = true; }); // locked after it began
    EXPECT_EQ(rig.vc->pluginView->frame(), CGRect(128, 0, 768, 768));
    EXPECT_FALSE(rig.vc->lockAutoLayout());
    rig.window->setSize({800, 600}); // layout re-fits
    EXPECT_EQ(rig.vc->pluginView->frame(), CGRect(100, 0, 600, 600));
}

TEST_F(Placement, PinchScalesAboutTheCentreWithinWidthLimits) {
    const std::pair<double, CGRect> cases[] = {
        {0.25, {192, 192, 128, 128}},    // exactly the smallest width
        {4.0, {-768, -768, 2048, 2048}}, // exactly the largest
        {0.2499, {0, 0, 512, 512}},      // below: the frame stays
        {4.001, {0, 0, 512, 512}},       // above
    };
    for (const auto& [scale, expected] : cases) {
        PanelRig rig;
        rig.open();
        rig.vc->touchesLocked = true;
        pinch(rig, {256, 256}, scale);
        EXPECT_EQ(rig.vc->pluginView->frame(), expected) << scale;
        EXPECT_FALSE(rig.vc->touchesLocked);
    }
}

TEST_F(Placement, FreezeStopsPanAndPinchButDoubleTapRefits) {
    PanelRig rig({1024, 768});
    rig.open();
    pan(rig, kBackground, {40, 30});
    rig.vc->onFreezeButton(*rig.vc->freezeButton);
    EXPECT_EQ(rig.vc->freezeButton->alpha(), 1.0);
    pan(rig, kBackground, {100, 0});
    pinch(rig, kBackground, 0.5);
    EXPECT_EQ(rig.vc->pluginView->frame(), CGRect(168, 30, 768, 768));
    press(rig, kBackground);
    for (int i = 0; i < 2; ++i) {
        if (i) rig.window->sendTouch(UITouch::Phase::began, kBackground);
        rig.window->sendTouch(UITouch::Phase::ended, kBackground);
    }
    EXPECT_EQ(rig.vc->pluginView->frame(), CGRect(128, 0, 768, 768));
}

TEST_F(Placement, TouchesLandOnTheCanvasAfterPanPinchAndResize) {
    PanelRig rig({1024, 768});
    rig.open();
    pan(rig, kBackground, {37, 23});
    pinch(rig, kBackground, 0.6);
    rig.render();
    rig.tap(kLevels);
    EXPECT_EQ(rig.panel().panelMode, 1);
    rig.window->setSize({700, 900});
    rig.tap(kLevels); // the resize re-fitted the panel; the touch follows the new fit
    EXPECT_EQ(rig.panel().panelMode, 0);
    EXPECT_EQ(rig.vc->mainView->frame().size, plat::CGSize(700, 700));
}

class ColourControls : public SteppedClockTest {
protected:
    PanelRig rig{{1024, 768}};
};

TEST_F(ColourControls, LongPressContrastButtonAndSliderSetAllThreeLayers) {
    rig.open();
    // Until the slider first moves the plate keeps its own 0.15 while the ink follows the slider.
    EXPECT_EQ(rig.vc->pluginFrame->contrast, 0.15f);
    EXPECT_NE(rig.vc->brightnessSlider->value(), 0.15f);
    const double ink = 1 - double(rig.vc->brightnessSlider->value());
    EXPECT_EQ(rig.panel().colorContrast, plat::UIColor(ink, ink, ink, 1));
    const auto plate = rig.window->snapshot()->pixel(int(rig.at({6, 256}).x), int(rig.at({6, 256}).y));
    EXPECT_NEAR(plate.r, 0.15 * 255, 1.5);
    rig.window->sendTouch(UITouch::Phase::began, kBackground);
    tick(0.6);
    EXPECT_FALSE(rig.vc->contrastButton->isHidden());
    EXPECT_FALSE(rig.vc->freezeButton->isHidden());
    EXPECT_TRUE(rig.vc->touchesLocked);
    rig.window->sendTouch(UITouch::Phase::ended, kBackground);
    EXPECT_EQ(rig.vc->contrastButton->alpha(), 1.0);
    EXPECT_FALSE(rig.vc->touchesLocked);

    const auto button = rig.vc->contrastButton->convert(rig.vc->contrastButton->bounds().center(), nullptr);
    rig.window->sendTouch(UITouch::Phase::began, button);
    rig.window->sendTouch(UITouch::Phase::ended, button);
    ASSERT_FALSE(rig.vc->brightnessSlider->isHidden());
    EXPECT_TRUE(rig.vc->touchesLocked);

    const auto& s = *rig.vc->brightnessSlider;
    rig.window->sendTouch(UITouch::Phase::began, s.convert({s.bounds().width() - 12, 16}, nullptr));
    rig.window->sendTouch(UITouch::Phase::ended, s.convert({s.bounds().width() - 12, 16}, nullptr));
    EXPECT_EQ(s.value(), 1.0f);
    EXPECT_EQ(rig.vc->pluginFrame->contrast, 1.0f);
    EXPECT_EQ(rig.panel().colorContrast, plat::UIColor(0, 0, 0, 1));
    EXPECT_EQ(rig.vc->underlay->baseClass().colorContrastInverted, plat::UIColor(1, 1, 1, 1));
}
