#ifndef VELMO_OVERLAY_WIDE_TEXT_H_
#define VELMO_OVERLAY_WIDE_TEXT_H_

#include <string>
#include <string_view>

// UTF-8 to UTF-16 with the system's converter (no flags); an empty input or a
// failed conversion gives an empty text.
std::wstring Utf8ToWide(std::string_view text);
std::u16string Utf8ToUtf16System(std::string_view text);

std::wstring AsWide(const std::u16string& text);

#endif  // VELMO_OVERLAY_WIDE_TEXT_H_
