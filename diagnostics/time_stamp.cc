#include "diagnostics/time_stamp.h"

#include <cstdio>
#include <cwchar>

namespace {

std::size_t FittedLength(int written, std::size_t capacity) {
  if (written <= 0 || static_cast<std::size_t>(written) >= capacity) {
    return 0;
  }
  return static_cast<std::size_t>(written);
}

}  // namespace

std::size_t FormatLogStamp(const StampTime& time, std::span<char> out) {
  if (out.empty()) {
    return 0;
  }
  const int written =
      std::snprintf(out.data(), out.size(), "%04u-%02u-%02u %02u:%02u:%02u ", time.year, time.month,
                    time.day, time.hour, time.minute, time.second);
  const std::size_t length = FittedLength(written, out.size());
  if (length == 0) {
    out[0] = '\0';
  }
  return length;
}

std::size_t FormatFileStamp(const StampTime& time, std::span<wchar_t> out) {
  if (out.empty()) {
    return 0;
  }
  const int written = std::swprintf(out.data(), out.size(), L"%04u%02u%02u-%02u%02u%02u", time.year,
                                    time.month, time.day, time.hour, time.minute, time.second);
  const std::size_t length = FittedLength(written, out.size());
  if (length == 0) {
    out[0] = L'\0';
  }
  return length;
}
