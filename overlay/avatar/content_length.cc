#include "overlay/avatar/content_length.h"

#include <limits>

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr uint64_t kLargest = std::numeric_limits<uint64_t>::max();

}  // namespace

std::optional<uint64_t> ParseContentLength(std::string_view value) {
  const std::size_t first = value.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) {
    return std::nullopt;
  }
  value = value.substr(first, value.find_last_not_of(kBlanks) + 1 - first);
  uint64_t length = 0;
  for (char c : value) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    const auto digit = static_cast<uint64_t>(c - '0');
    length = length > (kLargest - digit) / 10 ? kLargest : length * 10 + digit;
  }
  return length;
}
