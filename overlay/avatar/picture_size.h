#ifndef VELMO_OVERLAY_AVATAR_PICTURE_SIZE_H_
#define VELMO_OVERLAY_AVATAR_PICTURE_SIZE_H_

#include <cstdint>
#include <optional>
#include <span>

struct PictureSize {
  uint32_t width = 0;
  uint32_t height = 0;
};

enum class PictureFormat { kNone, kPng, kJpeg, kGif, kBmp };

// The format the file's signature shows; only that format's decoder is
// given the file.
PictureFormat SniffPictureFormat(std::span<const uint8_t> file);

// The dimensions a PNG, JPEG, GIF or BMP file declares, read from its header
// alone, so that a picture too large to decode is refused before a decoder
// allocates its pixels. None for any other or a truncated file.
std::optional<PictureSize> ReadPictureSize(std::span<const uint8_t> file);

#endif  // VELMO_OVERLAY_AVATAR_PICTURE_SIZE_H_
