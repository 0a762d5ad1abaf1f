#include "overlay/avatar/picture_size.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace {

constexpr uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kPngWidthOffset = 16;  // signature, chunk length and "IHDR"
constexpr uint8_t kJpegMarker = 0xFF;
constexpr uint8_t kJpegStartOfImage = 0xD8;
constexpr uint8_t kJpegEndOfImage = 0xD9;
constexpr uint8_t kJpegStartOfScan = 0xDA;
constexpr uint8_t kJpegStuffedZero = 0x00;
constexpr uint8_t kJpegTemporary = 0x01;
constexpr uint8_t kJpegFirstRestart = 0xD0;
constexpr uint8_t kJpegLastRestart = 0xD7;
constexpr std::size_t kGifScreenOffset = 6;
constexpr uint8_t kGifImageDescriptor = 0x2C;
constexpr uint8_t kGifExtension = 0x21;
constexpr uint8_t kGifColourTableFlag = 0x80;
constexpr std::size_t kBmpWidthOffset = 18;

uint32_t BigEndian16(std::span<const uint8_t> b, std::size_t at) {
  return static_cast<uint32_t>(b[at] << 8 | b[at + 1]);
}

uint32_t BigEndian32(std::span<const uint8_t> b, std::size_t at) {
  return static_cast<uint32_t>(b[at]) << 24 | BigEndian16(b, at + 1) << 8 | b[at + 3];
}

uint32_t LittleEndian16(std::span<const uint8_t> b, std::size_t at) {
  return static_cast<uint32_t>(b[at] | b[at + 1] << 8);
}

uint32_t LittleEndian32(std::span<const uint8_t> b, std::size_t at) {
  return LittleEndian16(b, at) | LittleEndian16(b, at + 2) << 16;
}

bool StartsWith(std::span<const uint8_t> file, std::string_view prefix) {
  return file.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), file.begin(),
                    [](char c, uint8_t b) { return static_cast<uint8_t>(c) == b; });
}

std::optional<PictureSize> PngSize(std::span<const uint8_t> file) {
  if (file.size() < kPngWidthOffset + 8) return std::nullopt;
  return PictureSize{BigEndian32(file, kPngWidthOffset), BigEndian32(file, kPngWidthOffset + 4)};
}

// Walks the markers up to the first start-of-frame marker (C0-CF except the
// DHT, JPG and DAC markers C4, C8 and CC), stepping over those a decoder
// reads without a length (TEM, RST0-7 and a stuffed FF 00) exactly as it
// does, so that no segment hides the frame the decoder will use. A scan,
// the end or anything else before the frame refuses the file.
std::optional<PictureSize> JpegSize(std::span<const uint8_t> file) {
  std::size_t at = 2;
  while (at + 2 <= file.size()) {
    if (file[at] != kJpegMarker) return std::nullopt;
    const uint8_t marker = file[at + 1];
    if (marker == kJpegMarker) {  // fill byte
      ++at;
      continue;
    }
    if (marker == kJpegStuffedZero || marker == kJpegTemporary ||
        (marker >= kJpegFirstRestart && marker <= kJpegLastRestart)) {
      at += 2;
      continue;
    }
    if (marker == kJpegStartOfImage || marker == kJpegEndOfImage || marker == kJpegStartOfScan) {
      return std::nullopt;
    }
    const bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (at + 9 > file.size()) return std::nullopt;
      return PictureSize{BigEndian16(file, at + 7), BigEndian16(file, at + 5)};
    }
    if (at + 4 > file.size()) return std::nullopt;
    const uint32_t length = BigEndian16(file, at + 2);
    if (length < 2) return std::nullopt;
    at += 2 + length;
  }
  return std::nullopt;
}

// The logical screen, and the first image's own size, which a decoder may
// allocate even when it exceeds the screen.
std::optional<PictureSize> GifSize(std::span<const uint8_t> file) {
  if (file.size() < kGifScreenOffset + 7) return std::nullopt;
  PictureSize size{LittleEndian16(file, kGifScreenOffset),
                   LittleEndian16(file, kGifScreenOffset + 2)};
  const uint8_t flags = file[kGifScreenOffset + 4];
  std::size_t at = kGifScreenOffset + 7;
  if (flags & kGifColourTableFlag) at += 3u << ((flags & 7) + 1);
  while (at < file.size() && file[at] == kGifExtension) {
    at += 2;  // introducer and label, then sub-blocks up to an empty one
    while (at < file.size() && file[at] != 0) at += 1 + file[at];
    ++at;
  }
  if (at + 9 > file.size() || file[at] != kGifImageDescriptor) return std::nullopt;
  size.width = std::max(size.width, LittleEndian16(file, at + 5));
  size.height = std::max(size.height, LittleEndian16(file, at + 7));
  return size;
}

std::optional<PictureSize> BmpSize(std::span<const uint8_t> file) {
  if (file.size() < kBmpWidthOffset + 8) return std::nullopt;
  const auto width = static_cast<int32_t>(LittleEndian32(file, kBmpWidthOffset));
  const auto height = static_cast<int32_t>(LittleEndian32(file, kBmpWidthOffset + 4));
  // Top-down bitmaps declare a negative height.
  return PictureSize{static_cast<uint32_t>(std::abs(static_cast<int64_t>(width))),
                     static_cast<uint32_t>(std::abs(static_cast<int64_t>(height)))};
}

}  // namespace

PictureFormat SniffPictureFormat(std::span<const uint8_t> file) {
  if (file.size() >= sizeof(kPngSignature) &&
      std::equal(std::begin(kPngSignature), std::end(kPngSignature), file.begin())) {
    return PictureFormat::kPng;
  }
  if (file.size() >= 2 && file[0] == kJpegMarker && file[1] == kJpegStartOfImage) {
    return PictureFormat::kJpeg;
  }
  if (StartsWith(file, "GIF87a") || StartsWith(file, "GIF89a")) return PictureFormat::kGif;
  if (StartsWith(file, "BM")) return PictureFormat::kBmp;
  return PictureFormat::kNone;
}

std::optional<PictureSize> ReadPictureSize(std::span<const uint8_t> file) {
  switch (SniffPictureFormat(file)) {
    case PictureFormat::kPng:
      return PngSize(file);
    case PictureFormat::kJpeg:
      return JpegSize(file);
    case PictureFormat::kGif:
      return GifSize(file);
    case PictureFormat::kBmp:
      return BmpSize(file);
    case PictureFormat::kNone:
      break;
  }
  return std::nullopt;
}
