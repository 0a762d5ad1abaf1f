#ifndef VELMO_OVERLAY_AVATAR_WIC_PICTURE_DECODER_H_
#define VELMO_OVERLAY_AVATAR_WIC_PICTURE_DECODER_H_

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>

#include "overlay/avatar/avatar_fetcher.h"
#include "overlay/avatar/picture_size.h"

// Pictures decoded by the Windows Imaging Component on the calling thread
// (which these enter into a multithreaded COM apartment for the call).

// The size of the first frame as the decoder reads it from the header,
// before any pixel is decoded. None for a file whose signature shows no
// known format, for more pixels than the budget, or for more than 8 bits a
// channel.
std::optional<PictureSize> WicPictureSize(std::span<const uint8_t> file);

// The first frame stretched to `size` × `size` (aspect ratio not kept),
// premultiplied. Where the decoder can scale while decoding (JPEG's 1/2,
// 1/4, 1/8) it decodes at the smallest size still at least `size`. Pixels
// come in bands with `stop` looked at between them: none once it is set.
std::optional<ScaledAvatar> WicDecodePicture(std::span<const uint8_t> file, int size,
                                             const std::atomic<bool>& stop);

#endif  // VELMO_OVERLAY_AVATAR_WIC_PICTURE_DECODER_H_
