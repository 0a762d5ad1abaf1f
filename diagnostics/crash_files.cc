#include "diagnostics/crash_files.h"

#include <dbghelp.h>

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/scoped_handle.h"
#include "diagnostics/app_log.h"
#include "diagnostics/build_version.h"
#include "diagnostics/crash_file_sets.h"
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
constexpr DWORD64 kReturnAddressBytes = sizeof(DWORD64);

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

bool AlreadyExists(DWORD error) {
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

// The two files of one crash, created new under one name.
struct CrashFileSet {
  ScopedFileHandle report;
  ScopedFileHandle dump;
  std::array<wchar_t, kCrashFileNameUnits> dump_name{};
};

// Creates "crash-<stamp>.txt" and ".dmp", never replacing a file: when
// either name is taken, the pair is numbered "-2", "-3", ... A file that
// cannot be created for another reason stays invalid; the dump's name is
// kept all the same, for the report to name.
void CreateCrashFileSet(std::wstring_view stamp, CrashFileSet& set) {
  for (unsigned attempt = 1; attempt <= kMaxCrashFileAttempts; ++attempt) {
    std::array<wchar_t, kCrashFileNameUnits> report_name{};
    std::array<wchar_t, kCrashPathUnits> report_path{};
    std::array<wchar_t, kCrashPathUnits> dump_path{};
    if (FormatCrashFileName(stamp, attempt, kReportExtension, report_name) == 0 ||
        FormatCrashFileName(stamp, attempt, kDumpExtension, set.dump_name) == 0 ||
        !JoinPathInto(LogsDirectory(), report_name.data(), report_path) ||
        !JoinPathInto(LogsDirectory(), set.dump_name.data(), dump_path)) {
      set.dump_name[0] = L'\0';
      return;
    }
    set.report.reset(::CreateFileW(report_path.data(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                   CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!set.report.valid() && AlreadyExists(::GetLastError())) {
      continue;
    }
    set.dump.reset(::CreateFileW(dump_path.data(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!set.dump.valid() && AlreadyExists(::GetLastError())) {
      if (set.report.valid()) {
        set.report.reset();
        ::DeleteFileW(report_path.data());
      }
      continue;
    }
    return;
  }
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

// Unwinds a copy of the exception's context through the unwind data of the
// modules, the way the system's own exception dispatch does.
class ContextUnwinder : public FrameUnwinder {
 public:
  explicit ContextUnwinder(const CONTEXT& context) : context_(context) {}

  bool Unwind(StackFrame& frame) override {
    DWORD64 image_base = 0;
    PRUNTIME_FUNCTION function = ::RtlLookupFunctionEntry(context_.Rip, &image_base, nullptr);
    if (function == nullptr) {
      // A leaf function has no unwind data and leaves its return address on
      // top of the stack.
      context_.Rip = *reinterpret_cast<const DWORD64*>(context_.Rsp);
      context_.Rsp += kReturnAddressBytes;
    } else {
      void* handler_data = nullptr;
      DWORD64 establisher_frame = 0;
      ::RtlVirtualUnwind(UNW_FLAG_NHANDLER, image_base, context_.Rip, function, &context_,
                         &handler_data, &establisher_frame, nullptr);
    }
    frame = StackFrame{context_.Rip, context_.Rsp};
    return true;
  }

 private:
  CONTEXT context_;
};

std::size_t CaptureCrashingStack(const CrashRequest& request, std::span<std::uint64_t> frames) {
  const CONTEXT* context = request.exception_pointers->ContextRecord;
  if (context == nullptr) {
    return 0;
  }
  ContextUnwinder unwinder(*context);
  return WalkStack(StackFrame{context->Rip, context->Rsp}, request.stack, unwinder, frames);
}

struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle handle) noexcept { return handle != INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) noexcept { ::FindClose(handle); }
};

std::vector<std::wstring> CrashFileNames() {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry{};
  const ScopedHandle<FindHandleTraits> find(
      ::FindFirstFileW(JoinPath(LogsDirectory(), L"crash-*").c_str(), &entry));
  if (!find.valid()) {
    return names;
  }
  do {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      names.emplace_back(entry.cFileName);
    }
  } while (::FindNextFileW(find.get(), &entry));
  return names;
}

void WriteMinidump(const CrashRequest& request, HANDLE dump) {
  MINIDUMP_EXCEPTION_INFORMATION information{};
  information.ThreadId = request.thread_id;
  information.ExceptionPointers = request.exception_pointers;
  information.ClientPointers = FALSE;
  ::MiniDumpWriteDump(::GetCurrentProcess(), ::GetCurrentProcessId(), dump, kMinidumpType,
                      request.exception_pointers != nullptr ? &information : nullptr, nullptr,
                      nullptr);
  ::FlushFileBuffers(dump);
}

}  // namespace

StackBounds CurrentThreadStack() {
  ULONG_PTR low = 0;
  ULONG_PTR high = 0;
  ::GetCurrentThreadStackLimits(&low, &high);
  return StackBounds{low, high};
}

void WriteCrashFiles(const CrashRequest& request) {
  if (!EnsureLogsDirectory()) {
    return;
  }
  std::array<wchar_t, kFileStampUnits> stamp{};
  FormatFileStamp(LocalStampTime(), stamp);
  CrashFileSet set;
  CreateCrashFileSet(stamp.data(), set);
  if (set.report.valid()) {
    WriteCrashReport(request, set.report.get(),
                     set.dump_name[0] != L'\0' ? set.dump_name.data() : nullptr);
    set.report.reset();
  }
  if (set.dump.valid()) {
    WriteMinidump(request, set.dump.get());
  }
}

void WriteCrashReport(const CrashRequest& request, HANDLE report, const wchar_t* minidump_name) {
  if (request.exception_pointers == nullptr ||
      request.exception_pointers->ExceptionRecord == nullptr) {
    return;
  }
  const EXCEPTION_RECORD& record = *request.exception_pointers->ExceptionRecord;
  CrashHeader header;
  header.time = LocalStampTime();
  header.process_id = ::GetCurrentProcessId();
  header.thread_id = request.thread_id;
  header.exception_code = record.ExceptionCode;
  header.exception_flags = record.ExceptionFlags;
  header.exception_address = AddressValue(record.ExceptionAddress);
  header.number_parameters = record.NumberParameters;
  header.minidump_name = minidump_name != nullptr ? minidump_name : L"";
  header.logs_directory = LogsDirectory();
  header.version = BuildVersionText();
  std::array<char, kCrashHeaderBufferBytes> header_text{};
  WriteText(report, header_text, FormatCrashHeader(header, header_text));

  if (HasAccessViolationLine(record.ExceptionCode, record.NumberParameters)) {
    std::array<char, kReportLineBytes> line{};
    WriteText(report, line,
              FormatAccessViolationLine(record.ExceptionInformation[0],
                                        record.ExceptionInformation[1], line));
  }

  constexpr std::string_view kStackTitle = "stack:\r\n";
  WriteText(report, kStackTitle, kStackTitle.size());
  std::array<std::uint64_t, kMaxStackFrames> frames{};
  const std::size_t count = CaptureCrashingStack(request, frames);
  for (std::size_t index = 0; index < count; ++index) {
    std::array<char, kReportLineBytes> line{};
    WriteText(report, line, FormatStackLine(static_cast<unsigned>(index), frames[index], line));
  }
  ::FlushFileBuffers(report);
}

void PruneCrashFiles() {
  if (LogsDirectory().empty()) {
    return;
  }
  try {
    for (const std::wstring& name : CrashFilesToPrune(CrashFileNames(), kCrashSetsKept)) {
      ::DeleteFileW(JoinPath(LogsDirectory(), name).c_str());
    }
  } catch (...) {
    // Out of memory at start-up: the old crash files stay until next time.
  }
}
