#ifndef VELMO_TESTING_CRASH_PROBE_CRASH_MODES_H_
#define VELMO_TESTING_CRASH_PROBE_CRASH_MODES_H_

// The crash probe's ways to crash that involve more than one instruction.

[[noreturn]] void ReadNull();
[[noreturn]] void WriteNull();

// Recurses until the stack's guard page is hit.
[[noreturn]] void OverflowStack();

// Overflows a worker thread's stack, which has no stack kept back for it.
[[noreturn]] void OverflowWorkerStack();

// Starts `count` worker threads that log their thread ids and then read
// address 0 together: each one's fault reaches the exception dispatch before
// any goes on to the crash filter.
[[noreturn]] void CrashOnWorkers(unsigned count);

// Has a worker thread take the log lock and freeze, then crashes on this
// thread.
[[noreturn]] void CrashWhileLogLockIsHeld();

#endif  // VELMO_TESTING_CRASH_PROBE_CRASH_MODES_H_
