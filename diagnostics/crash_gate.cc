#include "diagnostics/crash_gate.h"

CrashRole CrashGate::Claim(std::uint32_t thread_id, std::uint32_t writer_thread_id) {
  if (thread_id == writer_thread_id) {
    return CrashRole::kPassOn;
  }
  std::uint32_t owner = 0;
  if (owner_.compare_exchange_strong(owner, thread_id)) {
    return CrashRole::kWrite;
  }
  return owner == thread_id ? CrashRole::kPassOn : CrashRole::kWaitForFirst;
}
