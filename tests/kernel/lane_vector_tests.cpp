#include "VEC32.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(LaneVectors, ArithmeticIsLaneByLane) {
    VEC32 a, b;
    for (int i = 0; i < 32; ++i) {
        a[i] = float(i);
        b[i] = float(2 * i + 1);
    }
    const VEC32 sum = a + b, diff = a - b, prod = a * b, quot = b / VEC32(2.0f);
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(sum[i], float(3 * i + 1));
        EXPECT_EQ(diff[i], float(-i - 1));
        EXPECT_EQ(prod[i], float(i * (2 * i + 1)));
        EXPECT_EQ(quot[i], float(2 * i + 1) / 2.0f);
    }
    VEC32 c = a;
    c += b;
    c *= VEC32(2.0f);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(c[i], 2.0f * float(3 * i + 1));
    EXPECT_TRUE(std::isinf((VEC32(1.0f) / VEC32(0.0f))[17]));
}

TEST(LaneVectors, SumAddsLaneZeroFirst) {
    EXPECT_EQ(VEC32(0.5f).sum(), 16.0f);
    // A large lane 0 swallows the small lanes that follow it, one by one.
    VEC32 v(1.0f);
    v[0] = 16777216.0f;
    EXPECT_EQ(v.sum(), 16777216.0f);
    VEC32 w(1.0f);
    w[31] = 16777216.0f;
    EXPECT_EQ(w.sum(), 16777216.0f + 32.0f);
}

TEST(LaneVectors, IndexBeyondTheLastLaneRefersToLaneZero) {
    VEC32 v(0.0f);
    v[40] = 3.0f;
    EXPECT_EQ(v[0], 3.0f);
    v[31] = 7.0f;
    EXPECT_EQ(v.array()[31], 7.0f);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(v.array()) % 32, 0u);
}
