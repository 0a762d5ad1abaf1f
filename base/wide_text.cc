#include "base/wide_text.h"

#include <windows.h>

#include <climits>

#include "base/utf8_to_utf16.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide text is UTF-16 on Windows");

std::wstring Utf8ToWide(std::string_view utf8) {
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

std::u16string Utf8ToUtf16(std::string_view utf8) {
  const std::wstring wide = Utf8ToWide(utf8);
  return std::u16string(wide.begin(), wide.end());
}

std::wstring AsWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
