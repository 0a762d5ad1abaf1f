#include "base/scoped_handle.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

std::vector<int> closed;

struct FakeTraits {
  using Handle = int;
  static Handle Invalid() noexcept { return -1; }
  static bool IsValid(Handle handle) noexcept { return handle > 0; }
  static void Close(Handle handle) noexcept { closed.push_back(handle); }
};

TEST(ScopedHandleTest, ClosesEachHeldHandleOnceAndNothingElse) {
  closed.clear();
  {
    ScopedHandle<FakeTraits> zero(0);  // a value that holds nothing
    ScopedHandle<FakeTraits> first(1);
    ScopedHandle<FakeTraits> moved(std::move(first));
    EXPECT_FALSE(first.valid());
    moved.reset(2);
    EXPECT_EQ(closed, std::vector<int>{1});
    ScopedHandle<FakeTraits> other(3);
    other = std::move(moved);
    EXPECT_EQ(closed, (std::vector<int>{1, 3}));
    EXPECT_EQ(ScopedHandle<FakeTraits>(4).release(), 4);
  }
  EXPECT_EQ(closed, (std::vector<int>{1, 3, 2}));
}

}  // namespace
