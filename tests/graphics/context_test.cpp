#include "plat/graphics.h"
#include "plat/image.h"

#include <gtest/gtest.h>

#include <limits>

using namespace plat;

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}

TEST(GraphicsContext, SaveAndRestoreAreBalancedAndCounted) {
    ImageSurface image(10, 10);
    CGContext& ctx = image.context();
    EXPECT_EQ(ctx.gStateDepth(), 0);
    ctx.saveGState();
    ctx.translateBy(3, 4);
    ctx.saveGState();
    EXPECT_EQ(ctx.gStateDepth(), 2);
    ctx.scaleBy(2, 2);
    ctx.restoreGState();
    EXPECT_EQ(ctx.ctm(), CGAffineTransform::translation(3, 4));
    ctx.restoreGState();
    EXPECT_EQ(ctx.ctm(), CGAffineTransform());
    ctx.restoreGState(); // unmatched: ignored
    EXPECT_EQ(ctx.gStateDepth(), 0);
    ctx.fill(UIBezierPath::withRect({0, 0, 10, 10}), UIColor::black());
    EXPECT_EQ(image.pixel(5, 5).a, 255);
}

TEST(GraphicsContext, AlphaIsReplacedNotMultiplied) {
    ImageSurface image(10, 10);
    const UIColor half{0.2, 0.4, 0.6, 0.5};
    image.context().fill(UIBezierPath::withRect({0, 0, 10, 10}), half.withAlphaComponent(0.6));
    const Pixel p = image.pixel(5, 5);
    EXPECT_NEAR(p.a, 153, 1); // 0.6, not 0.5 x 0.6 = 0.3
    EXPECT_NEAR(p.r, 51, 2);
    EXPECT_NEAR(p.g, 102, 2);
    EXPECT_NEAR(p.b, 153, 2);
}

TEST(GraphicsContext, RectangleClipLimitsDrawingUntilRestore) {
    ImageSurface image(20, 20);
    CGContext& ctx = image.context();
    ctx.saveGState();
    ctx.clip({0, 0, 10, 20});
    EXPECT_EQ(ctx.clipBoundingBox(), CGRect(0, 0, 10, 20));
    ctx.fill(UIBezierPath::withRect({0, 0, 20, 10}), UIColor::black());
    ctx.restoreGState();
    ctx.fill(UIBezierPath::withRect({0, 10, 20, 10}), UIColor::black());
    EXPECT_EQ(image.pixel(5, 5).a, 255);
    EXPECT_EQ(image.pixel(15, 5).a, 0);
    EXPECT_EQ(image.pixel(15, 15).a, 255);
}

TEST(GraphicsContext, RotationAndScaleMapUserUnitsClockwise) {
    ImageSurface image(40, 40);
    CGContext& ctx = image.context();
    ctx.translateBy(20, 20);
    ctx.rotate(3.14159265358979323846 / 2);
    ctx.scaleBy(2, 2);
    // User (2..6, -1..1) lands below the centre after a quarter turn clockwise.
    ctx.fill(UIBezierPath::withRect({2, -1, 4, 2}), UIColor::black());
    EXPECT_EQ(image.pixel(20, 28).a, 255);
    EXPECT_EQ(image.pixel(28, 20).a, 0);
}

TEST(GraphicsContext, DashesAreStateAndZeroLengthDashesDrawRoundDots) {
    ImageSurface image(40, 10);
    CGContext& ctx = image.context();
    ctx.saveGState();
    const CGFloat dots[] = {0, 8};
    ctx.setLineDash(0, dots);
    EXPECT_EQ(ctx.lineDashCount(), 2);
    UIBezierPath line;
    line.moveTo({4, 5});
    line.addLineTo({36, 5});
    line.lineWidth = 4;
    line.lineCapStyle = UIBezierPath::LineCap::round;
    ctx.stroke(line, UIColor::black());
    ctx.restoreGState();
    EXPECT_EQ(ctx.lineDashCount(), 0);
    EXPECT_GT(image.pixel(4, 5).a, 200); // a dot at every 8 units
    EXPECT_GT(image.pixel(12, 5).a, 200);
    EXPECT_EQ(image.pixel(8, 5).a, 0); // between dots
}

TEST(GraphicsContext, StrokeUsesThePathsWidthCapAndJoin) {
    ImageSurface image(40, 40);
    UIBezierPath line;
    line.moveTo({10, 20});
    line.addLineTo({30, 20});
    line.lineWidth = 10;
    image.context().stroke(line, UIColor::black());
    EXPECT_EQ(image.pixel(20, 16).a, 255);
    EXPECT_EQ(image.pixel(7, 20).a, 0); // butt cap: nothing beyond the end
    line.lineCapStyle = UIBezierPath::LineCap::round;
    image.context().stroke(line, UIColor::black());
    EXPECT_EQ(image.pixel(7, 20).a, 255);
}

TEST(GraphicsContext, DegenerateTransformSuppressesDrawingUntilRestore) {
    ImageSurface image(20, 20);
    CGContext& ctx = image.context();
    ctx.saveGState();
    ctx.scaleBy(0, 1);
    EXPECT_FALSE(ctx.isDrawing());
    ctx.fill(UIBezierPath::withRect({0, 0, 20, 20}), UIColor::black());
    ctx.saveGState();
    ctx.rotate(kNaN);
    ctx.restoreGState();
    ctx.restoreGState();
    EXPECT_TRUE(ctx.isDrawing());
    EXPECT_EQ(image.pixel(10, 10).a, 0);
    // The context still works afterwards.
    ctx.fill(UIBezierPath::withRect({0, 0, 20, 20}), UIColor::black());
    EXPECT_EQ(image.pixel(10, 10).a, 255);
}

TEST(GraphicsContext, NonFiniteColoursAndPathsDrawNothing) {
    ImageSurface image(20, 20);
    CGContext& ctx = image.context();
    ctx.fill(UIBezierPath::withRect({0, 0, 20, 20}), UIColor{kNaN, 0, 0, 1});
    UIBezierPath bad;
    bad.moveTo({0, 0});
    bad.addLineTo({kNaN, 20});
    bad.addLineTo({20, 20});
    ctx.fill(bad, UIColor::black());
    EXPECT_EQ(image.pixel(10, 15).a, 0);
    ctx.fill(UIBezierPath::withRect({0, 0, 20, 20}), UIColor::black());
    EXPECT_EQ(image.pixel(10, 15).a, 255);
}

TEST(GraphicsContext, CurrentContextIsAPerThreadStack) {
    EXPECT_EQ(UIGraphicsGetCurrentContext(), nullptr);
    ImageSurface a(4, 4), b(4, 4);
    {
        UIGraphicsContextScope outer(a.context());
        EXPECT_EQ(UIGraphicsGetCurrentContext(), &a.context());
        {
            UIGraphicsContextScope inner(b.context());
            EXPECT_EQ(UIGraphicsGetCurrentContext(), &b.context());
        }
        EXPECT_EQ(UIGraphicsGetCurrentContext(), &a.context());
    }
    EXPECT_EQ(UIGraphicsGetCurrentContext(), nullptr);
}
