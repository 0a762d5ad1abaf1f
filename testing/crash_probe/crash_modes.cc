#include "testing/crash_probe/crash_modes.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "diagnostics/app_log.h"
#include "diagnostics/log_lock.h"

namespace {

int* volatile null_target = nullptr;
constexpr std::size_t kFrameBytes = 512;

// Keeps every frame alive (no tail call) and its buffer on the stack.
volatile unsigned overflow_sink = 0;

unsigned Recurse(unsigned depth) {
  volatile char frame[kFrameBytes];
  frame[0] = static_cast<char>(depth);
  if (overflow_sink == ~0u) {
    return frame[0];
  }
  return Recurse(depth + 1) + static_cast<unsigned>(frame[depth % kFrameBytes]);
}

void LogCrashingThread() {
  char line[64];
  std::snprintf(line, sizeof(line), "probe_crashing_thread tid=%lu",
                static_cast<unsigned long>(::GetCurrentThreadId()));
  AppendLog(line);
}

// Holds every crashing worker at its fault until all of them got there.
struct FaultMeeting {
  unsigned expected = 0;
  std::atomic<unsigned> arrived{0};
  HANDLE all_arrived = nullptr;
};
FaultMeeting meeting;
thread_local bool is_crashing_worker = false;

LONG CALLBACK MeetAtFault(EXCEPTION_POINTERS* pointers) {
  if (is_crashing_worker &&
      pointers->ExceptionRecord->ExceptionCode == EXCEPTION_ACCESS_VIOLATION) {
    if (++meeting.arrived == meeting.expected) {
      ::SetEvent(meeting.all_arrived);
    }
    ::WaitForSingleObject(meeting.all_arrived, INFINITE);
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void ReadNull() {
  std::printf("%d\n", *null_target);
  std::abort();
}

void WriteNull() {
  *null_target = 1;
  std::abort();
}

void OverflowStack() {
  std::printf("%u\n", Recurse(0));
  std::abort();
}

void CrashOnWorkers(unsigned count) {
  meeting.expected = count;
  meeting.all_arrived = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ::AddVectoredExceptionHandler(1, MeetAtFault);
  std::vector<std::thread> workers;
  for (unsigned i = 0; i < count; ++i) {
    workers.emplace_back([] {
      LogCrashingThread();
      is_crashing_worker = true;
      ReadNull();
    });
  }
  for (std::thread& worker : workers) {
    worker.join();
  }
  std::abort();
}

void OverflowWorkerStack() {
  std::thread worker([] {
    LogCrashingThread();
    OverflowStack();
  });
  worker.join();
  std::abort();
}

void CrashWhileLogLockIsHeld() {
  const HANDLE held = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread holder([held] {
    LogLock().lock();
    ::SetEvent(held);
    // Frozen with the lock held, as a thread stopped by a debugger or a
    // hung disk inside AppendLog would be.
    ::SuspendThread(::GetCurrentThread());
  });
  holder.detach();
  ::WaitForSingleObject(held, INFINITE);
  ReadNull();
}
