// The view tree: cached drawing, compositing, geometry and hit testing; view controllers misused.
#include "ConsoleCapture.h"
#include "PanelTestSupport.h"

#include "plat/uiwindow.h"

#include <gtest/gtest.h>

#include <fstream>

using plat::CGAffineTransform;
using plat::CGPoint;
using plat::CGRect;
using plat::UIColor;
using plat::UIView;

namespace {
// Paints its bounds in one colour and counts its draws.
class Swatch : public UIView {
public:
    Swatch(CGRect frame, UIColor c) : UIView(frame), colour(c) { setDrawsContent(true); }
    void draw(const CGRect& rect) override {
        ++draws;
        plat::UIGraphicsGetCurrentContext()->fill(plat::UIBezierPath::withRect(rect), colour);
    }
    UIColor colour;
    int draws = 0;
};
} // namespace

TEST(ViewTree, PicturesAreRedrawnOnlyWhenStale) {
    auto window = plat::UIWindow::makeHeadless({100, 100});
    auto swatch = std::make_shared<Swatch>(CGRect{10, 10, 20, 20}, UIColor{1, 0, 0, 1});
    window->addSubview(swatch);
    window->snapshot();
    window->snapshot();
    EXPECT_EQ(swatch->draws, 1);
    swatch->setFrame({40, 40, 20, 20});    // moved, same size: the picture is reused
    const auto moved = window->snapshot(); // its picture's edges on its frame's, to the pixel
    EXPECT_TRUE(paneltest::sameColour(moved->pixel(40, 40), {1, 0, 0, 1}));
    EXPECT_FALSE(paneltest::sameColour(moved->pixel(39, 40), {1, 0, 0, 1}) ||
                 paneltest::sameColour(moved->pixel(40, 39), {1, 0, 0, 1}));
    EXPECT_EQ(swatch->draws, 1);
    swatch->setNeedsDisplay();
    window->snapshot();
    swatch->setFrame({40, 40, 30, 20});
    window->snapshot();
    EXPECT_EQ(swatch->draws, 3);
}

// What the process holds in memory, in pages.
long residentPages() {
    long size = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> size >> resident;
    return resident;
}

// Drawing memory follows the window's size: a view made smaller gives its picture back at once, shown
// or not, and a window too large to write is refused before any of its pixels are made.
TEST(ViewTree, DrawingMemoryFollowsTheSize) {
    auto window = plat::UIWindow::makeHeadless({100, 100});
    auto swatch = std::make_shared<Swatch>(CGRect{0, 0, 4096, 4096}, UIColor{1, 0, 0, 1});
    window->addSubview(swatch);
    window->snapshot(); // a picture of 64 MiB, drawn
    swatch->setHidden(true);
    const long held = residentPages();
    swatch->setFrame({0, 0, 10, 10});
#if !defined(__SANITIZE_ADDRESS__) // whose quarantine keeps what is freed
    EXPECT_GT(held - residentPages(), (48l << 20) / ::sysconf(_SC_PAGESIZE))
        << "a hidden view kept its picture";
#endif
    (void)held;
    window->setSize({9000, 9000});
    std::string error;
    EXPECT_FALSE(window->writeScreenshot("/nonexistent/shot.png", &error));
    EXPECT_EQ(error, "The window is too large to be written (9000 x 9000 points; at most 67108864 in all).");
}

TEST(ViewTree, AlphaHiddenAndTransformShapeTheComposite) {
    auto window = plat::UIWindow::makeHeadless({100, 100});
    window->setBackgroundColor(std::nullopt);
    auto parent = std::make_shared<UIView>(CGRect{0, 0, 100, 100});
    auto child = std::make_shared<Swatch>(CGRect{0, 0, 50, 50}, UIColor{0, 0, 1, 1});
    auto hidden = std::make_shared<Swatch>(CGRect{50, 50, 50, 50}, UIColor{1, 0, 0, 1});
    window->addSubview(parent);
    parent->addSubview(child);
    parent->addSubview(hidden);
    parent->setAlpha(0.5);
    hidden->setHidden(true);
    auto image = window->snapshot();
    EXPECT_NEAR(image->pixel(10, 10).a, 128, 2); // the subtree fades as one layer
    EXPECT_EQ(image->pixel(75, 75).a, 0);
    EXPECT_EQ(hidden->draws, 0);
    child->setTransform(CGAffineTransform::scale(2, 2)); // about the centre: covers -25...75
    image = window->snapshot();
    EXPECT_GT(image->pixel(70, 70).a, 0);
    EXPECT_EQ(image->pixel(80, 80).a, 0);
}

TEST(ViewTree, ConversionAndHitTestingFollowFramesAndTransforms) {
    auto root = std::make_shared<UIView>(CGRect{0, 0, 400, 400});
    auto box = std::make_shared<UIView>(CGRect{100, 100, 100, 100});
    auto inner = std::make_shared<UIView>(CGRect{10, 10, 20, 20});
    root->addSubview(box);
    box->addSubview(inner);
    box->setTransform(CGAffineTransform::scale(2, 2)); // box spans 50...250 on screen
    EXPECT_EQ(inner->convert(CGPoint{0, 0}, nullptr), CGPoint(70, 70));
    EXPECT_EQ(root->convert(CGPoint{70, 70}, inner.get()), CGPoint(0, 0));
    EXPECT_EQ(root->hitTest({75, 75}, nullptr), inner);
    EXPECT_EQ(root->hitTest({240, 240}, nullptr), box);
    inner->setUserInteractionEnabled(false);
    EXPECT_EQ(root->hitTest({75, 75}, nullptr), box);
    box->setHidden(true);
    EXPECT_EQ(root->hitTest({75, 75}, nullptr), root);
    EXPECT_EQ(root->hitTest({500, 75}, nullptr), nullptr);
}

// View controllers asked for what they cannot do. (Loading, layout, children, segues and alerts are
// driven by the panel's and the application's tests.)
TEST(ViewController, UnknownSegueAndPresentingOutsideAWindowChangeNothing) {
    auto window = plat::UIWindow::makeHeadless({300, 200});
    auto vc = std::make_shared<plat::UIViewController>();
    window->setRootViewController(vc);
    auto loose = std::make_shared<plat::UIViewController>();
    ConsoleCapture console;
    vc->performSegue("Nowhere");
    loose->present(std::make_shared<plat::UIViewController>(), true);
    EXPECT_FALSE(vc->presentedViewController() || loose->presentedViewController());
    EXPECT_EQ(console.text(),
              "UIViewController: ERROR: no segue with the identifier 'Nowhere'.\n"
              "UIViewController: WARNING: cannot present from a view that is not in a window.\n");
}
