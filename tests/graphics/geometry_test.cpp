// Rectangles and affine transforms on a y-down screen.
#include "plat/geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace plat;

TEST(Geometry, RectanglesAreStandardisedHalfOpenAndIntersectOnlyWithSharedArea) {
    EXPECT_EQ(CGRect(300, 0, -300, 200).standardized(), CGRect(0, 0, 300, 200));
    EXPECT_EQ(CGRect(10, 50, 20, -30).standardized(), CGRect(10, 20, 20, 30));
    const CGRect r(0, 0, 10, 10);
    const std::tuple<CGRect, CGPoint, bool> contains[] = {
        {r, {0, 0}, true},   {r, {9.99, 9.99}, true},        {r, {10, 5}, false},
        {r, {5, 10}, false}, {{0, 0, 0, 10}, {0, 5}, false}, {{10, 10, -10, -10}, {5, 5}, true},
    };
    for (const auto& [rect, point, inside] : contains) EXPECT_EQ(rect.contains(point), inside) << point.x;
    const std::tuple<CGRect, bool, CGRect> intersections[] = {
        {{5, 5, 10, 10}, true, {5, 5, 5, 5}},
        {{-5, -5, 6, 6}, true, {0, 0, 1, 1}},
        {{10, 0, 5, 5}, false, {}}, // touching edges share no area
        {{2, 2, 0, 0}, false, {}},
    };
    for (const auto& [other, meet, common] : intersections) {
        EXPECT_EQ(CGRectIntersectsRect(r, other), meet) << other.minX();
        EXPECT_EQ(r.intersection(other), common) << other.minX();
    }
}

TEST(Geometry, TransformsTurnClockwiseApplyInOrderAndInvert) {
    constexpr double kPi = 3.14159265358979323846;
    const auto scaleThenMove =
        CGAffineTransform::scale(2, 3).concatenating(CGAffineTransform::translation(10, 20));
    const auto spin = CGAffineTransform::rotation(0.7).concatenating(CGAffineTransform::translation(5, -3));
    const std::tuple<const char*, CGAffineTransform, CGPoint, CGPoint> cases[] = {
        {"a quarter turn takes right to down", CGAffineTransform::rotation(kPi / 2), {1, 0}, {0, 1}},
        {"concatenation applies the first first", scaleThenMove, {1, 1}, {12, 23}},
        {"scaledBy acts before the transform",
         CGAffineTransform::translation(10, 20).scaledBy(2, 3),
         {1, 1},
         {12, 23}},
        {"the inverse undoes",
         spin.scaledBy(2, 4).inverted().concatenating(spin.scaledBy(2, 4)),
         {3.5, -1},
         {3.5, -1}},
    };
    for (const auto& [fault, t, p, expected] : cases) {
        EXPECT_NEAR(p.applying(t).x, expected.x, 1e-9) << fault;
        EXPECT_NEAR(p.applying(t).y, expected.y, 1e-9) << fault;
    }
    const CGRect r(0, 0, 10, 20);
    EXPECT_EQ(r.applying(CGAffineTransform::translation(5, 5).scaledBy(2, 2)), CGRect(5, 5, 20, 40));
    // A sixth of a half turn: every corner counts for the bounding box, the opposite ones do not suffice.
    const CGRect turned = r.applying(CGAffineTransform::rotation(kPi / 6));
    const double c = std::cos(kPi / 6), sn = std::sin(kPi / 6);
    for (const auto& [got, want] : {std::pair{turned.minX(), -20 * sn},
                                    {turned.minY(), 0.0},
                                    {turned.maxX(), 10 * c},
                                    {turned.maxY(), 10 * sn + 20 * c}})
        EXPECT_NEAR(got, want, 1e-9);
}

// A failing comparison shows the numbers, inside containers too.
TEST(Geometry, AFailingComparisonShowsTheNumbers) {
    EXPECT_EQ(::testing::PrintToString(std::vector<CGRect>{{0.5, -2, 1e20, 3}}), "{ {0.5, -2, 1e+20, 3} }");
    EXPECT_EQ(::testing::PrintToString(CGPoint(1, 2)), "{1, 2}");
    EXPECT_EQ(::testing::PrintToString(CGSize(3, 4)), "{3, 4}");
    EXPECT_EQ(::testing::PrintToString(CGAffineTransform::translation(5, 6)), "[1, 0, 0, 1, 5, 6]");
}
