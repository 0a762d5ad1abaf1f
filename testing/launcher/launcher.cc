// Starts a program with a command line that a shell cannot produce, such as
// one holding an unpaired surrogate, waits for it and returns its exit code.
//
//   launcher.exe <program> [argument ...]
//
// In each argument "\uXXXX" stands for the UTF-16 unit XXXX (hex) and "\\"
// for a backslash. Arguments that are empty or hold a space are quoted; the
// program path is always quoted.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>

namespace {

constexpr int kLauncherFailure = 120;
constexpr size_t kEscapeDigits = 4;

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

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: launcher <program> [argument ...]\n");
    return kLauncherFailure;
  }
  std::wstring command_line = Quoted(argv[1]);
  for (int i = 2; i < argc; ++i) {
    std::optional<std::wstring> argument = Unescape(argv[i]);
    if (!argument) {
      std::fprintf(stderr, "launcher: bad escape in argument %d\n", i - 1);
      return kLauncherFailure;
    }
    const bool needs_quotes = argument->empty() || argument->find(L' ') != std::wstring::npos;
    command_line += L" " + (needs_quotes ? Quoted(*argument) : *argument);
  }

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(argv[1], command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
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
