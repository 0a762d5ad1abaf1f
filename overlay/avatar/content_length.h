#ifndef VELMO_OVERLAY_AVATAR_CONTENT_LENGTH_H_
#define VELMO_OVERLAY_AVATAR_CONTENT_LENGTH_H_

#include <cstdint>
#include <optional>
#include <string_view>

// The length a Content-Length header's value declares: decimal digits, with
// perhaps spaces or tabs around them; none for anything else. A length past
// what 64 bits hold is the largest they hold, which is past any cap.
std::optional<uint64_t> ParseContentLength(std::string_view value);

#endif  // VELMO_OVERLAY_AVATAR_CONTENT_LENGTH_H_
