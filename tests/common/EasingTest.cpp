#include "Animator.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

float curve(const Animator& a, EnumEasing type, std::int64_t t, float b, float c, std::int64_t d) {
    return (a.*Animator::curveFor(type))(t, b, c, d);
}

constexpr EnumEasing kMonotonicOutIn[] = {
    EnumEasing::EASING_easeOutInQuad,  EnumEasing::EASING_easeOutInCubic, EnumEasing::EASING_easeOutInQuart,
    EnumEasing::EASING_easeOutInQuint, EnumEasing::EASING_easeOutInSine,  EnumEasing::EASING_easeOutInExpo,
    EnumEasing::EASING_easeOutInCirc};

} // namespace

TEST(EnumEasing, RawValuesMapToCasesOnlyInsideTheRange) {
    EXPECT_FALSE(enumEasing(42).has_value());
    EXPECT_FALSE(enumEasing(-1).has_value());
    EXPECT_EQ(enumEasing(22), EnumEasing::EASING_easeOutExpo);
    EXPECT_EQ(enumEasing(41), EnumEasing::EASING_easeLast);
    EXPECT_EQ(rawValue(EnumEasing::EASING_easeInExpo), 21);
}

TEST(Easing, EveryCurveStartsAtSourceAndEndsAtDestination) {
    const Animator a;
    for (std::int64_t raw = 0; raw < 41; ++raw) {
        const auto type = *enumEasing(raw);
        for (std::int64_t d : {1, 2, 5, 10, 33, 320}) {
            for (float c : {1.0f, -7.5f, 250.0f}) {
                const float b = 3.0f;
                const float tolerance = 1e-5f * std::max(1.0f, std::fabs(b) + std::fabs(c));
                EXPECT_NEAR(curve(a, type, 0, b, c, d), b, tolerance) << "curve " << raw << " d " << d;
                EXPECT_NEAR(curve(a, type, d, b, c, d), b + c, tolerance) << "curve " << raw << " d " << d;
            }
        }
    }
}

TEST(Easing, GuardedEndsAreExact) {
    const Animator a;
    EXPECT_EQ(a.easeInExpo(0, 2.5f, 3.0f, 7), 2.5f);
    EXPECT_EQ(a.easeOutExpo(7, 2.5f, 3.0f, 7), 5.5f);
    EXPECT_EQ(a.easeInOutExpo(7, 2.5f, 3.0f, 7), 5.5f);
    for (auto f : {&Animator::easeInElastic, &Animator::easeOutElastic, &Animator::easeInOutElastic}) {
        EXPECT_EQ((a.*f)(0, 2.5f, 3.0f, 9), 2.5f);
        EXPECT_EQ((a.*f)(9, 2.5f, 3.0f, 9), 5.5f);
    }
}

TEST(Easing, BackDipsAndOvershootsByAboutATenth) {
    const Animator a;
    float low = 1, high = 0;
    for (std::int64_t t = 0; t <= 1000; ++t) {
        low = std::min(low, a.easeInBack(t, 0, 1, 1000));
        high = std::max(high, a.easeOutBack(t, 0, 1, 1000));
    }
    EXPECT_NEAR(low, -0.1f, 0.005f);
    EXPECT_NEAR(high, 1.1f, 0.005f);
}

TEST(Easing, OutBounceTakesItsBranchesAndLandsOnTheDestination) {
    const Animator a;
    // x = 0.5 lies in the second branch: 7.5625 * (0.5 - 1.5/2.75)^2 + 0.75.
    const float v = 0.5f - 1.5f / 2.75f;
    EXPECT_FLOAT_EQ(a.easeOutBounce(1, 0, 1, 2), 7.5625f * v * v + 0.75f);
    EXPECT_NEAR(a.easeOutBounce(4, 10, 2, 4), 12.0f, 1e-6f);
}

TEST(Easing, OutInMeetsInTheMiddleForEvenFrameCounts) {
    const Animator a;
    EXPECT_EQ(a.easeOutInQuad(5, 1.0f, 4.0f, 10), 3.0f);
    EXPECT_EQ(a.easeOutInCubic(3, 1.0f, 4.0f, 6), 3.0f);
}

TEST(Easing, OutInCurvesRiseWithoutAFlatStepAtOddFrameCounts) {
    const Animator a;
    for (EnumEasing type : kMonotonicOutIn) {
        for (std::int64_t d : {3, 5, 7, 9, 11}) {
            float previous = curve(a, type, 0, 0, 1, d);
            for (std::int64_t t = 1; t <= d; ++t) {
                const float now = curve(a, type, t, 0, 1, d);
                EXPECT_GT(now, previous) << "curve " << rawValue(type) << " frame " << t << " of " << d;
                previous = now;
            }
        }
    }
}

TEST(Easing, OverriddenElasticAndBackAreUsedBySelectionAndOutIn) {
    struct Flat : Animator {
        float easeInBack(std::int64_t, float b, float, std::int64_t) const override { return b + 100; }
        float easeOutElastic(std::int64_t, float b, float, std::int64_t) const override { return b - 100; }
    } flat;
    EXPECT_EQ((flat.*Animator::curveFor(EnumEasing::EASING_easeInBack))(1, 0, 1, 4), 100.0f);
    EXPECT_EQ(flat.easeOutInBack(3, 0, 2, 4), 101.0f);     // second half: In from b + c/2
    EXPECT_EQ(flat.easeOutInElastic(1, 0, 2, 4), -100.0f); // first half: Out from b
}
