#include "overlay/wide_text.h"

#include <windows.h>

std::wstring Utf8ToWide(std::string_view text) {
  if (text.empty()) {
    return {};
  }
  const int length = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  if (size <= 0) {
    return {};
  }
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  if (MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), size) != size) {
    return {};
  }
  return wide;
}

std::u16string Utf8ToUtf16System(std::string_view text) {
  const std::wstring wide = Utf8ToWide(text);
  return std::u16string(wide.begin(), wide.end());
}

std::wstring AsWide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }
