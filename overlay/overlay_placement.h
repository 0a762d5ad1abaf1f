#ifndef VELMO_OVERLAY_OVERLAY_PLACEMENT_H_
#define VELMO_OVERLAY_OVERLAY_PLACEMENT_H_

#include <cstddef>
#include <string_view>

#include "overlay/overlay_visibility.h"

struct OverlayPlacement {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const OverlayPlacement&) const = default;
};

// Where the overlay goes on `monitor` for a position word such as
// "rightBottom": right when it begins with "right", top when it contains
// "Top", bottom when it contains "Bottom", otherwise left and centred; always
// kept on the monitor, pinned to its top-left edge when too big.
OverlayPlacement PlaceOverlay(const PixelRect& monitor, std::string_view position, double scale,
                              std::size_t member_count);

#endif  // VELMO_OVERLAY_OVERLAY_PLACEMENT_H_
