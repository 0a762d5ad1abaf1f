#include "overlay/member_text_limits.h"

namespace {

bool IsUtf8Continuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Every character that is dropped lies in the Basic Multilingual Plane.
bool IsDropped(char16_t unit) {
  return unit <= 0x1F || (unit >= 0x7F && unit <= 0x9F) || unit == 0x061C || unit == 0x200E ||
         unit == 0x200F || (unit >= 0x202A && unit <= 0x202E) || (unit >= 0x2066 && unit <= 0x2069);
}

}  // namespace

std::string_view MemberNameInput(std::string_view utf8) {
  if (utf8.size() <= kMaxMemberNameInputBytes) {
    return utf8;
  }
  std::size_t end = kMaxMemberNameInputBytes;
  while (end > 0 && IsUtf8Continuation(utf8[end])) {
    --end;
  }
  return utf8.substr(0, end);
}

std::u16string CleanMemberName(std::u16string_view name) {
  std::u16string cleaned;
  std::size_t code_points = 0;
  for (std::size_t i = 0; i < name.size() && code_points < kMaxMemberNameCodePoints; ++i) {
    const char16_t unit = name[i];
    if (IsDropped(unit)) {
      continue;
    }
    cleaned.push_back(unit);
    if (IsHighSurrogate(unit) && i + 1 < name.size() && IsLowSurrogate(name[i + 1])) {
      cleaned.push_back(name[++i]);
    }
    ++code_points;
  }
  return cleaned;
}

std::string BoundedAvatarUrl(std::string url) {
  if (url.size() > kMaxAvatarUrlBytes) {
    url.clear();
  }
  return url;
}
