#ifndef VELMO_OVERLAY_AVATAR_PICTURE_SIGNATURE_H_
#define VELMO_OVERLAY_AVATAR_PICTURE_SIGNATURE_H_

#include <cstdint>
#include <optional>
#include <span>

// The picture formats avatars may come in.
enum class PictureFormat { kPng, kJpeg, kGif, kBmp };

// The format whose signature `file` starts with; none for any other, or for
// a file too short to hold its signature.
std::optional<PictureFormat> SniffPictureFormat(std::span<const uint8_t> file);

// Whether `start`, the first bytes of a body, may still begin a picture of
// one of those formats: false as soon as they show it cannot, so that a body
// of anything else is given up after its first piece.
bool MayStartPicture(std::span<const uint8_t> start);

#endif  // VELMO_OVERLAY_AVATAR_PICTURE_SIGNATURE_H_
