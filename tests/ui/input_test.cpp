// Touches, gesture recognisers and controls, fed through a headless window.
#include "SteppedClockTest.h"

#include "plat/uiwindow.h"

#include <gtest/gtest.h>

using plat::CGPoint;
using plat::CGRect;
using plat::UITouch;
using State = plat::UIGestureRecognizer::State;

namespace {

class Input : public SteppedClockTest {
protected:
    void SetUp() override {
        SteppedClockTest::SetUp();
        window->addSubview(content);
    }
    void down(CGPoint p) { window->sendTouch(UITouch::Phase::began, p); }
    void move(CGPoint p) { window->sendTouch(UITouch::Phase::moved, p); }
    void up(CGPoint p) { window->sendTouch(UITouch::Phase::ended, p); }
    template <class R>
    std::shared_ptr<R> attach(std::vector<State>& seen, const std::shared_ptr<plat::UIView>& to) {
        auto r = std::make_shared<R>();
        r->addTarget([&seen](plat::UIGestureRecognizer& g) { seen.push_back(g.state()); });
        to->addGestureRecognizer(r);
        return r;
    }
    std::shared_ptr<plat::UIWindow> window = plat::UIWindow::makeHeadless({200, 200});
    std::shared_ptr<plat::UIView> content = std::make_shared<plat::UIView>(CGRect{0, 0, 200, 200});
};

} // namespace

TEST_F(Input, PanBeginsPastItsHysteresisAndReportsTheTranslation) {
    std::vector<State> seen;
    auto pan = attach<plat::UIPanGestureRecognizer>(seen, window); // on an ancestor of the touched view
    down({50, 50});
    move({55, 50});
    EXPECT_TRUE(seen.empty());
    move({65, 58});
    move({80, 90});
    EXPECT_EQ(pan->translation(content.get()), CGPoint(30, 40));
    up({80, 90});
    EXPECT_EQ(seen, (std::vector<State>{State::began, State::changed, State::ended}));
    EXPECT_EQ(pan->state(), State::possible);
}

TEST_F(Input, TapsCountWithinTheDoubleClickTimeAndDistance) {
    std::vector<State> single, twice;
    attach<plat::UITapGestureRecognizer>(single, content);
    attach<plat::UITapGestureRecognizer>(twice, content)->numberOfTapsRequired = 2;
    const std::pair<double, CGPoint> presses[] = {
        {0, {50, 50}}, {0.2, {52, 51}}, {1.0, {50, 50}}, {0.2, {90, 90}}}; // seconds since the last
    for (const auto& [after, at] : presses) {
        tick(after);
        down(at);
        up(at);
    }
    EXPECT_EQ(single.size(), 3u); // the second press was the second tap of a double click
    EXPECT_EQ(twice.size(), 1u);
}

TEST_F(Input, LongPressBeginsAfterItsDurationUnlessTheTouchWandered) {
    std::vector<State> seen;
    attach<plat::UILongPressGestureRecognizer>(seen, content);
    down({50, 50});
    tick(0.4);
    EXPECT_TRUE(seen.empty());
    tick(0.2);
    up({50, 50});
    EXPECT_EQ(seen, (std::vector<State>{State::began, State::ended}));
    seen.clear();
    down({50, 50});
    move({70, 50});
    tick(1);
    up({70, 50});
    EXPECT_TRUE(seen.empty());
}
