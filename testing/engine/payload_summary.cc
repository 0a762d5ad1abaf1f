#include "testing/engine/payload_summary.h"

#include <optional>
#include <string_view>

namespace substitute_engine {
namespace {

constexpr uint8_t kStringType = 7;
constexpr uint8_t kSuccessEnvelope = 0;
constexpr uint8_t kErrorEnvelope = 1;
// Only one-byte sizes are looked at; longer names are not worth showing.
constexpr uint8_t kLargestShortSize = 253;

std::string SizeText(size_t size) {
  return std::to_string(size) + (size == 1 ? " byte" : " bytes");
}

// A printable short string value starting at `offset`.
std::optional<std::string_view> ShortStringAt(const uint8_t* data, size_t size, size_t offset) {
  if (offset + 2 > size || data[offset] != kStringType || data[offset + 1] > kLargestShortSize) {
    return std::nullopt;
  }
  const size_t length = data[offset + 1];
  if (offset + 2 + length > size) {
    return std::nullopt;
  }
  std::string_view text(reinterpret_cast<const char*>(data + offset + 2), length);
  for (char c : text) {
    if (c < 0x20 || c > 0x7E) {
      return std::nullopt;
    }
  }
  return text;
}

}  // namespace

std::string SummarizeMessage(const uint8_t* data, size_t size) {
  if (data == nullptr || size == 0) {
    return "empty";
  }
  if (auto method = ShortStringAt(data, size, 0)) {
    return std::string(*method) + " (" + SizeText(size) + ")";
  }
  return SizeText(size);
}

std::string SummarizeAnswer(const uint8_t* data, size_t size) {
  if (data == nullptr || size == 0) {
    return "empty";
  }
  if (data[0] == kSuccessEnvelope) {
    return "success (" + SizeText(size) + ")";
  }
  if (data[0] == kErrorEnvelope) {
    if (auto code = ShortStringAt(data, size, 1)) {
      return "error " + std::string(*code);
    }
    return "error (" + SizeText(size) + ")";
  }
  return SizeText(size);
}

}  // namespace substitute_engine
