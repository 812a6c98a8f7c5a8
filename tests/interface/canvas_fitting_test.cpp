// Fitting the canvas into a view's rectangle, and what the recording fit keeps for touches.
#include "CanvasFitting.h"

#include <gtest/gtest.h>

#include <limits>

using plat::CGPoint;
using plat::CGRect;
using plat::CGSize;

TEST(CanvasFitting, EachBehaviourPlacesTheCanvasAndRecordsScaleAndOriginOnlyWhenItScales) {
    using B = ResizingBehavior;
    const CGRect panel{0, 0, 512, 512}, wide{0, 0, 300, 200}, frame{0, 0, 100, 50}, square{10, 20, 200, 200};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        B behavior;
        CGRect canvas, target, result;
        std::optional<CGSize> scale; // none: nothing recorded
    };
    const Case cases[] = {
        {B::aspectFit, panel, wide, {50, 0, 200, 200}, CGSize(0.390625, 0.390625)},
        {B::aspectFill, panel, wide, {0, -50, 300, 300}, CGSize(0.5859375, 0.5859375)},
        {B::stretch, panel, wide, {0, 0, 300, 200}, CGSize(0.5859375, 0.390625)},
        {B::center, panel, wide, {-106, -156, 512, 512}, CGSize(1, 1)},
        {B::aspectFit, panel, {0, 0, 1024, 768}, {128, 0, 768, 768}, CGSize(1.5, 1.5)},
        {B::aspectFit, panel, {100, 50, 256, 256}, {100, 50, 256, 256}, CGSize(0.5, 0.5)},
        {B::aspectFit, panel, {300, 0, -300, 200}, {50, 0, 200, 200}, CGSize(0.390625, 0.390625)},
        {B::aspectFit, frame, square, {10, 70, 200, 100}, CGSize(2, 2)},
        {B::center, frame, square, {60, 95, 100, 50}, CGSize(1, 1)},
        {B::stretch, frame, square, {10, 20, 200, 200}, CGSize(2, 4)},
        {B::aspectFit, panel, panel, panel, {}},
        {B::stretch, panel, {0, 0, 0, 0}, panel, {}},
        {B::aspectFit, panel, {0, 0, nan, 100}, panel, {}},
        {B::aspectFit, {0, 0, 0, 10}, {0, 0, 100, 100}, {0, 0, 0, 10}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << rawValue(c.behavior) << " into " << c.target.width() << " x " << c.target.height());
        struct {
            CGSize viewScale{-1, -1};
            CGPoint viewOrigin{-1, -1};
        } recorder;
        EXPECT_EQ(apply(c.behavior, c.canvas, c.target), c.result);
        EXPECT_EQ(apply(c.behavior, c.canvas, c.target, recorder), c.result);
        EXPECT_EQ(recorder.viewScale, c.scale.value_or(CGSize(-1, -1)));
        EXPECT_EQ(recorder.viewOrigin, c.scale ? c.result.origin : CGPoint(-1, -1));
    }
    EXPECT_EQ(resizingBehaviorFromRaw(2), ResizingBehavior::stretch);
    EXPECT_EQ(resizingBehaviorFromRaw(3), ResizingBehavior::center);
    EXPECT_FALSE(resizingBehaviorFromRaw(4) || resizingBehaviorFromRaw(-1));
}
