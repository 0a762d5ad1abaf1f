#include "overlay/wide_text.h"

#include "host/utf16_from_utf8.h"

std::wstring Utf8ToWide(std::string_view text) { return Utf16FromUtf8(std::string(text)); }

std::u16string Utf8ToUtf16System(std::string_view text) {
  const std::wstring wide = Utf8ToWide(text);
  return std::u16string(wide.begin(), wide.end());
}

std::wstring AsWide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }
