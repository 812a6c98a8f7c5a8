// The cairo-backed context: what each drawing call inks, the state that saving brackets, and the
// image surfaces it draws into.
#include "plat/graphics.h"
#include "plat/image.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>

using namespace plat;

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

UIBezierPath line(CGPoint from, CGPoint to, CGFloat width, UIBezierPath::LineCap cap) {
    UIBezierPath p;
    p.moveTo(from);
    p.addLineTo(to);
    p.lineWidth = width;
    p.lineCapStyle = cap;
    return p;
}
} // namespace

TEST(GraphicsContext, EachCallInksWhereItShouldAndNowhereElse) {
    ImageSurface image(160, 40);
    CGContext& c = image.context();
    const UIColor black = UIColor::black();
    const auto butt = UIBezierPath::LineCap::butt, round = UIBezierPath::LineCap::round;
    auto box = [](double x, double y, double w, double h) { return UIBezierPath::withRect({x, y, w, h}); };
    c.restoreGState(); // unmatched: ignored
    c.saveGState();    // x 0..40: a clip ends with its restore
    c.clip({0, 0, 10, 40});
    c.fill(box(0, 0, 40, 20), black);
    c.restoreGState();
    c.fill(box(0, 20, 40, 20), black);
    c.saveGState(); // x 40..80: a quarter turn is clockwise, so user (2..6, -1..1) lands below the centre
    c.translateBy(60, 20), c.rotate(3.14159265358979323846 / 2), c.scaleBy(2, 2);
    c.fill(box(2, -1, 4, 2), black);
    c.restoreGState();
    c.stroke(line({90, 10}, {110, 10}, 10, butt), black); // x 80..120: width and cap
    c.stroke(line({90, 30}, {110, 30}, 10, round), black);
    c.saveGState(); // x 120..160, y 0..10: zero-length dashes draw round dots every 8 units
    const CGFloat dots[] = {0, 8};
    c.setLineDash(0, dots);
    c.stroke(line({124, 5}, {156, 5}, 4, round), black);
    c.restoreGState();
    c.saveGState(); // y 10..20: a degenerate transform draws nothing until its restore
    c.scaleBy(0, 1);
    c.fill(box(120, 10, 40, 10), black);
    c.saveGState(), c.rotate(kNaN), c.restoreGState();
    c.restoreGState();
    c.fill(box(120, 20, 40, 10), black);
    c.fill(box(120, 30, 40, 10), UIColor{kNaN, 0, 0, 1}); // y 30..40: nothing non-finite paints
    UIBezierPath bad;
    bad.moveTo({120, 30}), bad.addLineTo({kNaN, 40}), bad.addLineTo({160, 40});
    c.fill(bad, black);
    const std::tuple<int, int, bool, const char*> probes[] = {
        {5, 5, true, "clip"},          {15, 5, false, "clip kept"},
        {35, 25, true, "clip kept"},   {60, 28, true, "rotation"},
        {68, 20, false, "rotation"},   {100, 6, true, "line width"},
        {87, 10, false, "butt cap"},   {87, 30, true, "round cap"},
        {124, 5, true, "dots"},        {132, 5, true, "dots"},
        {128, 5, false, "dots"},       {140, 15, false, "degenerate"},
        {140, 25, true, "degenerate"}, {140, 35, false, "non-finite paint"},
    };
    for (const auto& [x, y, inked, what] : probes) EXPECT_EQ(image.pixel(x, y).a > 200, inked) << what;
    // A colour's alpha is replaced, not multiplied: 0.6, not 0.5 x 0.6.
    c.fill(box(40, 0, 10, 10), UIColor{0.2, 0.4, 0.6, 0.5}.withAlphaComponent(0.6));
    const Pixel p = image.pixel(45, 5);
    for (const auto& [got, want] : {std::pair{p.r, 51}, {p.g, 102}, {p.b, 153}, {p.a, 153}})
        EXPECT_NEAR(got, want, 2);
}

TEST(GraphicsContext, SavingBracketsTransformDashAndClipAndContextsStackPerThread) {
    ImageSurface image(20, 20), other(4, 4);
    CGContext& ctx = image.context();
    const CGFloat dash[] = {1, 2};
    ctx.saveGState(), ctx.translateBy(3, 4), ctx.saveGState();
    EXPECT_EQ(ctx.gStateDepth(), 2);
    ctx.scaleBy(2, 2), ctx.setLineDash(0, dash), ctx.clip({0, 0, 5, 20});
    EXPECT_EQ(std::tuple(ctx.lineDashCount(), ctx.clipBoundingBox()), std::tuple(2, CGRect(0, 0, 5, 8)));
    ctx.restoreGState();
    EXPECT_EQ(std::tuple(ctx.ctm(), ctx.lineDashCount()),
              std::tuple(CGAffineTransform::translation(3, 4), 0));
    ctx.restoreGState(), ctx.restoreGState(); // the second is unmatched: ignored
    EXPECT_EQ(std::tuple(ctx.gStateDepth(), ctx.ctm(), ctx.isDrawing()),
              std::tuple(0, CGAffineTransform(), true));
    EXPECT_EQ(UIGraphicsGetCurrentContext(), nullptr);
    {
        UIGraphicsContextScope outer(ctx);
        {
            UIGraphicsContextScope inner(other.context());
            EXPECT_EQ(UIGraphicsGetCurrentContext(), &other.context());
        }
        EXPECT_EQ(UIGraphicsGetCurrentContext(), &ctx);
    }
    EXPECT_EQ(UIGraphicsGetCurrentContext(), nullptr);
}

// A surface too large to make reads transparent and refuses to be written.
TEST(ImageSurface, PixelsReadBackUnpremultipliedAndTransparentOutsideOrWhenTooLargeToMake) {
    ImageSurface image(8, 8), huge(40000, 10); // beyond the widest image the drawing library makes
    EXPECT_EQ(image.pixel(3, 3), Pixel{});
    image.fill(UIColor{1, 0.5, 0, 0.5});
    const Pixel p = image.pixel(3, 3);
    for (const auto& [got, want] : {std::pair{p.r, 255}, {p.g, 128}, {p.b, 0}, {p.a, 128}})
        EXPECT_NEAR(got, want, 2);
    huge.fill(UIColor::black());
    huge.context().fill(UIBezierPath::withRect({0, 0, 10, 10}), UIColor::black());
    for (const auto& [surface, x] : {std::pair{&image, -1}, {&image, 8}, {&huge, 1}})
        EXPECT_EQ(surface->pixel(x, 1), Pixel{}) << x;
    std::string error;
    EXPECT_FALSE(huge.writePNG("/tmp/never-written.png", &error));
    EXPECT_NE(error.find("40000 x 10"), std::string::npos) << error;
}
