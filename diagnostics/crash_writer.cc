#include "diagnostics/crash_writer.h"

#include "base/scoped_handle.h"
#include "diagnostics/crash_files.h"
#include "diagnostics/crash_gate.h"

namespace {

// Room for the minidump library, reserved rather than committed.
constexpr SIZE_T kWriterStackBytes = 1024 * 1024;
// A dump takes seconds; a writer stuck longer (a lock held by a frozen
// thread, a hung disk) must not keep a dead process on screen for good. The
// report is written first and is on disk by then.
constexpr DWORD kCrashWriteTimeoutMs = 30000;

struct CrashWriter {
  CrashGate gate;
  // Auto-reset: set once by the crashing thread.
  ScopedKernelHandle request;
  // Manual-reset: set when the first crash's files are done, for every
  // thread that waits on them.
  ScopedKernelHandle done;
  ScopedKernelHandle thread;
  DWORD thread_id = 0;
  CrashRequest crash;
};

// Never destroyed: a crash during static destruction must still find it.
CrashWriter& Writer() {
  static auto* const writer = new CrashWriter();
  return *writer;
}

DWORD WINAPI WriterMain(void*) {
  CrashWriter& writer = Writer();
  if (::WaitForSingleObject(writer.request.get(), INFINITE) == WAIT_OBJECT_0) {
    try {
      WriteCrashFiles(writer.crash);
    } catch (...) {
      // Nothing more can be written for this crash.
    }
  }
  ::SetEvent(writer.done.get());
  return 0;
}

// False once the process's exit has ended the writer (or it never ran).
bool WriterRunning(const CrashWriter& writer) {
  return writer.thread.valid() && ::WaitForSingleObject(writer.thread.get(), 0) == WAIT_TIMEOUT;
}

}  // namespace

bool StartCrashWriter() {
  CrashWriter& writer = Writer();
  if (writer.thread.valid()) {
    return true;
  }
  writer.request.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  writer.done.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!writer.request.valid() || !writer.done.valid()) {
    return false;
  }
  writer.thread.reset(::CreateThread(nullptr, kWriterStackBytes, WriterMain, nullptr,
                                     STACK_SIZE_PARAM_IS_A_RESERVATION, &writer.thread_id));
  return writer.thread.valid();
}

void CaptureCrash(EXCEPTION_POINTERS* exception_pointers) {
  // As little as possible happens on the crashing thread: its stack may be
  // all but used up.
  CrashWriter& writer = Writer();
  const DWORD self = ::GetCurrentThreadId();
  switch (writer.gate.Claim(self, writer.thread_id)) {
    case CrashRole::kPassOn:
      return;
    case CrashRole::kWaitForFirst:
      ::WaitForSingleObject(writer.done.get(), kCrashWriteTimeoutMs);
      return;
    case CrashRole::kWrite:
      break;
  }
  writer.crash = CrashRequest{exception_pointers, self, CurrentThreadStack()};
  if (WriterRunning(writer)) {
    ::SetEvent(writer.request.get());
    const HANDLE ends[] = {writer.done.get(), writer.thread.get()};
    ::WaitForMultipleObjects(2, ends, FALSE, kCrashWriteTimeoutMs);
  } else {
    WriteCrashFiles(writer.crash);
  }
  ::SetEvent(writer.done.get());
}
