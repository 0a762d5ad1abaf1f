// Test program for crash capture and the application log: installs crash
// capture like the host does, then does what its first argument names.
//
//   read-null | write-null | execute-data | pure-call   crash that way
//   stack-overflow             crash by overflowing the main thread's stack
//   worker-stack-overflow      crash by overflowing a worker thread's stack
//   worker-crash               crash on a worker thread
//   threads-crash              crash on two worker threads at once
//   log-lock-crash             crash while another thread, frozen, holds the
//                              log lock
//   invalid-parameter          report invalid parameters, then go on
//   log-line TEXT              log one line
//   log-null                   log a null text, then "probe_after_null"
//   log-threads THREADS LINES  log from several threads at once
//   retry-log BLOCKER          log with no usable logs directory, delete the
//                              file BLOCKER, log again
//
// Before a crash it logs "probe_image base=0x... end=0x..." so a test can
// tell whether an address lies in this program, and each crashing worker
// thread logs "probe_crashing_thread tid=N". Exit codes other than the
// crash's own: 0 done, 2 bad arguments, 3 unexpected logs directory state,
// 4 handler not installed, 5 no page to execute.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics/app_log.h"
#include "diagnostics/crash_capture.h"
#include "testing/crash_probe/crash_modes.h"
#include "testing/crash_probe/pure_call.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitBadArguments = 2;
constexpr int kExitUnexpectedDirectoryState = 3;
constexpr int kExitHandlerMissing = 4;
constexpr int kExitNoMemory = 5;
constexpr unsigned char kReturnInstruction = 0xC3;
// Long enough that a line cut by another thread's write would show.
constexpr std::size_t kThreadLinePadding = 64;

void LogImageRange() {
  const auto base = reinterpret_cast<const unsigned char*>(::GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const auto begin = reinterpret_cast<std::uintptr_t>(base);
  const std::uintptr_t end = begin + nt->OptionalHeader.SizeOfImage;
  char line[128];
  std::snprintf(line, sizeof(line), "probe_image base=0x%016llX end=0x%016llX",
                static_cast<unsigned long long>(begin), static_cast<unsigned long long>(end));
  AppendLog(line);
}

[[noreturn]] void ExecuteData() {
  void* page = ::VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (page == nullptr) {
    std::exit(kExitNoMemory);
  }
  *static_cast<unsigned char*>(page) = kReturnInstruction;
  using Function = void (*)();
  reinterpret_cast<Function>(page)();
  std::abort();
}

[[noreturn]] void PureCall() {
  LoudSpeaker speaker;
  std::abort();
}

int ReportInvalidParameters() {
  // This runtime's own checks never reach the handler under Wine, so report
  // the way the runtime does: through the handler currently registered.
  const _invalid_parameter_handler handler = _get_invalid_parameter_handler();
  if (handler != OnInvalidParameter) {
    return kExitHandlerMissing;
  }
  handler(L"(buffer != nullptr)", L"strcpy_s", L"crash_probe.cc", 42, 0);
  handler(nullptr, nullptr, nullptr, 0, 0);
  AppendLog("probe_continued");
  return kExitDone;
}

int LogFromThreads(unsigned thread_count, unsigned line_count) {
  // A manual-reset event lets every thread go at once. (std::barrier is not
  // used: the mingw runtime's atomic wait under it now and then misses a
  // wake-up and leaves a thread waiting for good.)
  const HANDLE start = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < thread_count; ++t) {
    threads.emplace_back([t, line_count, start] {
      ::WaitForSingleObject(start, INFINITE);
      const std::string padding(kThreadLinePadding, 'x');
      for (unsigned l = 0; l < line_count; ++l) {
        char line[256];
        std::snprintf(line, sizeof(line), "probe_thread thread=%u line=%u %s", t, l,
                      padding.c_str());
        AppendLog(line);
      }
    });
  }
  ::SetEvent(start);
  for (std::thread& thread : threads) {
    thread.join();
  }
  ::CloseHandle(start);
  return kExitDone;
}

int RetryLog(const wchar_t* blocker) {
  if (!LogsDirectory().empty()) {
    return kExitUnexpectedDirectoryState;
  }
  AppendLog("probe_first");
  if (!LogsDirectory().empty() || !::DeleteFileW(blocker)) {
    return kExitUnexpectedDirectoryState;
  }
  AppendLog("probe_second");
  return LogsDirectory().empty() ? kExitUnexpectedDirectoryState : kExitDone;
}

int Run(int argc, wchar_t** argv) {
  if (argc < 2) {
    return kExitBadArguments;
  }
  const std::wstring mode = argv[1];
  if (mode == L"read-null" || mode == L"write-null" || mode == L"execute-data" ||
      mode == L"pure-call" || mode == L"stack-overflow" || mode == L"worker-stack-overflow" ||
      mode == L"worker-crash" || mode == L"threads-crash" || mode == L"log-lock-crash") {
    LogImageRange();
    if (mode == L"read-null") {
      ReadNull();
    } else if (mode == L"write-null") {
      WriteNull();
    } else if (mode == L"execute-data") {
      ExecuteData();
    } else if (mode == L"stack-overflow") {
      OverflowStack();
    } else if (mode == L"worker-stack-overflow") {
      OverflowWorkerStack();
    } else if (mode == L"worker-crash") {
      CrashOnWorkers(1);
    } else if (mode == L"threads-crash") {
      CrashOnWorkers(2);
    } else if (mode == L"log-lock-crash") {
      CrashWhileLogLockIsHeld();
    } else {
      PureCall();
    }
  }
  if (mode == L"invalid-parameter") {
    return ReportInvalidParameters();
  }
  if (mode == L"log-line" && argc == 3) {
    char line[512];
    std::snprintf(line, sizeof(line), "%ls", argv[2]);
    AppendLog(line);
    return kExitDone;
  }
  if (mode == L"log-null") {
    AppendLog(nullptr);
    AppendLog("probe_after_null");
    return kExitDone;
  }
  if (mode == L"log-threads" && argc == 4) {
    const unsigned threads = static_cast<unsigned>(std::wcstoul(argv[2], nullptr, 10));
    const unsigned lines = static_cast<unsigned>(std::wcstoul(argv[3], nullptr, 10));
    return threads == 0 ? kExitBadArguments : LogFromThreads(threads, lines);
  }
  if (mode == L"retry-log" && argc == 3) {
    return RetryLog(argv[2]);
  }
  return kExitBadArguments;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  InstallCrashCapture();
  return Run(argc, argv);
}
