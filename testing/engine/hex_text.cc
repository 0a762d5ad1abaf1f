#include "testing/engine/hex_text.h"

namespace substitute_engine {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr std::string_view kNoBytes = "-";

int DigitValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

}  // namespace

std::string HexField(const uint8_t* data, size_t size) {
  if (data == nullptr || size == 0) {
    return std::string(kNoBytes);
  }
  std::string text;
  text.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    text.push_back(kHexDigits[data[i] >> 4]);
    text.push_back(kHexDigits[data[i] & 0x0F]);
  }
  return text;
}

std::string HexField(std::string_view text) {
  return HexField(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

std::optional<std::vector<uint8_t>> BytesFromHexField(std::string_view field) {
  if (field == kNoBytes) {
    return std::vector<uint8_t>();
  }
  if (field.empty() || field.size() % 2 != 0) {
    return std::nullopt;
  }
  std::vector<uint8_t> bytes;
  bytes.reserve(field.size() / 2);
  for (size_t i = 0; i < field.size(); i += 2) {
    const int high = DigitValue(field[i]);
    const int low = DigitValue(field[i + 1]);
    if (high < 0 || low < 0) {
      return std::nullopt;
    }
    bytes.push_back(static_cast<uint8_t>(high << 4 | low));
  }
  return bytes;
}

}  // namespace substitute_engine
