// The pointer list: access, deletion, array operations, copies, and a failed allocation.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <utility>

#include "CPointerList.h"

using SDO::CPointerList;

namespace {
bool failArrayAllocation = false; // makes the next array allocation of this program fail
} // namespace

void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return std::exchange(failArrayAllocation, false) ? nullptr : std::malloc(n ? n : 1);
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
    list.Push(&a), list.Push(&b), list.Push(&c);
}
} // namespace

TEST(CPointerList, AccessIterationPopsAndDeletesKeepEndsAndCursorAndNeverStoreNull) {
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
    for (int* item : {&a, &b, &c, static_cast<int*>(nullptr)}) EXPECT_EQ(list.Next(), item);
    for (int* item : {&c, &b, &a, static_cast<int*>(nullptr)}) EXPECT_EQ(list.Pop(), item);
    EXPECT_EQ(std::tuple(list.Count(), list.First(), list.Last(), list.Current()),
              std::tuple(0u, nullptr, nullptr, nullptr));

    fill(list);
    list.Delete(&b); // joins the neighbours
    list.Delete(&b); // gone already
    EXPECT_EQ(std::tuple(list.Count(), list.At(0), list.At(1)), std::tuple(2u, &a, &c));
    list.Delete(&c);
    EXPECT_EQ(std::tuple(list.Count(), list.Last(), list.Current()), std::tuple(1u, &a, nullptr));
    list.Delete(5);
    list.Delete(0);
    EXPECT_EQ(std::tuple(list.Count(), list.First(), list.Last()), std::tuple(0u, nullptr, nullptr));
}

TEST(CPointerList, ArrayOperationsCopiesAndAssignmentsKeepTheItemsEvenWhenAllocationFails) {
    CPointerList list, copy, moved;
    EXPECT_EQ(list.BeginArrayOperation(), nullptr); // nothing to hand out
    fill(list);
    void** items = list.BeginArrayOperation();
    ASSERT_NE(items, nullptr);
    EXPECT_EQ(list.Count(), 0u);
    items[1] = nullptr; // dropped when the operation ends
    list.EndArrayOperation();
    EXPECT_EQ(std::tuple(list.Count(), list.First(), list.Last()), std::tuple(2u, &a, &c));
    EXPECT_EQ(list.array.items, nullptr);
    failArrayAllocation = true;
    EXPECT_EQ(list.BeginArrayOperation(), nullptr);
    list.EndArrayOperation();
    EXPECT_EQ(std::tuple(list.Count(), list.At(0), list.At(1)), std::tuple(2u, &a, &c));

    copy = list; // keeps the source
    EXPECT_EQ(std::tuple(copy.Count(), list.Count()), std::tuple(2u, 2u));
    moved.Assign(list); // empties it
    EXPECT_EQ(std::tuple(moved.Count(), moved.Last(), list.Count()), std::tuple(2u, &c, 0u));
    moved = moved;
    moved.Assign(moved);
    EXPECT_EQ(std::tuple(moved.Count(), moved.At(1)), std::tuple(2u, &c));
}
