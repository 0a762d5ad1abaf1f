#ifndef VELMO_OVERLAY_OVERLAY_VISIBILITY_H_
#define VELMO_OVERLAY_OVERLAY_VISIBILITY_H_

#include <cstdint>
#include <optional>
#include <string>

struct PixelRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const PixelRect&) const = default;
};

// What the system says about the foreground window, gathered by the window
// layer. A missing optional means the query failed.
struct ForegroundFacts {
  bool present = false;              // there is a foreground window
  bool is_owner_or_overlay = false;  // it is the main window or the overlay itself
  std::optional<std::u16string> class_name;
  uint32_t process_id = 0;
  uint32_t owner_process_id = 0;
  bool visible = false;
  bool iconic = false;
  std::optional<PixelRect> window_rect;
  std::optional<PixelRect> monitor_rect;  // the full monitor, not the work area
  uint32_t style = 0;
};

// Why the overlay is hidden, in the order the tests run; kShow when all pass.
enum class OverlayVisibility {
  kShow,
  kNothingToShow,
  kNoForeground,
  kOwnWindow,
  kShellWindow,
  kOwnProcess,
  kHiddenOrMinimised,
  kNoGeometry,
  kNotFullScreen,
  kFramedWindow,
};

// Whether there is anything to show at all: the first test, which needs no
// system query.
bool OverlayWanted(bool enabled, bool active, std::size_t member_count);

OverlayVisibility DecideVisibility(bool enabled, bool active, std::size_t member_count,
                                   const ForegroundFacts& foreground);

#endif  // VELMO_OVERLAY_OVERLAY_VISIBILITY_H_
