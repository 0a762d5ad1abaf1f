#include "diagnostics/crash_capture.h"

#include <dbghelp.h>

#include <array>
#include <cstdlib>
#include <span>
#include <string_view>

#include "diagnostics/app_log.h"
#include "diagnostics/build_version.h"
#include "diagnostics/crash_report_format.h"
#include "diagnostics/logs_location.h"
#include "diagnostics/scoped_file_handle.h"
#include "diagnostics/time_stamp.h"

namespace {

constexpr MINIDUMP_TYPE kMinidumpType = static_cast<MINIDUMP_TYPE>(
    MiniDumpWithDataSegs | MiniDumpWithHandleData | MiniDumpWithThreadInfo);
constexpr std::size_t kFileStampUnits = 32;
constexpr std::size_t kCrashPathUnits = 2 * kPathBufferUnits;
constexpr std::size_t kReportLineBytes = 128;
// Crashes of several processes within one second each keep their files; past
// this many the evidence is plentiful enough.
constexpr unsigned kMaxCrashFileAttempts = 100;
constexpr std::wstring_view kDumpExtension = L".dmp";
constexpr std::wstring_view kReportExtension = L".txt";

StampTime LocalStampTime() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return StampTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

bool JoinPathInto(std::wstring_view directory, std::wstring_view name, std::span<wchar_t> out) {
  if (directory.size() + 1 + name.size() >= out.size()) {
    return false;
  }
  std::size_t at = directory.copy(out.data(), directory.size());
  out[at++] = L'\\';
  at += name.copy(out.data() + at, name.size());
  out[at] = L'\0';
  return true;
}

// Creates a new crash file, never replacing one: "crash-<stamp><extension>",
// else the same name numbered "-2", "-3", ... `name` receives the name of the
// file created, or the last one tried when none could be created.
HANDLE CreateCrashFile(std::wstring_view stamp, std::wstring_view extension, DWORD share_mode,
                       std::span<wchar_t> name) {
  for (unsigned attempt = 1; attempt <= kMaxCrashFileAttempts; ++attempt) {
    std::array<wchar_t, kCrashPathUnits> path{};
    if (FormatCrashFileName(stamp, attempt, extension, name) == 0 ||
        !JoinPathInto(LogsDirectory(), name.data(), path)) {
      return INVALID_HANDLE_VALUE;
    }
    const HANDLE file = ::CreateFileW(path.data(), GENERIC_WRITE, share_mode, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      return file;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      return INVALID_HANDLE_VALUE;
    }
  }
  return INVALID_HANDLE_VALUE;
}

void WriteText(HANDLE file, std::span<const char> text, std::size_t length) {
  if (length == 0) {
    return;
  }
  DWORD written = 0;
  ::WriteFile(file, text.data(), static_cast<DWORD>(length), &written, nullptr);
}

std::uint64_t AddressValue(const void* address) {
  return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(address));
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
  ::SetUnhandledExceptionFilter(OnUnhandledException);
  _set_purecall_handler(OnPureCall);
  _set_invalid_parameter_handler(OnInvalidParameter);
  RegisterWithRuntimeLibrary();
  std::array<char, kLogLineBufferBytes> line{};
  FormatCrashLoggingInstalledLine(LogsDirectory(), line);
  AppendLog(line.data());
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception_pointers) {
  if (!EnsureLogsDirectory()) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  std::array<wchar_t, kFileStampUnits> stamp{};
  FormatFileStamp(LocalStampTime(), stamp);
  std::array<wchar_t, kCrashFileNameUnits> dump_name{};
  ScopedFileHandle dump(CreateCrashFile(stamp.data(), kDumpExtension, 0, dump_name));
  if (dump.valid()) {
    MINIDUMP_EXCEPTION_INFORMATION information{};
    information.ThreadId = ::GetCurrentThreadId();
    information.ExceptionPointers = exception_pointers;
    information.ClientPointers = FALSE;
    ::MiniDumpWriteDump(::GetCurrentProcess(), ::GetCurrentProcessId(), dump.get(), kMinidumpType,
                        exception_pointers != nullptr ? &information : nullptr, nullptr, nullptr);
    ::FlushFileBuffers(dump.get());
    dump.reset();
  }
  WriteCrashReport(exception_pointers, dump_name[0] != L'\0' ? dump_name.data() : nullptr);
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

void WriteCrashReport(EXCEPTION_POINTERS* exception_pointers, const wchar_t* minidump_name) {
  if (!EnsureLogsDirectory() || exception_pointers == nullptr ||
      exception_pointers->ExceptionRecord == nullptr) {
    return;
  }
  const EXCEPTION_RECORD& record = *exception_pointers->ExceptionRecord;
  std::array<wchar_t, kFileStampUnits> stamp{};
  FormatFileStamp(LocalStampTime(), stamp);
  std::array<wchar_t, kCrashFileNameUnits> report_name{};
  ScopedFileHandle report(
      CreateCrashFile(stamp.data(), kReportExtension, FILE_SHARE_READ, report_name));
  if (!report.valid()) {
    return;
  }

  CrashHeader header;
  header.time = LocalStampTime();
  header.process_id = ::GetCurrentProcessId();
  header.thread_id = ::GetCurrentThreadId();
  header.exception_code = record.ExceptionCode;
  header.exception_flags = record.ExceptionFlags;
  header.exception_address = AddressValue(record.ExceptionAddress);
  header.number_parameters = record.NumberParameters;
  header.minidump_name = minidump_name != nullptr ? minidump_name : L"";
  header.logs_directory = LogsDirectory();
  header.version = BuildVersionText();
  std::array<char, kCrashHeaderBufferBytes> header_text{};
  WriteText(report.get(), header_text, FormatCrashHeader(header, header_text));

  if (HasAccessViolationLine(record.ExceptionCode, record.NumberParameters)) {
    std::array<char, kReportLineBytes> line{};
    WriteText(report.get(), line,
              FormatAccessViolationLine(record.ExceptionInformation[0],
                                        record.ExceptionInformation[1], line));
  }

  constexpr std::string_view kStackTitle = "stack:\r\n";
  WriteText(report.get(), kStackTitle, kStackTitle.size());
  std::array<void*, kMaxStackFrames> frames{};
  const USHORT count = ::RtlCaptureStackBackTrace(0, kMaxStackFrames, frames.data(), nullptr);
  for (unsigned index = 0; index < count; ++index) {
    std::array<char, kReportLineBytes> line{};
    WriteText(report.get(), line, FormatStackLine(index, AddressValue(frames[index]), line));
  }
  ::FlushFileBuffers(report.get());
}

#if defined(__GNUC__)
// GCC-family compilers send a pure virtual call here rather than to the
// runtime's purecall handler; route it to the same place.
extern "C" [[noreturn]] void __cxa_pure_virtual() {
  OnPureCall();
  std::abort();
}
#endif
