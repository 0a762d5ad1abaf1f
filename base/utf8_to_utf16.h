#ifndef VELMO_BASE_UTF8_TO_UTF16_H_
#define VELMO_BASE_UTF8_TO_UTF16_H_

#include <string>
#include <string_view>

// UTF-8 text from the Flutter side (device ids, names, addresses) as UTF-16,
// the way the system's converter does it without flags: an ill-formed
// sequence becomes U+FFFD instead of failing the whole text; an empty input
// or a failed conversion gives an empty string.
//
// Windows builds define it over the system's converter (velmo_base). Native
// builds have no product definition: their tests link the stand-in of
// testing/utf16_stand_in.
std::u16string Utf8ToUtf16(std::string_view utf8);

#endif  // VELMO_BASE_UTF8_TO_UTF16_H_
