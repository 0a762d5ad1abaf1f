#ifndef VELMO_OVERLAY_OVERLAY_LAYOUT_H_
#define VELMO_OVERLAY_OVERLAY_LAYOUT_H_

#include <cstddef>
#include <cstdint>
#include <string>

// Sizes of the overlay in device pixels, derived from the scale setting alone
// (no DPI factor: the overlay follows its own size setting).
struct OverlayMetrics {
  int avatar_diameter = 0;
  int row_height = 0;
  int edge_space = 0;  // above the first row and below the last
  float name_font_size = 0;
  float initial_font_size = 0;
  float pill_height = 0;
  float text_inset = 0;
  int window_width = 0;
  int screen_margin = 0;
};

// Alpha bytes baked into the pixels, derived from the opacity setting.
struct OverlayAlphaLevels {
  int pill = 0;
  int speaking_pill = 0;
  int avatar = 0;
  int text = 0;
  int muted_text = 0;
};

// ARGB colours of one member's row. `ring` is 0 for a member not speaking.
struct MemberColors {
  uint32_t ring = 0;
  uint32_t placeholder = 0;
  uint32_t initial = 0;
  uint32_t pill = 0;
  uint32_t text = 0;
};

struct PillGeometry {
  float left = 0;
  float top = 0;
  float width = 0;
  float height = 0;
};

inline constexpr float kRingPenWidth = 2.5f;
inline constexpr float kRingOutset = 2.0f;
inline constexpr char16_t kMutedMarker[] = u" \u00B7\u9759\u97F3";

OverlayMetrics ComputeMetrics(double scale);
OverlayAlphaLevels ComputeAlphaLevels(double opacity);
MemberColors ComputeMemberColors(bool speaking, bool muted, const OverlayAlphaLevels& levels);

// Height of the window holding `member_count` rows (an empty list is sized as
// one row).
int OverlayWindowHeight(const OverlayMetrics& metrics, std::size_t member_count);

// Vertical centre of row `index`.
float RowCentre(const OverlayMetrics& metrics, int index);

// The placeholder's letter: the first code unit that is neither a space nor an
// opening parenthesis, else the first unit, else "?"; never upper-cased.
std::u16string MemberInitial(const std::u16string& name);

// The name as the pill shows it, with the muted marker appended.
std::u16string MemberLabel(const std::u16string& name, bool muted);

// The capsule behind a label of `text_width` in a bitmap `bitmap_width` wide.
PillGeometry ComputePill(const OverlayMetrics& metrics, float row_centre, float text_width,
                         int bitmap_width);

// Alpha as a factor for a picture's colour matrix.
float AvatarAlphaFactor(const OverlayAlphaLevels& levels);

#endif  // VELMO_OVERLAY_OVERLAY_LAYOUT_H_
