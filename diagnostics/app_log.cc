#include "diagnostics/app_log.h"

#include <shlobj.h>
#include <windows.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "diagnostics/log_line_queue.h"
#include "diagnostics/log_lock.h"
#include "diagnostics/logs_location.h"
#include "diagnostics/scoped_file_handle.h"
#include "diagnostics/time_stamp.h"

namespace {

// Another process (a second launch, an instance still tearing down) may hold
// app.log open for a moment without sharing it; a line is worth a few
// milliseconds of retry, not more.
constexpr int kOpenAttempts = 10;
constexpr DWORD kOpenRetryMs = 1;
constexpr std::string_view kLineEnd = "\r\n";

// Both live until the process ends, never destroyed: a crash report or a log
// line written during static destruction (another thread, a DLL's detach
// code) must still find them.
std::wstring& MutableLogsDirectory() {
  static auto* const directory = new std::wstring();
  return *directory;
}

LogLineQueue& PendingLines() {
  static auto* const queue = new LogLineQueue();
  return *queue;
}

// The writer thread's wake-up event; null until the thread runs.
std::atomic<HANDLE> writer_wake{nullptr};

bool CreatedOrExists(const std::wstring& directory) {
  return ::CreateDirectoryW(directory.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

// A large app.log becomes app.1.log (replacing the one before) once per
// process, when the directory is chosen, so the log stays bounded.
void RotateIfLarge(const std::wstring& logs) {
  const std::wstring current = JoinPath(logs, kAppLogFileName);
  WIN32_FILE_ATTRIBUTE_DATA attributes{};
  if (!::GetFileAttributesExW(current.c_str(), GetFileExInfoStandard, &attributes)) {
    return;
  }
  const std::uint64_t size =
      (static_cast<std::uint64_t>(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow;
  if (AppLogNeedsRotation(size)) {
    ::MoveFileExW(current.c_str(), JoinPath(logs, kPreviousAppLogFileName).c_str(),
                  MOVEFILE_REPLACE_EXISTING);
  }
}

bool Choose(const std::wstring& logs) {
  if (!ProbeWritable(logs)) {
    return false;
  }
  RotateIfLarge(logs);
  MutableLogsDirectory() = logs;
  return true;
}

bool TryPreferredLocation() {
  std::array<wchar_t, kPathBufferUnits> buffer{};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT,
                                buffer.data()))) {
    return false;
  }
  const std::wstring base = JoinPath(buffer.data(), kVelmoFolderName);
  const std::wstring logs = JoinPath(base, kLogsFolderName);
  return CreatedOrExists(base) && CreatedOrExists(logs) && Choose(logs);
}

bool TryBesideExecutable() {
  std::array<wchar_t, kPathBufferUnits> buffer{};
  const DWORD length =
      ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  const std::wstring logs = JoinPath(
      ExecutableFolder(std::wstring_view(buffer.data(), buffer.size()), length), kLogsFolderName);
  return CreatedOrExists(logs) && Choose(logs);
}

// Processes writing at the same moment serialise on an exclusive lock of one
// byte far past any real end of file. Windows appends atomically on its own,
// but not every implementation of the API does; the lock costs one call.
constexpr DWORD kWriteLockOffset = 0xFFFFFFF0;
constexpr int kWriteLockAttempts = 20;

bool LockForWrite(HANDLE file, OVERLAPPED& region) {
  region.Offset = kWriteLockOffset;
  region.OffsetHigh = kWriteLockOffset;
  for (int attempt = 1; attempt <= kWriteLockAttempts; ++attempt) {
    if (::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &region)) {
      return true;
    }
    // A process frozen while it held the lock must not hold this one up for
    // long: after a short wait the line goes in unlocked.
    ::Sleep(kOpenRetryMs);
  }
  return false;
}

// Appends one whole line with a single write on a handle every process may
// share, so lines never glue together when a process dies between writes.
// No flush: the line is in the file when the write returns and outlives this
// process; only a power cut can lose it.
void WriteLine(std::string_view line) {
  const std::wstring path = JoinPath(LogsDirectory(), kAppLogFileName);
  for (int attempt = 1; attempt <= kOpenAttempts; ++attempt) {
    // Read access only so the handle may be locked; writes still only append.
    ScopedFileHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.valid()) {
      OVERLAPPED region{};
      const bool locked = LockForWrite(file.get(), region);
      DWORD written = 0;
      ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
      if (locked) {
        ::UnlockFileEx(file.get(), 0, 1, 0, &region);
      }
      return;
    }
    if (::GetLastError() != ERROR_SHARING_VIOLATION || attempt == kOpenAttempts) {
      return;
    }
    ::Sleep(kOpenRetryMs);
  }
}

// "<stamp> " as of now; empty if it cannot be formatted.
std::string_view StampNow(std::array<char, kLogStampBufferBytes>& buffer) {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  const StampTime time{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
  return std::string_view(buffer.data(), FormatLogStamp(time, buffer));
}

void WriteStampedText(std::string_view text) {
  std::array<char, kLogStampBufferBytes> stamp{};
  std::string line(StampNow(stamp));
  line.append(text);
  line.append(kLineEnd);
  WriteLine(line);
}

// Writes every queued line, then how many were dropped. Caller holds the log
// lock, which also makes it the queue's only consumer.
void DrainLocked() {
  std::array<char, LogLineQueue::kLineBytes + kLineEnd.size()> line{};
  while (const std::optional<std::size_t> length = PendingLines().TryPop(line)) {
    kLineEnd.copy(line.data() + *length, kLineEnd.size());
    WriteLine(std::string_view(line.data(), *length + kLineEnd.size()));
  }
  if (const std::uint64_t dropped = PendingLines().TakeDropped(); dropped != 0) {
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), "log_lines_dropped count=%llu",
                  static_cast<unsigned long long>(dropped));
    WriteStampedText(text.data());
  }
}

void DrainIfDirectory() {
  std::lock_guard<std::mutex> hold(LogLock());
  if (EnsureLogsDirectory()) {
    DrainLocked();
  }
}

void WriterLoop(HANDLE wake) {
  for (;;) {
    ::WaitForSingleObject(wake, INFINITE);
    try {
      DrainIfDirectory();
    } catch (...) {
      // A line that cannot be written is dropped; the writer goes on.
    }
  }
}

// Started by the first ordinary log line (the start-up line, in the host), so
// a thread that must not wait never starts it. Lines queued before it runs
// are written by the next ordinary line or at exit.
void StartWriterOnce() {
  // A function-local static is started once, whichever threads race to it.
  static const bool started = [] {
    const HANDLE wake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (wake == nullptr) {
      return false;
    }
    try {
      std::thread(WriterLoop, wake).detach();
    } catch (...) {
      ::CloseHandle(wake);
      return false;
    }
    writer_wake.store(wake, std::memory_order_release);
    std::atexit([] {
      try {
        DrainIfDirectory();
      } catch (...) {
      }
    });
    return true;
  }();
  static_cast<void>(started);
}

}  // namespace

std::mutex& LogLock() {
  static auto* const lock = new std::mutex();
  return *lock;
}

const std::wstring& LogsDirectory() { return MutableLogsDirectory(); }

bool EnsureLogsDirectory() {
  if (!MutableLogsDirectory().empty()) {
    return true;
  }
  try {
    return TryPreferredLocation() || TryBesideExecutable();
  } catch (...) {
    // Out of memory while building a path: no directory this time.
    return false;
  }
}

bool ProbeWritable(const std::wstring& directory) {
  const std::wstring probe = JoinPath(directory, WriteTestFileName(::GetCurrentProcessId()));
  ScopedFileHandle file(::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_FLAG_DELETE_ON_CLOSE | FILE_ATTRIBUTE_TEMPORARY,
                                      nullptr));
  return file.valid();
}

void AppendLog(const char* text) {
  if (text == nullptr) {
    return;
  }
  try {
    StartWriterOnce();
    std::lock_guard<std::mutex> hold(LogLock());
    if (!EnsureLogsDirectory()) {
      return;
    }
    // Queued lines are older than this one: they go first.
    DrainLocked();
    WriteStampedText(text);
  } catch (...) {
    // Logging must never fail its caller (a lock or allocation failure drops
    // the line).
  }
}

void AppendLogNonBlocking(const char* text) {
  if (text == nullptr) {
    return;
  }
  std::array<char, LogLineQueue::kLineBytes> line{};
  std::array<char, kLogStampBufferBytes> stamp{};
  const std::string_view stamp_text = StampNow(stamp);
  std::size_t length = stamp_text.copy(line.data(), line.size());
  length += std::string_view(text).copy(line.data() + length, line.size() - length);
  if (PendingLines().TryPush(std::string_view(line.data(), length))) {
    if (const HANDLE wake = writer_wake.load(std::memory_order_acquire); wake != nullptr) {
      ::SetEvent(wake);
    }
  }
}

void DrainLogQueue() {
  try {
    DrainIfDirectory();
  } catch (...) {
  }
}
