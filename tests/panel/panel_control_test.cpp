// The panel control on its own: values in by address, band writes out, and where touches land.
#include "PanelRig.h"

#include <cmath>
#include <limits>

using plat::UITouch;

namespace {

class Recorder : public SorvaneViewDelegate {
public:
    void onSorvaneViewParameter(std::int64_t address, float value) override {
        sent.emplace_back(address, value);
    }
    void onSorvaneViewOption(std::int64_t, float) override {}
    std::vector<std::pair<std::int64_t, float>> sent;
};

// A panel in a window of its own size, drawn once, with a controller and a recording delegate.
struct LonePanel {
    explicit LonePanel(double side) : window(plat::UIWindow::makeHeadless({side, side})) {
        view = std::make_shared<SorvaneView>(plat::CGRect{0, 0, side, side});
        window->addSubview(view);
        view->setViewController(vc);
        view->delegate = recorder;
        window->snapshot();
    }
    void touch(UITouch::Phase phase, plat::CGPoint canvas) {
        const double s = view->bounds().width() / 512;
        window->sendTouch(phase, {canvas.x * s, canvas.y * s});
    }
    std::shared_ptr<plat::UIWindow> window;
    std::shared_ptr<SorvaneView> view;
    std::shared_ptr<AudioUnitViewController> vc = std::make_shared<AudioUnitViewController>();
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
};

} // namespace

TEST(PanelValues, AddressesStoreWhereTheyBelong) {
    SorvaneView view;
    const auto& b = view.baseClass();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* fault;
        std::int64_t address;
        float value;
        std::function<bool()> stored;
        std::size_t lines;
    };
    const Case cases[] = {
        {"last level band missed", 1031, 0.3f, [&] { return b.valueLevel[31] == double(0.3f); }, 1},
        {"band index 32 written", 1032, 0.3f, [&] { return true; }, 0},
        {"band index 500 written", 1500, 0.3f, [&] { return true; }, 0},
        {"attack clamped", 2, 1.5f, [&] { return b.valueAttack == 1.5; }, 1},
        {"compansion tied to the page", 3007, 0.9f, [&] { return b.valueCompansion[7] == double(0.9f); }, 1},
        {"bypass display drifts from parameter 0", 0, 1.0f, [&] { return b.isBypass; }, 1},
        {"non-finite value stored", 1, nan, [&] { return b.valueKnob == 0.5; }, 0},
        {"negative address trapped", -4, 0.2f, [&] { return true; }, 1},
    };
    for (const auto& c : cases) {
        CapturedConsole console;
        view.setParameter(c.address, c.value);
        EXPECT_TRUE(c.stored()) << c.fault;
        EXPECT_EQ(console.count("editor received parameter : "), c.lines) << c.fault;
    }
    EXPECT_EQ(b.valueLevel[0], 0.5);
}

TEST(PanelTouch, FastSliderDragFillsTheGapFromTheNewBandTowardTheLast) {
    LonePanel p(512);
    p.view->baseClass().panelMode = 2;
    p.view->setNeedsDisplay();
    p.window->snapshot();
    p.touch(UITouch::Phase::began, band(3.5, 0.5));
    p.touch(UITouch::Phase::moved, band(7.5, 0.5));
    const std::vector<std::pair<std::int64_t, float>> expected{
        {2003, 0.5f}, {2006, 0.5f}, {2005, 0.5f}, {2004, 0.5f}, {2007, 0.5f}};
    EXPECT_EQ(p.recorder->sent, expected);
}

// A touch sets the bar it lands on, on the bar's left half as on its right.
TEST(PanelTouch, ASliderTouchSetsTheBarUnderItNotItsLeftNeighbour) {
    LonePanel p(512);
    p.view->baseClass().panelMode = 1;
    p.view->setNeedsDisplay();
    p.window->snapshot();
    for (const auto& [at, address] : {std::pair{5.1, 1005}, {5.9, 1005}, {1.2, 1001}, {31.1, 1031}}) {
        p.recorder->sent.clear();
        p.touch(UITouch::Phase::began, band(at, 0.5));
        p.touch(UITouch::Phase::ended, band(at, 0.5));
        ASSERT_FALSE(p.recorder->sent.empty()) << at;
        EXPECT_EQ(p.recorder->sent.front().first, address) << at;
    }
}

TEST(PanelTouch, TouchUpInsideIsJudgedInViewPoints) {
    LonePanel p(256); // half scale: canvas points lie beyond the view's bounds
    std::vector<bool> inside;
    p.view->addTarget([&](plat::UIControl&) { inside.push_back(true); },
                      plat::UIControlEvents::touchUpInside);
    p.view->addTarget([&](plat::UIControl&) { inside.push_back(false); },
                      plat::UIControlEvents::touchUpOutside);
    p.touch(UITouch::Phase::began, kKnob);
    p.touch(UITouch::Phase::ended, kKnob);
    ASSERT_EQ(p.recorder->sent.size(), 1u); // the final move sends the unchanged value once
    EXPECT_EQ(p.recorder->sent[0].first, 1);
    p.touch(UITouch::Phase::began, kKnob);
    p.touch(UITouch::Phase::ended, {600, 600});
    EXPECT_EQ(inside, (std::vector<bool>{true, false}));
    SorvaneView flat(plat::CGRect{0, 0, 0, 300}); // a view without area maps no touch
    EXPECT_FALSE(flat.canvasPoint({10, 10}));
}

TEST(PanelTouch, AKnobDragStartsFromTheSavedValueAndLeavesStartValueAtZero) {
    LonePanel p(512);
    EXPECT_EQ(p.view->startValue(), 0.0);
    p.touch(UITouch::Phase::began, kKnob);
    p.touch(UITouch::Phase::moved, {kKnob.x, kKnob.y - 40});
    p.touch(UITouch::Phase::ended, {kKnob.x, kKnob.y - 40});
    EXPECT_NEAR(p.view->baseClass().valueKnob, 0.7, 1e-6);
    EXPECT_EQ(p.view->startValue(), 0.0);
}

TEST(PanelTouch, TouchWithoutControllerOrOutsideEveryControlGrabsNothing) {
    LonePanel p(512);
    p.vc->touchesLocked = true;
    CapturedConsole console;
    p.touch(UITouch::Phase::began, {256, 160}); // between knob and buttons
    p.touch(UITouch::Phase::ended, {256, 160});
    EXPECT_EQ(console.text(), "\n");
    EXPECT_FALSE(p.vc->touchesLocked);
    EXPECT_TRUE(p.recorder->sent.empty());
}
