#include "host/utf16_from_utf8.h"

#include <windows.h>

#include <climits>

std::wstring Utf16FromUtf8(const std::string& utf8) {
  // The system call counts in int; longer text cannot be converted whole.
  if (utf8.empty() || utf8.size() > static_cast<size_t>(INT_MAX)) {
    return {};
  }
  const int length = static_cast<int>(utf8.size());
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
  if (size <= 0) {
    return {};
  }
  std::wstring utf16(static_cast<size_t>(size), L'\0');
  if (MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, utf16.data(), size) <= 0) {
    return {};
  }
  return utf16;
}
