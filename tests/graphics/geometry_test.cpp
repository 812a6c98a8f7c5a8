#include "plat/geometry.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace plat;

namespace {
constexpr double kPi = 3.14159265358979323846;
void expectPoint(CGPoint p, double x, double y) {
    EXPECT_NEAR(p.x, x, 1e-9);
    EXPECT_NEAR(p.y, y, 1e-9);
}
} // namespace

TEST(Geometry, StandardisedRectHasNoNegativeSize) {
    EXPECT_EQ(CGRect(300, 0, -300, 200).standardized(), CGRect(0, 0, 300, 200));
    EXPECT_EQ(CGRect(10, 50, 20, -30).standardized(), CGRect(10, 20, 20, 30));
    EXPECT_DOUBLE_EQ(CGRect(300, 0, -300, 200).minX(), 0);
    EXPECT_DOUBLE_EQ(CGRect(300, 0, -300, 200).width(), 300);
}

TEST(Geometry, ContainsIsHalfOpenAndEmptyRectsContainNothing) {
    const CGRect r(0, 0, 10, 10);
    EXPECT_TRUE(r.contains(CGPoint(0, 0)));
    EXPECT_TRUE(r.contains(CGPoint(9.99, 9.99)));
    EXPECT_FALSE(r.contains(CGPoint(10, 5)));
    EXPECT_FALSE(r.contains(CGPoint(5, 10)));
    EXPECT_FALSE(CGRect(0, 0, 0, 10).contains(CGPoint(0, 5)));
    EXPECT_TRUE(CGRect(10, 10, -10, -10).contains(CGPoint(5, 5)));
}

TEST(Geometry, IntersectsNeedsSharedArea) {
    EXPECT_TRUE(CGRect(0, 0, 10, 10).intersects(CGRect(5, 5, 10, 10)));
    EXPECT_FALSE(CGRect(0, 0, 10, 10).intersects(CGRect(10, 0, 5, 5)));
    EXPECT_FALSE(CGRect(0, 0, 10, 10).intersects(CGRect(2, 2, 0, 0)));
    EXPECT_TRUE(CGRectIntersectsRect(CGRect(0, 0, 10, 10), CGRect(-5, -5, 6, 6)));
    EXPECT_EQ(CGRect(0, 0, 10, 10).intersection(CGRect(5, 5, 10, 10)), CGRect(5, 5, 5, 5));
}

TEST(Geometry, RotationTurnsClockwiseOnAYDownScreen) {
    // A quarter turn takes "right" to "down".
    expectPoint(CGPoint(1, 0).applying(CGAffineTransform::rotation(kPi / 2)), 0, 1);
}

TEST(Geometry, ConcatenationAppliesTheFirstTransformFirst) {
    const auto t = CGAffineTransform::scale(2, 3).concatenating(CGAffineTransform::translation(10, 20));
    expectPoint(CGPoint(1, 1).applying(t), 12, 23);
    const auto u = CGAffineTransform::translation(10, 20).scaledBy(2, 3);
    expectPoint(CGPoint(1, 1).applying(u), 12, 23);
}

TEST(Geometry, InverseUndoesATransform) {
    const auto t =
        CGAffineTransform::rotation(0.7).concatenating(CGAffineTransform::translation(5, -3)).scaledBy(2, 4);
    const CGPoint p(3.5, -1.25);
    expectPoint(p.applying(t).applying(t.inverted()), p.x, p.y);
}

TEST(Geometry, RectApplyingATransformIsTheBoundingBoxOfItsCorners) {
    const CGRect r(0, 0, 10, 20);
    EXPECT_EQ(r.applying(CGAffineTransform::translation(5, 5).scaledBy(2, 2)), CGRect(5, 5, 20, 40));
    const CGRect turned = r.applying(CGAffineTransform::rotation(kPi / 2));
    EXPECT_NEAR(turned.minX(), -20, 1e-9);
    EXPECT_NEAR(turned.minY(), 0, 1e-9);
    EXPECT_NEAR(turned.width(), 20, 1e-9);
    EXPECT_NEAR(turned.height(), 10, 1e-9);
}
