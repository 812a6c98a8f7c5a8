// The aligned float block: zeroed, growing only when asked to, and released by empty requests.
#include <gtest/gtest.h>

#include <cstdint>

#include "DynaBuffer.h"

TEST(DynaBuffer, NewBlocksAreZeroedAlignedAndOnlyGrowUnlessReadjusted) {
    DynaBuffer b(7);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b.getBuffer()) % 16, 0u);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(b[i], 0.0f);
    b.allocate(8);
    b[7] = 3.0f;
    EXPECT_EQ(b.allocate(4), b.getBuffer()); // smaller: the block stays
    EXPECT_EQ(b.getSize(), 8);
    EXPECT_EQ(b[7], 3.0f);
    b.ensure(16);
    EXPECT_EQ(b.getSize(), 16);
    EXPECT_EQ(b[7], 0.0f);
    b[0] = 1.0f;
    b.readjust(4);
    EXPECT_EQ(b.getSize(), 4);
    EXPECT_EQ(b[0], 0.0f);
    b[1] = 5.0f;
    b.clear();
    EXPECT_EQ(b[1], 0.0f);
}

TEST(DynaBuffer, EmptyRequestsRelease) {
    DynaBuffer a(8), r(8);
    EXPECT_EQ(a.allocate(0), nullptr);
    EXPECT_EQ(a.getSize(), 0);
    EXPECT_EQ(r.readjust(-1), nullptr);
    EXPECT_EQ(r.getBuffer(), nullptr);
    EXPECT_EQ(DynaBuffer().getBuffer(), nullptr);
}
