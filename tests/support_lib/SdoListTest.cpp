// The pointer list: access, deletion, array operations, copies, and a failed allocation.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "CPointerList.h"

using SDO::CPointerList;

namespace {
// Makes the next array allocation of this program fail.
bool failArrayAllocation = false;
} // namespace

void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    if (failArrayAllocation) {
        failArrayAllocation = false;
        return nullptr;
    }
    return std::malloc(n ? n : 1);
}

void* operator new[](std::size_t n) {
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}

void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {
int a = 1, b = 2, c = 3;

void fill(CPointerList& list) {
    list.Push(&a);
    list.Push(&b);
    list.Push(&c);
}
} // namespace

TEST(CPointerList, AccessByIndexOrIterationAndPopsThatEmptyTheListAndNullItemsNeverStored) {
    CPointerList list;
    list.Push(nullptr);
    list.Add(nullptr);
    EXPECT_EQ(list.Count(), 0u);
    fill(list);
    EXPECT_EQ(list.At(1), &b);
    EXPECT_EQ(list.Current(), &c); // the cursor moves past the node
    EXPECT_EQ(list[2], &c);
    EXPECT_EQ(list.At(3), nullptr);
    EXPECT_EQ(list.At(-1), nullptr);
    list.Rewind();
    for (int* item : {&a, &b, &c}) EXPECT_EQ(list.Next(), item);
    EXPECT_EQ(list.Next(), nullptr);
    for (int* item : {&c, &b, &a}) EXPECT_EQ(list.Pop(), item);
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.First(), nullptr);
    EXPECT_EQ(list.Last(), nullptr);
    EXPECT_EQ(list.Current(), nullptr);
    EXPECT_EQ(list.Pop(), nullptr);
}

TEST(CPointerList, DeleteJoinsNeighboursAndMovesEndsAndCursor) {
    CPointerList list;
    fill(list);
    list.Delete(&b);
    ASSERT_EQ(list.Count(), 2u);
    EXPECT_EQ(list.At(0), &a);
    EXPECT_EQ(list.At(1), &c);
    list.Delete(&b);
    EXPECT_EQ(list.Count(), 2u);
    list.Delete(&c);
    EXPECT_EQ(list.Count(), 1u);
    EXPECT_EQ(list.Last(), &a);
    EXPECT_EQ(list.Current(), nullptr);
    list.Delete(0);
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.First(), nullptr);
    list.Delete(5);
}

TEST(CPointerList, ArrayOperationDropsNulledEntries) {
    CPointerList list;
    fill(list);
    void** items = list.BeginArrayOperation();
    ASSERT_NE(items, nullptr);
    EXPECT_EQ(list.Count(), 0u);
    items[1] = nullptr;
    list.EndArrayOperation();
    ASSERT_EQ(list.Count(), 2u);
    EXPECT_EQ(list.First(), &a);
    EXPECT_EQ(list.Last(), &c);
    EXPECT_EQ(list.array.items, nullptr);
    EXPECT_EQ(CPointerList().BeginArrayOperation(), nullptr);
}

TEST(CPointerList, CopyKeepsTheSourceAssignMovesItAndNeitherLosesItsOwnItems) {
    CPointerList source, copy, moved;
    fill(source);
    copy = source;
    EXPECT_EQ(copy.Count(), 3u);
    EXPECT_EQ(source.Count(), 3u);
    moved.Assign(source);
    EXPECT_EQ(moved.Count(), 3u);
    EXPECT_EQ(moved.Last(), &c);
    EXPECT_EQ(source.Count(), 0u);
    moved = moved;
    moved.Assign(moved);
    EXPECT_EQ(moved.Count(), 3u);
    EXPECT_EQ(moved.At(2), &c);
}

TEST(CPointerList, FailedArrayAllocationKeepsTheItems) {
    CPointerList list;
    fill(list);
    failArrayAllocation = true;
    EXPECT_EQ(list.BeginArrayOperation(), nullptr);
    ASSERT_EQ(list.Count(), 3u);
    EXPECT_EQ(list.At(0), &a);
    EXPECT_EQ(list.At(2), &c);
    list.EndArrayOperation();
    EXPECT_EQ(list.Count(), 3u);
}
