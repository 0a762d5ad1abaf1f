#include "overlay/overlay_layout.h"

#include <algorithm>

namespace {

// Factors at scale 1 and the smallest sizes the rows stay legible at.
constexpr double kAvatarDiameterFactor = 30;
constexpr int kMinAvatarDiameter = 16;
constexpr double kRowHeightFactor = 40;
constexpr int kMinRowHeight = 22;
constexpr double kEdgeSpaceFactor = 6;
constexpr int kMinEdgeSpace = 2;
constexpr float kNameFontFactor = 14;
constexpr float kMinNameFont = 12;
constexpr float kInitialFontFactor = 12;
constexpr float kMinInitialFont = 10;
constexpr float kPillHeightFactor = 24;
constexpr float kMinPillHeight = 20;
constexpr float kTextInsetFactor = 11;
constexpr float kMinTextInset = 8;
constexpr double kWindowWidthFactor = 280;
constexpr int kMinWindowWidth = 160;
constexpr double kScreenMarginFactor = 28;
constexpr int kMinScreenMargin = 4;

// Pill geometry: gap between avatar and pill, the narrowest pill, and the
// room kept free right of the widest one.
constexpr float kPillGap = 4;
constexpr float kMinPillWidth = 36;
constexpr int kPillRightReserve = 10;

// Each alpha level equals its factor at this opacity, the initial one.
constexpr double kReferenceOpacity = 0.4;
struct AlphaRule {
  double factor;
  double minimum;
  double maximum;
};
constexpr AlphaRule kPillAlpha{78, 20, 180};
constexpr AlphaRule kSpeakingPillAlpha{155, 60, 230};
constexpr AlphaRule kAvatarAlpha{110, 30, 180};
constexpr AlphaRule kTextAlpha{150, 60, 220};
constexpr double kMutedTextShare = 0.75;

constexpr uint32_t kSpeakingRing = 0xF0C8F542;
constexpr uint32_t kSpeakingPlaceholder = 0xEBC8F542;
constexpr uint32_t kSpeakingInitial = 0xFF0E120C;
constexpr uint32_t kSpeakingText = 0xF5ECFADC;
constexpr uint32_t kPlaceholderRgb = 0x343A38;
constexpr uint32_t kInitialRgb = 0xE6EAE4;
constexpr uint32_t kSpeakingPillRgb = 0x1C281E;
constexpr uint32_t kPillRgb = 0x1C1E20;
constexpr uint32_t kTextRgb = 0xECF0EC;
constexpr uint32_t kMutedTextRgb = 0x969A9E;

constexpr char16_t kSpace = u' ';
constexpr char16_t kOpeningParenthesis = u'(';
constexpr char16_t kUnknownInitial[] = u"?";

int Rounded(double x) { return static_cast<int>(x + 0.5); }

float ScaledFloat(double scale, float factor, float minimum) {
  return std::max(static_cast<float>(scale * factor), minimum);
}

int Level(double opacity, const AlphaRule& rule) {
  const double level = opacity * rule.factor / kReferenceOpacity;
  return static_cast<int>(std::max(std::min(level, rule.maximum), rule.minimum));
}

uint32_t WithAlpha(int alpha, uint32_t rgb) { return (static_cast<uint32_t>(alpha) << 24) | rgb; }

}  // namespace

OverlayMetrics ComputeMetrics(double scale) {
  OverlayMetrics m;
  m.avatar_diameter = std::max(kMinAvatarDiameter, Rounded(kAvatarDiameterFactor * scale));
  m.row_height = std::max(kMinRowHeight, Rounded(kRowHeightFactor * scale));
  m.edge_space = std::max(kMinEdgeSpace, Rounded(kEdgeSpaceFactor * scale));
  m.name_font_size = ScaledFloat(scale, kNameFontFactor, kMinNameFont);
  m.initial_font_size = ScaledFloat(scale, kInitialFontFactor, kMinInitialFont);
  m.pill_height = ScaledFloat(scale, kPillHeightFactor, kMinPillHeight);
  m.text_inset = ScaledFloat(scale, kTextInsetFactor, kMinTextInset);
  m.window_width = std::max(kMinWindowWidth, Rounded(kWindowWidthFactor * scale));
  m.screen_margin = std::max(kMinScreenMargin, Rounded(kScreenMarginFactor * scale));
  return m;
}

OverlayAlphaLevels ComputeAlphaLevels(double opacity) {
  OverlayAlphaLevels levels;
  levels.pill = Level(opacity, kPillAlpha);
  levels.speaking_pill = Level(opacity, kSpeakingPillAlpha);
  levels.avatar = Level(opacity, kAvatarAlpha);
  levels.text = Level(opacity, kTextAlpha);
  levels.muted_text = static_cast<int>(levels.text * kMutedTextShare);
  return levels;
}

MemberColors ComputeMemberColors(bool speaking, bool muted, const OverlayAlphaLevels& levels) {
  MemberColors colors;
  if (speaking) {
    colors.ring = kSpeakingRing;
    colors.placeholder = kSpeakingPlaceholder;
    colors.initial = kSpeakingInitial;
    colors.pill = WithAlpha(levels.speaking_pill, kSpeakingPillRgb);
    colors.text = kSpeakingText;
  } else {
    colors.placeholder = WithAlpha(levels.avatar, kPlaceholderRgb);
    colors.initial = WithAlpha(levels.text, kInitialRgb);
    colors.pill = WithAlpha(levels.pill, kPillRgb);
    colors.text = WithAlpha(levels.text, kTextRgb);
  }
  if (muted) {
    colors.text = WithAlpha(levels.muted_text, kMutedTextRgb);
  }
  return colors;
}

int OverlayWindowHeight(const OverlayMetrics& metrics, std::size_t member_count) {
  const int rows = static_cast<int>(std::max<std::size_t>(1, member_count));
  return metrics.row_height * rows + 2 * metrics.edge_space;
}

float RowCentre(const OverlayMetrics& metrics, int index) {
  const int row_top = metrics.edge_space + index * metrics.row_height;
  return static_cast<float>(row_top + metrics.row_height * 0.5);
}

std::u16string MemberInitial(const std::u16string& name) {
  if (name.empty()) {
    return kUnknownInitial;
  }
  for (char16_t unit : name) {
    if (unit != kSpace && unit != kOpeningParenthesis) {
      return std::u16string(1, unit);
    }
  }
  return std::u16string(1, name.front());
}

std::u16string MemberLabel(const std::u16string& name, bool muted) {
  return muted ? name + kMutedMarker : name;
}

PillGeometry ComputePill(const OverlayMetrics& metrics, float row_centre, float text_width,
                         int bitmap_width) {
  PillGeometry pill;
  const float widest =
      static_cast<float>(bitmap_width - metrics.avatar_diameter - kPillRightReserve);
  pill.width = std::min(std::max(2 * metrics.text_inset + text_width, kMinPillWidth), widest);
  pill.left = static_cast<float>(metrics.avatar_diameter) + kPillGap;
  pill.height = metrics.pill_height;
  pill.top = row_centre - pill.height * 0.5f;
  return pill;
}

float AvatarAlphaFactor(const OverlayAlphaLevels& levels) {
  return static_cast<float>(levels.avatar) / 255.0f;
}
