#ifndef VELMO_DIAGNOSTICS_STACK_WALK_H_
#define VELMO_DIAGNOSTICS_STACK_WALK_H_

#include <cstddef>
#include <cstdint>
#include <span>

// The crash report's raw stack is the crashing thread's, walked from the
// exception's context by another thread (the crashing one may have no stack
// left). These are the rules that keep such a walk from running off into
// memory that is not that stack.

// One frame: its instruction address and its stack pointer.
struct StackFrame {
  std::uint64_t pc = 0;
  std::uint64_t sp = 0;
};

// The crashing thread's stack, [low, high): its lowest committed address and
// its base.
struct StackBounds {
  std::uint64_t low = 0;
  std::uint64_t high = 0;
};

// Moves a frame to its caller's.
class FrameUnwinder {
 public:
  // Called only with a frame whose `sp` lies inside the thread's stack.
  // False when the frame cannot be unwound.
  virtual bool Unwind(StackFrame& frame) = 0;

 protected:
  ~FrameUnwinder() = default;
};

// Writes `start.pc` and then the return address of each caller into
// `frames`, stopping when `frames` is full, at an address of 0, when the
// unwinder fails or does not move towards the stack's base (a corrupt stack
// would otherwise loop), and after a frame whose stack pointer lies outside
// the stack (its caller could only be read from elsewhere). Returns the
// number of frames written.
std::size_t WalkStack(StackFrame start, StackBounds bounds, FrameUnwinder& unwinder,
                      std::span<std::uint64_t> frames);

#endif  // VELMO_DIAGNOSTICS_STACK_WALK_H_
