#ifndef VELMO_BASE_WIDE_TEXT_H_
#define VELMO_BASE_WIDE_TEXT_H_

#include <string>
#include <string_view>

// The conversion of utf8_to_utf16.h as the system's wide text.
std::wstring Utf8ToWide(std::string_view utf8);

// UTF-16 text of the platform-neutral code as the system's wide text.
std::wstring AsWide(std::u16string_view text);

#endif  // VELMO_BASE_WIDE_TEXT_H_
