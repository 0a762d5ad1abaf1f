#include "diagnostics/stack_walk.h"

namespace {

bool Inside(const StackBounds& bounds, std::uint64_t sp) {
  return sp >= bounds.low && sp < bounds.high;
}

}  // namespace

std::size_t WalkStack(StackFrame start, StackBounds bounds, FrameUnwinder& unwinder,
                      std::span<std::uint64_t> frames) {
  std::size_t count = 0;
  StackFrame frame = start;
  while (count < frames.size() && frame.pc != 0) {
    frames[count++] = frame.pc;
    if (!Inside(bounds, frame.sp)) {
      break;
    }
    const std::uint64_t previous_sp = frame.sp;
    if (!unwinder.Unwind(frame) || frame.sp <= previous_sp) {
      break;
    }
  }
  return count;
}
