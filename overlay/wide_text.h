#ifndef VELMO_OVERLAY_WIDE_TEXT_H_
#define VELMO_OVERLAY_WIDE_TEXT_H_

#include <string>
#include <string_view>

// The shared UTF-8 to UTF-16 conversion (an empty input or a failed conversion
// gives an empty text), as the system's wide text and as the core's UTF-16.
std::wstring Utf8ToWide(std::string_view text);
std::u16string Utf8ToUtf16System(std::string_view text);

std::wstring AsWide(const std::u16string& text);

#endif  // VELMO_OVERLAY_WIDE_TEXT_H_
