// The aligned float block: zeroed, growing only when asked to, and released by empty requests.
#include <gtest/gtest.h>

#include <cstdint>

#include "DynaBuffer.h"

TEST(DynaBuffer, NewBlocksAreZeroedAlignedOnlyGrowUnlessReadjustedAndEmptyRequestsRelease) {
    DynaBuffer b(7), a(8), r(8);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b.getBuffer()) % 16, 0u);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(b[i], 0.0f);
    b.allocate(8);
    b[7] = 3.0f;
    EXPECT_EQ(b.allocate(4), b.getBuffer()); // smaller: the block and its contents stay
    EXPECT_EQ(std::tuple(b.getSize(), b[7]), std::tuple(8, 3.0f));
    b.ensure(16);
    EXPECT_EQ(std::tuple(b.getSize(), b[7]), std::tuple(16, 0.0f));
    b[0] = 1.0f;
    b.readjust(4);
    EXPECT_EQ(std::tuple(b.getSize(), b[0]), std::tuple(4, 0.0f));
    b[1] = 5.0f;
    b.clear();
    EXPECT_EQ(b[1], 0.0f);
    EXPECT_EQ(std::tuple(a.allocate(0), r.readjust(-1), DynaBuffer().getBuffer()),
              std::tuple(nullptr, nullptr, nullptr));
    EXPECT_EQ(a.getSize(), 0);
}
