// A stand-in for the system's converter where there is none (native test
// builds): the same answers, ill-formed sequences replaced one byte at a time.
#include "base/utf8_to_utf16.h"

#include <cstdint>

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Length of the sequence a lead byte opens, or 0 for a byte that cannot lead.
int SequenceLength(uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

bool IsContinuation(uint8_t byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<uint8_t>(text[i]);
    const int length = SequenceLength(lead);
    if (length == 1) {
      out.push_back(lead);
      ++i;
      continue;
    }
    if (length == 0 || i + length > text.size()) {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    uint32_t code = lead & (0xFF >> (length + 1));
    bool valid = true;
    for (int k = 1; k < length; ++k) {
      const auto byte = static_cast<uint8_t>(text[i + k]);
      if (!IsContinuation(byte)) {
        valid = false;
        break;
      }
      code = (code << 6) | (byte & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not characters.
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    if (!valid || overlong || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
    i += length;
  }
  return out;
}
