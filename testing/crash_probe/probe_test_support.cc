#include "testing/crash_probe/probe_test_support.h"

#include <shlobj.h>

#include <array>
#include <atomic>

namespace {

constexpr std::wstring_view kSavedSuffix = L".crash-probe-saved";

std::wstring QuoteArgument(const std::wstring& argument) {
  // The probe's arguments hold no quotes or trailing backslashes.
  return L"\"" + argument + L"\"";
}

DWORD Attributes(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

}  // namespace

ProbeProcess::ProbeProcess(const std::wstring& exe, const std::vector<std::wstring>& arguments) {
  std::wstring command_line = QuoteArgument(exe);
  for (const std::wstring& argument : arguments) {
    command_line += L" " + QuoteArgument(argument);
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION information{};
  if (!::CreateProcessW(exe.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &information)) {
    return;
  }
  ::CloseHandle(information.hThread);
  process_ = information.hProcess;
  run_.process_id = information.dwProcessId;
  run_.thread_id = information.dwThreadId;
}

ProbeProcess::~ProbeProcess() {
  if (process_ != nullptr) {
    if (!run_.finished) {
      ::TerminateProcess(process_, 1);
    }
    ::CloseHandle(process_);
  }
}

ProbeRun ProbeProcess::Wait(DWORD timeout_ms) {
  if (process_ != nullptr && !run_.finished &&
      ::WaitForSingleObject(process_, timeout_ms) == WAIT_OBJECT_0) {
    run_.finished = ::GetExitCodeProcess(process_, &run_.exit_code) != FALSE;
  }
  return run_;
}

ProbeRun RunProbe(const std::wstring& exe, const std::vector<std::wstring>& arguments) {
  constexpr DWORD kProbeTimeoutMs = 60000;
  ProbeProcess process(exe, arguments);
  return process.Wait(kProbeTimeoutMs);
}

std::wstring LocalAppDataFolder() {
  std::array<wchar_t, MAX_PATH> buffer{};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT,
                                buffer.data()))) {
    return {};
  }
  return buffer.data();
}

std::wstring ThisProgramFolder() {
  std::array<wchar_t, MAX_PATH> buffer{};
  const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), MAX_PATH);
  std::wstring path(buffer.data(), length);
  return path.substr(0, path.find_last_of(L"\\/"));
}

std::wstring MakeScratchFolder() {
  static std::atomic<unsigned> counter{0};
  std::array<wchar_t, MAX_PATH> temp{};
  ::GetTempPathW(MAX_PATH, temp.data());
  std::wstring base = temp.data();
  if (!base.empty() && base.back() == L'\\') {
    base.pop_back();
  }
  for (;;) {
    const std::wstring folder = base + L"\\velmo-crash-probe-" +
                                std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                std::to_wstring(counter++);
    if (::CreateDirectoryW(folder.c_str(), nullptr)) {
      return folder;
    }
    if (::GetLastError() != ERROR_ALREADY_EXISTS) {
      return {};
    }
  }
}

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool CreatePlainFile(const std::wstring& path) {
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  ::CloseHandle(file);
  return true;
}

void RemovePath(const std::wstring& path) {
  if (IsFile(path)) {
    ::DeleteFileW(path.c_str());
    return;
  }
  if (!IsDirectory(path)) {
    return;
  }
  for (const std::wstring& name : ListNames(path, L"*")) {
    RemovePath(path + L"\\" + name);
  }
  ::RemoveDirectoryW(path.c_str());
}

std::vector<std::wstring> ListNames(const std::wstring& folder, const std::wstring& pattern) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry{};
  const HANDLE find = ::FindFirstFileW((folder + L"\\" + pattern).c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) {
    return names;
  }
  do {
    const std::wstring name = entry.cFileName;
    if (name != L"." && name != L"..") {
      names.push_back(name);
    }
  } while (::FindNextFileW(find, &entry));
  ::FindClose(find);
  return names;
}

std::string ReadBytes(const std::wstring& path) {
  std::string bytes;
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return bytes;
  }
  std::array<char, 65536> chunk{};
  DWORD read = 0;
  while (::ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr) &&
         read > 0) {
    bytes.append(chunk.data(), read);
  }
  ::CloseHandle(file);
  return bytes;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) {
    return {};
  }
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
  return out;
}

std::vector<std::string> SplitCrLf(const std::string& text, std::string* unterminated) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  *unterminated = text.substr(start);
  return lines;
}

PreferredLogsFolderSwap::PreferredLogsFolderSwap(bool block_creation) {
  const std::wstring local = LocalAppDataFolder();
  if (local.empty()) {
    return;
  }
  velmo_ = local + L"\\Velmo";
  saved_ = velmo_ + std::wstring(kSavedSuffix);
  if (Attributes(saved_) != INVALID_FILE_ATTRIBUTES) {
    // An earlier run ended before restoring: what is under "Velmo" now is its
    // leftover, the saved folder is the user's.
    RemovePath(velmo_);
    ::MoveFileW(saved_.c_str(), velmo_.c_str());
  }
  if (Attributes(velmo_) != INVALID_FILE_ATTRIBUTES) {
    if (!::MoveFileW(velmo_.c_str(), saved_.c_str())) {
      return;
    }
    moved_ = true;
  }
  active_ = true;
  ready_ = !block_creation || CreatePlainFile(velmo_);
}

PreferredLogsFolderSwap::~PreferredLogsFolderSwap() {
  // Only what this object made is removed, never a folder it could not move.
  if (!active_) {
    return;
  }
  RemovePath(velmo_);
  if (moved_) {
    ::MoveFileW(saved_.c_str(), velmo_.c_str());
  }
}
