#include "diagnostics/app_log.h"

#include <shlobj.h>
#include <windows.h>

#include <array>
#include <cstring>
#include <mutex>

#include "diagnostics/logs_location.h"
#include "diagnostics/scoped_file_handle.h"
#include "diagnostics/time_stamp.h"

namespace {

// Both live until the process ends, never destroyed: a crash report or a log
// line written during static destruction (another thread, a DLL's detach
// code) must still find them.
std::wstring& MutableLogsDirectory() {
  static auto* const directory = new std::wstring();
  return *directory;
}

std::mutex& LogLock() {
  static auto* const lock = new std::mutex();
  return *lock;
}

bool CreatedOrExists(const std::wstring& directory) {
  return ::CreateDirectoryW(directory.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

bool TryPreferredLocation() {
  std::array<wchar_t, kPathBufferUnits> buffer{};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT,
                                buffer.data()))) {
    return false;
  }
  const std::wstring base = JoinPath(buffer.data(), kVelmoFolderName);
  const std::wstring logs = JoinPath(base, kLogsFolderName);
  if (!CreatedOrExists(base) || !CreatedOrExists(logs) || !ProbeWritable(logs)) {
    return false;
  }
  MutableLogsDirectory() = logs;
  return true;
}

bool TryBesideExecutable() {
  std::array<wchar_t, kPathBufferUnits> buffer{};
  const DWORD length =
      ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  const std::wstring logs = JoinPath(
      ExecutableFolder(std::wstring_view(buffer.data(), buffer.size()), length), kLogsFolderName);
  if (!CreatedOrExists(logs) || !ProbeWritable(logs)) {
    return false;
  }
  MutableLogsDirectory() = logs;
  return true;
}

void WriteAll(HANDLE file, const char* bytes, std::size_t length) {
  DWORD written = 0;
  ::WriteFile(file, bytes, static_cast<DWORD>(length), &written, nullptr);
}

}  // namespace

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
  const std::wstring probe = JoinPath(directory, kWriteTestFileName);
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
    std::lock_guard<std::mutex> hold(LogLock());
    if (!EnsureLogsDirectory()) {
      return;
    }
    const std::wstring path = JoinPath(LogsDirectory(), kAppLogFileName);
    ScopedFileHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
      return;
    }
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const StampTime time{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
    std::array<char, kLogStampBufferBytes> stamp{};
    const std::size_t stamp_length = FormatLogStamp(time, stamp);
    WriteAll(file.get(), stamp.data(), stamp_length);
    WriteAll(file.get(), text, std::strlen(text));
    WriteAll(file.get(), "\r\n", 2);
    ::FlushFileBuffers(file.get());
  } catch (...) {
    // Logging must never fail its caller (a lock or allocation failure drops
    // the line).
  }
}

void AppendLogNonBlocking(const char* text) { AppendLog(text); }
