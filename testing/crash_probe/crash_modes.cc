#include "testing/crash_probe/crash_modes.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "diagnostics/app_log.h"

namespace {

constexpr int kExitCannotFreezeLog = 6;
constexpr int kExitHolderNeverWrote = 7;
// Only a log that no longer writes files from the calling thread keeps the
// holder from freezing; the probe then says so rather than hang.
constexpr DWORD kHolderTimeoutMs = 30000;

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

// The log's file writes go through this program's import of WriteFile; the
// holder thread's first one freezes it, inside AppendLog.
using WriteFileFunction = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
WriteFileFunction real_write_file = nullptr;
std::atomic<DWORD> holder_thread_id{0};
HANDLE holder_frozen = nullptr;

BOOL WINAPI FreezingWriteFile(HANDLE file, LPCVOID bytes, DWORD length, LPDWORD written,
                              LPOVERLAPPED overlapped) {
  if (::GetCurrentThreadId() == holder_thread_id.load()) {
    ::SetEvent(holder_frozen);
    ::SuspendThread(::GetCurrentThread());
  }
  return real_write_file(file, bytes, length, written, overlapped);
}

// Points every slot of this program's import table that holds `target` at
// `replacement`. True when one was found.
bool RedirectImport(void* target, void* replacement) {
  auto* const base = reinterpret_cast<unsigned char*>(::GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  bool found = false;
  for (auto* descriptor =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       imports.VirtualAddress != 0 && descriptor->Name != 0; ++descriptor) {
    for (auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
         slot->u1.Function != 0; ++slot) {
      if (reinterpret_cast<void*>(slot->u1.Function) != target) {
        continue;
      }
      DWORD old_protection = 0;
      ::VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), PAGE_READWRITE,
                       &old_protection);
      slot->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      ::VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), old_protection,
                       &old_protection);
      found = true;
    }
  }
  return found;
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

void CrashWhileLogLockIsHeld() {
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  void* const write_file = reinterpret_cast<void*>(::GetProcAddress(kernel32, "WriteFile"));
  real_write_file = reinterpret_cast<WriteFileFunction>(write_file);
  holder_frozen = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (real_write_file == nullptr || holder_frozen == nullptr ||
      !RedirectImport(write_file, reinterpret_cast<void*>(&FreezingWriteFile))) {
    std::exit(kExitCannotFreezeLog);
  }
  std::thread holder([] {
    holder_thread_id = ::GetCurrentThreadId();
    for (;;) {
      AppendLog("probe_holder");
    }
  });
  holder.detach();
  if (::WaitForSingleObject(holder_frozen, kHolderTimeoutMs) != WAIT_OBJECT_0) {
    std::exit(kExitHolderNeverWrote);
  }
  ReadNull();
}
