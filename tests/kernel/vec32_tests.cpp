// The band vector on its own: the order of its sum, where indices land, division lane by lane,
// and operations that reach the last lane.
#include "VEC32.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace {
// Lane i holds i + 1, so a lane taken from the wrong place shows.
VEC32 ramp(float scale = 1.0f) {
    VEC32 v;
    for (int i = 0; i < 32; ++i) v.lanes[i] = scale * float(i + 1);
    return v;
}
} // namespace

TEST(VEC32, SumsFromZeroLaneZeroFirstOneAdditionAtATime) {
    VEC32 big(1.0f);
    big[0] = 16777216.0f; // 2^24: every later 1 is lost when it comes after it, one at a time
    VEC32 small(1.0f);
    small[31] = 16777216.0f; // ... and none is when the ones come first
    const struct {
        const char* fault;
        VEC32 v;
        float want;
    } rows[] = {
        {"halves are not summed", VEC32(0.5f), 16.0f},
        {"the lanes are summed in groups or from the top", big, 16777216.0f},
        {"the last lane is left out", small, 16777248.0f},
    };
    for (const auto& row : rows) EXPECT_EQ(row.v.sum(), row.want) << row.fault;
    // 0 + -0 is +0: a sum that starts from lane 0 instead of 0 keeps the sign.
    EXPECT_FALSE(std::signbit(VEC32(-0.0f).sum())) << "the sum starts from lane 0";
}

TEST(VEC32, IndicesFromThirtyTwoUpAndBelowZeroReferToLaneZero) {
    VEC32 v = ramp();
    const VEC32& c = v;
    const struct {
        const char* fault;
        int index, lane;
    } rows[] = {
        {"lane 31 is taken as out of range", 31, 31},
        {"index 32 reaches past the vector", 32, 0},
        {"index 40 reaches past the vector", 40, 0},
        {"a negative index reaches before the vector", -1, 0},
        {"a large index reaches past the vector", 1 << 30, 0},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(&v[row.index], &v.lanes[row.lane]) << row.fault;
        EXPECT_EQ(&c[row.index], &c.lanes[row.lane]) << row.fault << " (const)";
    }
    v[40] = -7.0f;
    EXPECT_EQ(v[0], -7.0f);
    EXPECT_EQ(&v.array()[31], &v[31]) << "array() is not the lanes in order";
    EXPECT_EQ(v.array()[5], 6.0f);
}

TEST(VEC32, DividesLaneByLaneWithAZeroLaneByTheFloatingPointRules) {
    VEC32 den(3.0f);
    den[5] = 0.0f;
    VEC32 num(6.0f);
    num[7] = -6.0f;
    den[7] = 0.0f;
    num[9] = 0.0f;
    den[9] = 0.0f;
    const VEC32 q = num / den;
    const float inf = std::numeric_limits<float>::infinity();
    for (int i = 0; i < 32; ++i) {
        if (i == 5) {
            EXPECT_EQ(q[i], inf) << "a zero lane is guarded";
        } else if (i == 7) {
            EXPECT_EQ(q[i], -inf) << "the sign of a zero-lane quotient is lost";
        } else if (i == 9) {
            EXPECT_TRUE(std::isnan(q[i])) << "0 / 0 is guarded";
        } else {
            EXPECT_EQ(q[i], 2.0f) << "lane " << i << ": divided by an estimate, or the wrong way round";
        }
    }
    const VEC32 all = VEC32(1.0f) / VEC32(0.0f);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(all[i], inf) << i;
}

TEST(VEC32, EveryOperationReachesEveryLaneUpToTheLast) {
    const VEC32 a = ramp(), b = ramp(0.5f);
    const struct {
        const char* fault;
        std::function<VEC32()> op;
        std::function<float(float, float)> lane;
    } rows[] = {
        {"+ misses a group or lane", [&] { return a + b; }, [](float x, float y) { return x + y; }},
        {"- misses a group, or subtracts the wrong way", [&] { return a - b; },
         [](float x, float y) { return x - y; }},
        {"* misses a group or lane", [&] { return a * b; }, [](float x, float y) { return x * y; }},
        {"/ misses a group, or divides the wrong way", [&] { return a / b; },
         [](float x, float y) { return x / y; }},
        {"+= misses a group or lane",
         [&] {
             VEC32 r = a;
             r += b;
             return r;
         },
         [](float x, float y) { return x + y; }},
        {"*= misses a group or lane",
         [&] {
             VEC32 r = a;
             r *= b;
             return r;
         },
         [](float x, float y) { return x * y; }},
        {"the broadcast misses a group or lane", [] { return VEC32(2.5f); },
         [](float, float) { return 2.5f; }},
    };
    for (const auto& row : rows) {
        const VEC32 r = row.op();
        for (int i = 0; i < 32; ++i)
            EXPECT_EQ(r.array()[i], row.lane(a.lanes[i], b.lanes[i])) << row.fault << ", lane " << i;
    }
}
