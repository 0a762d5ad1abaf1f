#include "overlay/overlay_placement.h"

#include <algorithm>

#include "overlay/overlay_layout.h"

namespace {

constexpr std::string_view kRightPrefix = "right";
constexpr std::string_view kTopWord = "Top";
constexpr std::string_view kBottomWord = "Bottom";

}  // namespace

OverlayPlacement PlaceOverlay(const PixelRect& monitor, std::string_view position, double scale,
                              std::size_t member_count) {
  const OverlayMetrics metrics = ComputeMetrics(scale);
  const int width = metrics.window_width;
  const int height = OverlayWindowHeight(metrics, member_count);
  const int margin = metrics.screen_margin;

  int x =
      position.starts_with(kRightPrefix) ? monitor.right - margin - width : monitor.left + margin;
  int y = 0;
  if (position.find(kTopWord) != std::string_view::npos) {
    y = monitor.top + margin;
  } else if (position.find(kBottomWord) != std::string_view::npos) {
    y = monitor.bottom - height - margin;
  } else {
    y = monitor.top + std::max(0, (monitor.bottom - monitor.top - height) / 2);
  }
  x = std::max(std::min(x, monitor.right - width), monitor.left);
  y = std::max(std::min(y, monitor.bottom - height), monitor.top);
  return OverlayPlacement{x, y, width, height};
}
