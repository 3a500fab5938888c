#include "common/unique_handle.h"

#include <gtest/gtest.h>

#include <type_traits>
#include <utility>
#include <vector>

namespace orva {
namespace {

// A handle kind whose empty value is -1 (as INVALID_HANDLE_VALUE is not null),
// recording every close so that a test sees what was closed and how often.
std::vector<int> g_closed;

struct CountedTraits {
    using Handle = int;
    static Handle invalid() noexcept { return -1; }
    static void close(Handle handle) noexcept { g_closed.push_back(handle); }
};
using Counted = UniqueHandle<CountedTraits>;

// The owners run in destructors and move constructors of containers: none of
// their operations may throw.
static_assert(std::is_nothrow_default_constructible_v<Counted>);
static_assert(std::is_nothrow_move_constructible_v<Counted>);
static_assert(std::is_nothrow_move_assignable_v<Counted>);
static_assert(std::is_nothrow_destructible_v<Counted>);
static_assert(!std::is_copy_constructible_v<Counted>);
static_assert(!std::is_copy_assignable_v<Counted>);
static_assert(noexcept(std::declval<Counted&>().reset()));
static_assert(noexcept(std::declval<Counted&>().put()));
static_assert(noexcept(std::declval<Counted&>().release()));
// Only an explicit test of emptiness: no accidental conversion to int.
static_assert(!std::is_convertible_v<Counted, bool>);

class UniqueHandleTest : public testing::Test {
  protected:
    void SetUp() override { g_closed.clear(); }
};

TEST_F(UniqueHandleTest, EmptyOwnerClosesNothing) {
    {
        const Counted empty;
        EXPECT_FALSE(empty);
        EXPECT_EQ(empty.get(), -1);
    }
    {
        const Counted invalid(-1);
        EXPECT_FALSE(invalid);
    }
    EXPECT_TRUE(g_closed.empty());
}

// 0 is a valid handle for this kind: only the traits' empty value is empty.
TEST_F(UniqueHandleTest, ClosesItsHandleOnceWhenItEnds) {
    {
        const Counted zero(0);
        EXPECT_TRUE(zero);
        EXPECT_EQ(zero.get(), 0);
    }
    EXPECT_EQ(g_closed, std::vector<int>{0});
}

TEST_F(UniqueHandleTest, ResetClosesTheOldHandleAndTakesTheNew) {
    Counted owner(1);
    owner.reset(2);
    EXPECT_EQ(g_closed, std::vector<int>{1});
    EXPECT_EQ(owner.get(), 2);
    owner.reset();
    EXPECT_EQ(g_closed, (std::vector<int>{1, 2}));
    EXPECT_FALSE(owner);
}

TEST_F(UniqueHandleTest, PutClosesTheOldHandleAndFillsTheSlot) {
    Counted owner(3);
    int* slot = owner.put();
    EXPECT_EQ(g_closed, std::vector<int>{3});
    EXPECT_EQ(*slot, -1);
    *slot = 4;  // as a function with an out-parameter does
    EXPECT_EQ(owner.get(), 4);
}

TEST_F(UniqueHandleTest, ReleaseHandsOverWithoutClosing) {
    Counted owner(5);
    EXPECT_EQ(owner.release(), 5);
    EXPECT_FALSE(owner);
    owner.reset();
    EXPECT_TRUE(g_closed.empty());
}

TEST_F(UniqueHandleTest, MovesTransferOwnership) {
    Counted first(6);
    Counted second(std::move(first));
    EXPECT_FALSE(first);  // NOLINT(bugprone-use-after-move): the moved-from state is the point
    EXPECT_EQ(second.get(), 6);

    Counted third(7);
    third = std::move(second);  // 7 is closed, 6 moves on
    EXPECT_EQ(g_closed, std::vector<int>{7});
    EXPECT_EQ(third.get(), 6);

    Counted& alias = third;
    third = std::move(alias);  // moving into itself keeps the handle open
    EXPECT_EQ(third.get(), 6);
    EXPECT_EQ(g_closed, std::vector<int>{7});
}

}  // namespace
}  // namespace orva
