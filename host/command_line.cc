#include "host/command_line.h"

#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <memory>

namespace {

// The longest command line Windows accepts, in UTF-16 units.
constexpr size_t kMaxArgumentLength = 32767;

struct LocalFreeDeleter {
  void operator()(LPWSTR* argv) const { LocalFree(argv); }
};

}  // namespace

std::string Utf8FromUtf16(const wchar_t* utf16) {
  if (utf16 == nullptr) {
    return {};
  }
  const int length = static_cast<int>(wcsnlen(utf16, kMaxArgumentLength));
  if (length == 0) {
    return {};
  }
  const int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16, length, nullptr, 0,
                                       nullptr, nullptr);
  if (size == 0) {
    return {};
  }
  std::string utf8(static_cast<size_t>(size), '\0');
  if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16, length, utf8.data(), size, nullptr,
                          nullptr) == 0) {
    return {};
  }
  return utf8;
}

std::vector<std::string> EntryPointArguments(const wchar_t* command_line) {
  int argc = 0;
  std::unique_ptr<LPWSTR, LocalFreeDeleter> argv(CommandLineToArgvW(command_line, &argc));
  if (!argv) {
    return {};
  }
  std::vector<std::string> arguments;
  // Element 0 is the program path, which the entry point never sees.
  for (int i = 1; i < argc; ++i) {
    arguments.push_back(Utf8FromUtf16(argv.get()[i]));
  }
  return arguments;
}
