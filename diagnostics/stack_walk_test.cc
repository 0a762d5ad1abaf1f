#include "diagnostics/stack_walk.h"

#include <array>
#include <vector>

#include <gtest/gtest.h>

namespace {

constexpr StackBounds kStack{0x1000, 0x2000};

// Unwinds along a scripted chain of callers; fails past its end.
class ScriptedUnwinder : public FrameUnwinder {
 public:
  explicit ScriptedUnwinder(std::vector<StackFrame> callers) : callers_(std::move(callers)) {}

  bool Unwind(StackFrame& frame) override {
    EXPECT_GE(frame.sp, kStack.low) << "asked to unwind a frame off the stack";
    EXPECT_LT(frame.sp, kStack.high) << "asked to unwind a frame off the stack";
    if (next_ == callers_.size()) {
      return false;
    }
    frame = callers_[next_++];
    return true;
  }

 private:
  std::vector<StackFrame> callers_;
  std::size_t next_ = 0;
};

struct WalkCase {
  const char* what;
  StackFrame start;
  std::vector<StackFrame> callers;
  std::vector<std::uint64_t> frames;
};

class StackWalkTest : public ::testing::TestWithParam<WalkCase> {};

TEST_P(StackWalkTest, FramesWritten) {
  const WalkCase& c = GetParam();
  ScriptedUnwinder unwinder(c.callers);
  std::array<std::uint64_t, 4> frames{};
  const std::size_t count = WalkStack(c.start, kStack, unwinder, frames);
  EXPECT_EQ(std::vector<std::uint64_t>(frames.begin(), frames.begin() + count), c.frames) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Walks, StackWalkTest,
    ::testing::Values(
        WalkCase{"callers up to a failed unwind",
                 {0xA0, 0x1100},
                 {{0xB0, 0x1200}, {0xC0, 0x1300}},
                 {0xA0, 0xB0, 0xC0}},
        WalkCase{"stops when full",
                 {0xA0, 0x1100},
                 {{0xB0, 0x1200}, {0xC0, 0x1300}, {0xD0, 0x1400}, {0xE0, 0x1500}, {0xF0, 0x1600}},
                 {0xA0, 0xB0, 0xC0, 0xD0}},
        WalkCase{"a zero address ends the stack",
                 {0xA0, 0x1100},
                 {{0xB0, 0x1200}, {0, 0x1300}},
                 {0xA0, 0xB0}},
        WalkCase{"nothing for a zero start", {0, 0x1100}, {{0xB0, 0x1200}}, {}},
        WalkCase{"a frame that does not move up ends it",
                 {0xA0, 0x1100},
                 {{0xB0, 0x1100}, {0xC0, 0x1300}},
                 {0xA0}},
        WalkCase{"a frame that moves down ends it", {0xA0, 0x1100}, {{0xB0, 0x10F8}}, {0xA0}},
        WalkCase{"a start off the stack gives its address only",
                 {0xA0, 0x0FF8},
                 {{0xB0, 0x1200}},
                 {0xA0}},
        WalkCase{"a start at the lowest address is on it",
                 {0xA0, 0x1000},
                 {{0xB0, 0x1200}},
                 {0xA0, 0xB0}},
        WalkCase{"the caller at the base is off it",
                 {0xA0, 0x1100},
                 {{0xB0, 0x2000}, {0xC0, 0x2100}},
                 {0xA0, 0xB0}},
        WalkCase{"the caller just below the base is on it",
                 {0xA0, 0x1100},
                 {{0xB0, 0x1FF8}, {0xC0, 0x2100}},
                 {0xA0, 0xB0, 0xC0}}));

TEST(StackWalkRoomTest, NoRoomWritesNothing) {
  ScriptedUnwinder unwinder({{0xB0, 0x1200}});
  EXPECT_EQ(WalkStack({0xA0, 0x1100}, kStack, unwinder, std::span<std::uint64_t>()), 0u);
}

}  // namespace
