#ifndef VELMO_HOST_UTF16_FROM_UTF8_H_
#define VELMO_HOST_UTF16_FROM_UTF8_H_

#include <string>

// UTF-8 text from the Flutter side as UTF-16 for the system. Invalid
// sequences are replaced, not rejected; an empty input or a failed conversion
// gives an empty string.
std::wstring Utf16FromUtf8(const std::string& utf8);

#endif  // VELMO_HOST_UTF16_FROM_UTF8_H_
