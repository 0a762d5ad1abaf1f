// Starts a program with a command line that a shell cannot produce, such as
// one holding an unpaired surrogate, waits for it and returns its exit code.
//
//   VELMO_LAUNCH_PROGRAM=<program> launcher.exe [argument ...]
//
// The program comes from the environment so that every argument of the
// launcher, in order, is passed on. In each argument "\uXXXX" stands for the
// UTF-16 unit XXXX (hex) and "\\" for a backslash. Arguments that are empty
// or hold a space are quoted; the program path is always quoted. The program
// runs in its own folder.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>

namespace {

constexpr int kLauncherFailure = 120;
constexpr size_t kEscapeDigits = 4;
constexpr wchar_t kProgramVariable[] = L"VELMO_LAUNCH_PROGRAM";

std::optional<std::wstring> Unescape(const wchar_t* text) {
  std::wstring out;
  for (size_t i = 0; text[i] != L'\0'; ++i) {
    if (text[i] != L'\\') {
      out.push_back(text[i]);
      continue;
    }
    if (text[i + 1] == L'\\') {
      out.push_back(L'\\');
      ++i;
      continue;
    }
    if (text[i + 1] != L'u') {
      return std::nullopt;
    }
    const std::wstring digits(text + i + 2, wcsnlen(text + i + 2, kEscapeDigits));
    if (digits.size() != kEscapeDigits) {
      return std::nullopt;
    }
    wchar_t* end = nullptr;
    const unsigned long unit = std::wcstoul(digits.c_str(), &end, 16);
    if (*end != L'\0') {
      return std::nullopt;
    }
    out.push_back(static_cast<wchar_t>(unit));
    i += 1 + kEscapeDigits;
  }
  return out;
}

std::wstring Quoted(const std::wstring& argument) { return L"\"" + argument + L"\""; }

std::wstring EnvironmentValue(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) {
    return {};
  }
  std::wstring value(size, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), size));
  return value;
}

std::wstring FolderOf(const std::wstring& path) {
  const size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring program = EnvironmentValue(kProgramVariable);
  if (program.empty()) {
    std::fprintf(stderr, "usage: VELMO_LAUNCH_PROGRAM=<program> launcher [argument ...]\n");
    return kLauncherFailure;
  }
  std::wstring command_line = Quoted(program);
  for (int i = 1; i < argc; ++i) {
    std::optional<std::wstring> argument = Unescape(argv[i]);
    if (!argument) {
      std::fprintf(stderr, "launcher: bad escape in argument %d\n", i);
      return kLauncherFailure;
    }
    const bool needs_quotes = argument->empty() || argument->find(L' ') != std::wstring::npos;
    command_line += L" " + (needs_quotes ? Quoted(*argument) : *argument);
  }

  const std::wstring folder = FolderOf(program);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
    std::fprintf(stderr, "launcher: CreateProcessW failed with %lu\n", GetLastError());
    return kLauncherFailure;
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exit_code = kLauncherFailure;
  GetExitCodeProcess(process.hProcess, &exit_code);
  CloseHandle(process.hProcess);
  return static_cast<int>(exit_code);
}
