#include "plat/graphics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace plat;

namespace {
constexpr double kPi = 3.14159265358979323846;

void expectRectNear(const CGRect& a, const CGRect& b, double tol) {
    EXPECT_NEAR(a.minX(), b.minX(), tol);
    EXPECT_NEAR(a.minY(), b.minY(), tol);
    EXPECT_NEAR(a.maxX(), b.maxX(), tol);
    EXPECT_NEAR(a.maxY(), b.maxY(), tol);
}
} // namespace

TEST(BezierPath, EmptyPathContainsNothingAndHasNoBounds) {
    UIBezierPath p;
    EXPECT_TRUE(p.isEmpty());
    EXPECT_FALSE(p.contains({0, 0}));
    EXPECT_EQ(p.bounds(), CGRect());
}

TEST(BezierPath, RectangleContainsItsInsideOnly) {
    const auto p = UIBezierPath::withRect({49, 191, 414, 128});
    EXPECT_TRUE(p.contains({256, 250}));
    EXPECT_TRUE(p.contains({49.5, 191.5}));
    EXPECT_FALSE(p.contains({48, 250}));
    EXPECT_FALSE(p.contains({256, 320}));
    expectRectNear(p.bounds(), {49, 191, 414, 128}, 1e-9);
}

TEST(BezierPath, RoundedRectRadiusIsClampedToHalfTheShorterSide) {
    // A radius of 50 on a 10 x 4 rectangle becomes 2: the ends are half circles of radius 2.
    const auto p = UIBezierPath::withRoundedRect({0, 0, 10, 4}, 50);
    expectRectNear(p.bounds(), {0, 0, 10, 4}, 1e-6);
    EXPECT_TRUE(p.contains({5, 2}));
    EXPECT_TRUE(p.contains({0.3, 2}));
    EXPECT_FALSE(p.contains({0.2, 0.2})); // outside the rounded corner
}

TEST(BezierPath, RoundedRectOfNoHeightIsEmpty) {
    EXPECT_TRUE(UIBezierPath::withRoundedRect({49, 320, 10, 0}, 5).isEmpty());
    EXPECT_TRUE(UIBezierPath::withRoundedRect({49, 320, 0, 10}, 5).isEmpty());
    // A negative height is a bar on the other side, not an empty one.
    const auto below = UIBezierPath::withRoundedRect({49, 320, 10, -20}, 5);
    expectRectNear(below.bounds(), {49, 300, 10, 20}, 1e-6);
}

TEST(BezierPath, OvalFollowsTheEllipse) {
    const auto p = UIBezierPath::withOvalIn({-30, -30, 60, 60});
    expectRectNear(p.bounds(), {-30, -30, 60, 60}, 0.05);
    EXPECT_TRUE(p.contains({20, 20}));  // radius 28.3
    EXPECT_FALSE(p.contains({22, 22})); // radius 31.1
    // Half a unit inside a large circle, between the points of a coarse flattening.
    const auto big = UIBezierPath::withOvalIn({-1000, -1000, 2000, 2000});
    const double a = kPi / 64;
    EXPECT_TRUE(big.contains({999.5 * std::cos(a), 999.5 * std::sin(a)}));
    EXPECT_FALSE(big.contains({1000.5 * std::cos(a), 1000.5 * std::sin(a)}));
}

TEST(BezierPath, ClockwiseArcRunsThroughIncreasingAnglesOnAYDownScreen) {
    // From -90 (up) to 0 (right) clockwise: passes the upper right, never below the centre.
    const auto cw = UIBezierPath::withArc({0, 0}, 10, -kPi / 2, 0, true);
    const CGRect b = cw.bounds();
    EXPECT_NEAR(b.minY(), -10, 1e-6);
    EXPECT_NEAR(b.maxY(), 0, 1e-6);
    EXPECT_NEAR(b.minX(), 0, 1e-6);
    // The same angles anticlockwise take the long way round, through left and bottom.
    const auto ccw = UIBezierPath::withArc({0, 0}, 10, -kPi / 2, 0, false);
    expectRectNear(ccw.bounds(), {-10, -10, 20, 20}, 1e-3);
}

TEST(BezierPath, ArcOfTheKnobScaleSpans260Degrees) {
    // -220 to 40 degrees clockwise about (55, 60), radius 41: over the top, open at the bottom.
    const auto a = UIBezierPath::withArc({55, 60}, 41, -220 * kPi / 180, 40 * kPi / 180, true);
    const CGRect b = a.bounds();
    EXPECT_NEAR(b.minY(), 19, 1e-3);
    EXPECT_NEAR(b.minX(), 14, 1e-3);
    EXPECT_NEAR(b.maxX(), 96, 1e-3);
    EXPECT_NEAR(b.maxY(), 60 + 41 * std::sin(40 * kPi / 180), 1e-3);
    const CGPoint end = a.currentPoint();
    EXPECT_NEAR(end.x, 55 + 41 * std::cos(40 * kPi / 180), 1e-9);
    EXPECT_NEAR(end.y, 60 + 41 * std::sin(40 * kPi / 180), 1e-9);
}

TEST(BezierPath, ArcOfNoSweepIsOnlyItsStartPoint) {
    const auto a = UIBezierPath::withArc({55, 60}, 41, 1.0, 1.0, true);
    ASSERT_EQ(a.elements().size(), 1u);
    EXPECT_EQ(a.elements()[0].kind, UIBezierPath::Element::Kind::move);
}

TEST(BezierPath, NonZeroWindingFillsOnlyBetweenOppositeContours) {
    UIBezierPath ring = UIBezierPath::withOvalIn({-20, -20, 40, 40});
    UIBezierPath inner; // anticlockwise on screen
    inner.addArc({0, 0}, 10, 0, -2 * kPi + 1e-9, false);
    inner.close();
    ring.append(inner);
    EXPECT_TRUE(ring.contains({15, 0}));
    EXPECT_FALSE(ring.contains({0, 0}));
    // Same direction twice: the inside stays filled.
    UIBezierPath both = UIBezierPath::withOvalIn({-20, -20, 40, 40});
    both.append(UIBezierPath::withOvalIn({-10, -10, 20, 20}));
    EXPECT_TRUE(both.contains({0, 0}));
}

TEST(BezierPath, CurvesAreHitTestedAlongTheCurveNotTheirControlPolygon) {
    UIBezierPath p;
    p.moveTo({0, 0});
    p.addCurveTo({100, 0}, {0, 100}, {100, 100});
    p.close();
    EXPECT_TRUE(p.contains({50, 50}));
    EXPECT_FALSE(p.contains({50, 90})); // inside the control polygon, outside the curve
}

TEST(BezierPath, NonFinitePointsMakeThePathUndrawable) {
    UIBezierPath p;
    p.moveTo({0, 0});
    p.addLineTo({std::numeric_limits<double>::quiet_NaN(), 5});
    EXPECT_FALSE(p.isFinite());
    EXPECT_FALSE(p.contains({0, 0}));
    EXPECT_FALSE(
        UIBezierPath::withRoundedRect({0, std::numeric_limits<double>::infinity(), 10, 10}, 2).isFinite());
}
