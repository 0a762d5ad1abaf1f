#ifndef VELMO_DIAGNOSTICS_CRASH_GATE_H_
#define VELMO_DIAGNOSTICS_CRASH_GATE_H_

#include <atomic>
#include <cstdint>

// What a thread that reached the crash filter does.
enum class CrashRole {
  // The first crash of the process: have its files written.
  kWrite,
  // Another thread's crash is being written: wait for it, the process ends
  // right after, and a second writer would only race the first.
  kWaitForFirst,
  // The crash writer itself, or the first crashing thread crashing again
  // inside the filter: nothing is left that could write, so let the system
  // end the process.
  kPassOn,
};

// Lets exactly one crash of the process through to the writer. Lock-free, so
// a thread may enter it from any state, a stack overflow included.
class CrashGate {
 public:
  // `thread_id` is the crashing thread; `writer_thread_id` the crash
  // writer's (0 when there is none). Thread ids are never 0.
  CrashRole Claim(std::uint32_t thread_id, std::uint32_t writer_thread_id);

 private:
  std::atomic<std::uint32_t> owner_{0};
};

#endif  // VELMO_DIAGNOSTICS_CRASH_GATE_H_
