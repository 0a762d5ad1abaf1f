#include "overlay/avatar/picture_signature.h"

#include <algorithm>
#include <string_view>

namespace {

struct Signature {
  PictureFormat format;
  std::string_view bytes;
};

using namespace std::string_view_literals;
constexpr Signature kSignatures[] = {
    {PictureFormat::kPng, "\x89PNG\r\n\x1A\n"sv},
    {PictureFormat::kJpeg, "\xFF\xD8"sv},
    {PictureFormat::kGif, "GIF87a"sv},
    {PictureFormat::kGif, "GIF89a"sv},
    {PictureFormat::kBmp, "BM"sv},
};

// Whether the first `count` bytes of `file` are those of `signature`.
bool Agrees(std::span<const uint8_t> file, std::string_view signature, std::size_t count) {
  return std::equal(signature.begin(), signature.begin() + static_cast<std::ptrdiff_t>(count),
                    file.begin(), [](char c, uint8_t b) { return static_cast<uint8_t>(c) == b; });
}

}  // namespace

std::optional<PictureFormat> SniffPictureFormat(std::span<const uint8_t> file) {
  for (const Signature& signature : kSignatures) {
    if (file.size() >= signature.bytes.size() &&
        Agrees(file, signature.bytes, signature.bytes.size())) {
      return signature.format;
    }
  }
  return std::nullopt;
}

bool MayStartPicture(std::span<const uint8_t> start) {
  return std::any_of(
      std::begin(kSignatures), std::end(kSignatures), [start](const auto& signature) {
        return Agrees(start, signature.bytes, std::min(start.size(), signature.bytes.size()));
      });
}
