#include "diagnostics/crash_capture.h"

#include <array>
#include <cstdlib>

#include "diagnostics/app_log.h"
#include "diagnostics/crash_files.h"
#include "diagnostics/crash_report_format.h"
#include "diagnostics/crash_writer.h"

namespace {

// Stack kept back on the main thread for handling its overflow: without it
// the exception dispatch itself may run out before reaching a handler.
constexpr ULONG kOverflowHandlingStackBytes = 64 * 1024;

// Keeps stack back on the calling thread for handling its overflow. Where
// that stack is committed down to its last page already (Wine's main
// thread), no guard page moves down it and the system would never set the
// kept-back part aside: a guard page just above it makes the system treat the
// stack as growing, and raise the overflow there with the rest still free.
void KeepStackForOverflow() {
  ULONG guarantee = kOverflowHandlingStackBytes;
  if (!::SetThreadStackGuarantee(&guarantee)) {
    return;
  }
  ULONG_PTR low = 0;
  ULONG_PTR high = 0;
  ::GetCurrentThreadStackLimits(&low, &high);
  SYSTEM_INFO system{};
  ::GetSystemInfo(&system);
  // The last page of a stack is never usable; the kept-back part is above it.
  const ULONG_PTR guard = low + system.dwPageSize + kOverflowHandlingStackBytes;
  MEMORY_BASIC_INFORMATION page{};
  if (guard + system.dwPageSize >= high ||
      ::VirtualQuery(reinterpret_cast<void*>(guard), &page, sizeof(page)) != sizeof(page) ||
      page.State != MEM_COMMIT || (page.Protect & PAGE_GUARD) != 0 ||
      reinterpret_cast<ULONG_PTR>(&guarantee) < guard + system.dwPageSize) {
    return;
  }
  DWORD old_protection = 0;
  ::VirtualProtect(reinterpret_cast<void*>(guard), system.dwPageSize, PAGE_READWRITE | PAGE_GUARD,
                   &old_protection);
}

// A stack overflow is taken at the first handler the dispatch calls: by the
// time it would reach the unhandled-exception filter the little stack left
// is used up, and the thread dies without a trace (while the process's other
// threads keep it running). Once the files are written the process ends
// here, as nothing can run on that stack any more.
LONG CALLBACK OnStackOverflow(EXCEPTION_POINTERS* exception_pointers) {
  if (exception_pointers == nullptr || exception_pointers->ExceptionRecord == nullptr ||
      exception_pointers->ExceptionRecord->ExceptionCode != STATUS_STACK_OVERFLOW) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  CaptureCrash(exception_pointers);
  ::TerminateProcess(::GetCurrentProcess(), STATUS_STACK_OVERFLOW);
  return EXCEPTION_CONTINUE_SEARCH;
}

#if defined(__MINGW32__) && !defined(_UCRT)
// mingw's _set_invalid_parameter_handler only records the handler for its own
// code; msvcrt.dll reports through the handler registered with it, where that
// export exists.
void RegisterWithRuntimeLibrary() {
  const HMODULE runtime = ::GetModuleHandleW(L"msvcrt.dll");
  if (runtime == nullptr) {
    return;
  }
  const FARPROC export_address = ::GetProcAddress(runtime, "_set_invalid_parameter_handler");
  if (export_address == nullptr) {
    return;
  }
  using SetHandler = _invalid_parameter_handler(__cdecl*)(_invalid_parameter_handler);
  reinterpret_cast<SetHandler>(reinterpret_cast<void*>(export_address))(OnInvalidParameter);
}
#else
void RegisterWithRuntimeLibrary() {}
#endif

}  // namespace

void InstallCrashCapture() {
  EnsureLogsDirectory();
  PruneCrashFiles();
  StartCrashWriter();
  KeepStackForOverflow();
  ::AddVectoredExceptionHandler(1, OnStackOverflow);
  ::SetUnhandledExceptionFilter(OnUnhandledException);
  _set_purecall_handler(OnPureCall);
  _set_invalid_parameter_handler(OnInvalidParameter);
  RegisterWithRuntimeLibrary();
  std::array<char, kLogLineBufferBytes> line{};
  FormatCrashLoggingInstalledLine(LogsDirectory(), line);
  AppendLog(line.data());
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception_pointers) {
  CaptureCrash(exception_pointers);
  return EXCEPTION_CONTINUE_SEARCH;
}

void __cdecl OnPureCall() {
  AppendLog("pure_virtual_call");
  ::RaiseException(kPureCallExceptionCode, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

void __cdecl OnInvalidParameter(const wchar_t* expression, const wchar_t* function,
                                const wchar_t* file, unsigned int line, std::uintptr_t) {
  std::array<char, kLogLineBufferBytes> text{};
  FormatInvalidParameterLine(expression, function, file, line, text);
  AppendLog(text.data());
}

#if defined(__GNUC__)
// GCC-family compilers send a pure virtual call here rather than to the
// runtime's purecall handler; route it to the same place.
extern "C" [[noreturn]] void __cxa_pure_virtual() {
  OnPureCall();
  std::abort();
}
#endif
