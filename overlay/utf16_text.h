#ifndef VELMO_OVERLAY_UTF16_TEXT_H_
#define VELMO_OVERLAY_UTF16_TEXT_H_

#include <string>
#include <string_view>

// UTF-8 to UTF-16 the way the system's converter does it without flags: an
// ill-formed sequence becomes U+FFFD instead of failing the whole text. An
// empty input gives an empty result.
std::u16string Utf8ToUtf16(std::string_view text);

#endif  // VELMO_OVERLAY_UTF16_TEXT_H_
