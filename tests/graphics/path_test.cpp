// Paths: their bounds and what they contain (non-zero winding, y axis down).
#include "plat/graphics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

using namespace plat;

namespace {
constexpr double kPi = 3.14159265358979323846, kNaN = std::numeric_limits<double>::quiet_NaN();

double rad(double degrees) {
    return degrees * kPi / 180;
}

} // namespace

TEST(BezierPath, BoundsAndContainmentOfEveryShape) {
    const CGPoint edge{std::cos(kPi / 64), std::sin(kPi / 64)}; // between the points of a coarse flattening
    const CGPoint in{999.5 * edge.x, 999.5 * edge.y}, out{1000.5 * edge.x, 1000.5 * edge.y};
    const CGPoint knobEnd{55 + 41 * std::cos(rad(40)), 60 + 41 * std::sin(rad(40))};
    const auto rect = UIBezierPath::withRect({49, 191, 414, 128});
    const auto pill = UIBezierPath::withRoundedRect({0, 0, 10, 4}, 50),
               box = UIBezierPath::withRoundedRect({0, 0, 10, 4}, 0);
    const auto below = UIBezierPath::withRoundedRect({49, 320, 10, -20}, 5);
    const auto big = UIBezierPath::withOvalIn({-1000, -1000, 2000, 2000});
    const auto cw = UIBezierPath::withArc({0, 0}, 10, -kPi / 2, 0, true);
    const auto ccw = UIBezierPath::withArc({0, 0}, 10, -kPi / 2, 0, false);
    const auto cwBack = UIBezierPath::withArc({0, 0}, 10, 0, -kPi / 2, true);
    const auto knob = UIBezierPath::withArc({55, 60}, 41, rad(-220), rad(40), true);
    // A disc with a circle inside drawn the other way round, or the same way; a curve; a non-finite point.
    UIBezierPath ring = UIBezierPath::withOvalIn({-20, -20, 40, 40}), same = ring, inner, curve, withNaN;
    inner.addArc({0, 0}, 10, 0, -2 * kPi + 1e-9, false), inner.close(), ring.append(inner);
    same.append(UIBezierPath::withOvalIn({-10, -10, 20, 20}));
    curve.moveTo({0, 0}), curve.addCurveTo({100, 0}, {0, 100}, {100, 100}), curve.close();
    withNaN.moveTo({0, 0}), withNaN.addLineTo({kNaN, 5});
    struct Case {
        const char* fault;
        UIBezierPath path;
        std::optional<CGRect> bounds; // none: not checked
        std::vector<CGPoint> inside, outside;
    };
    const Case cases[] = {
        {"empty path has an inside", {}, CGRect(), {}, {{0, 0}}},
        {"rectangle edges",
         rect,
         CGRect(49, 191, 414, 128),
         {{256, 250}, {49.5, 191.5}},
         {{48, 250}, {256, 320}}},
        {"radius not clamped", pill, CGRect(0, 0, 10, 4), {{5, 2}, {0.3, 2}}, {{0.2, 0.2}}},
        {"no radius, no rectangle", box, CGRect(0, 0, 10, 4), {{0.2, 0.2}}, {}},
        {"negative height empty", below, CGRect(49, 300, 10, 20), {{54, 310}}, {}},
        {"coarse oval", big, CGRect(-1000, -1000, 2000, 2000), {in, {700, 700}}, {out, {710, 710}}},
        {"clockwise arc the long way", cw, CGRect(0, -10, 10, 10), {}, {}},
        {"anticlockwise arc the short way", ccw, CGRect(-10, -10, 20, 20), {}, {}},
        {"clockwise arc to a smaller angle the short way", cwBack, CGRect(-10, -10, 20, 20), {}, {}},
        {"knob scale arc", knob, CGRect(14, 19, 82, knobEnd.y - 19), {}, {}},
        {"opposite contours add up", ring, std::nullopt, {{15, 0}}, {{0, 0}}},
        {"same-way contours cancel", same, std::nullopt, {{0, 0}, {15, 0}}, {}},
        {"curve bounds or hit by control polygon", curve, CGRect(0, 0, 100, 75), {{50, 50}}, {{50, 90}}},
        {"non-finite point drawable", withNaN, CGRect(), {}, {{0, 0}}},
    };
    for (const Case& c : cases) {
        if (c.bounds) {
            const CGRect b = c.path.bounds();
            for (const auto& [got, want] : {std::pair{b.minX(), c.bounds->minX()},
                                            {b.minY(), c.bounds->minY()},
                                            {b.maxX(), c.bounds->maxX()},
                                            {b.maxY(), c.bounds->maxY()}})
                EXPECT_NEAR(got, want, 1e-3) << c.fault;
        }
        for (CGPoint p : c.inside) EXPECT_TRUE(c.path.contains(p)) << c.fault << " " << p.x << "," << p.y;
        for (CGPoint p : c.outside) EXPECT_FALSE(c.path.contains(p)) << c.fault << " " << p.x << "," << p.y;
    }
    const CGPoint end = knob.currentPoint();
    EXPECT_NEAR(end.x, knobEnd.x, 1e-9);
    EXPECT_NEAR(end.y, knobEnd.y, 1e-9);
    const auto still = UIBezierPath::withArc({55, 60}, 41, 1.0, 1.0, true); // no sweep: its start point only
    ASSERT_EQ(still.elements().size(), 1u);
    EXPECT_EQ(still.elements()[0].kind, UIBezierPath::Element::Kind::move);
    for (const CGRect& flat : {CGRect(49, 320, 10, 0), CGRect(49, 320, 0, 10)})
        EXPECT_TRUE(UIBezierPath::withRoundedRect(flat, 5).isEmpty());
    EXPECT_FALSE(withNaN.isFinite());
    EXPECT_FALSE(
        UIBezierPath::withRoundedRect({0, std::numeric_limits<double>::infinity(), 10, 10}, 2).isFinite());
}
