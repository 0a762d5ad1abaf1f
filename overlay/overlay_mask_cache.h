#ifndef VELMO_OVERLAY_OVERLAY_MASK_CACHE_H_
#define VELMO_OVERLAY_OVERLAY_MASK_CACHE_H_

#include <map>
#include <string>
#include <tuple>
#include <unordered_map>

#include "overlay/gdiplus_include.h"
#include "overlay/overlay_canvas.h"
#include "overlay/overlay_layout.h"

// The coverage of the texts and pills of one scale, each rasterised once:
// a frame then only colours and composites them, whatever the colours, so
// a redraw costs no text layout. GDI+ lays the texts out.
class OverlayMaskCache {
 public:
  explicit OverlayMaskCache(double scale);

  OverlayMaskCache(const OverlayMaskCache&) = delete;
  OverlayMaskCache& operator=(const OverlayMaskCache&) = delete;

  double scale() const { return scale_; }
  // The label's width in the name font, unbounded.
  float LabelWidth(const std::u16string& label);
  // The label in the box, ellipsis-trimmed, never wrapped.
  const CoverageMask& Label(const std::u16string& label, float left, float top, float width,
                            float height);
  // The initial centred in the square.
  const CoverageMask& Initial(const std::u16string& initial, float left, float top, float size);
  const CoverageMask& Capsule(float left, float top, float width, float height);

 private:
  // Enough for many member lists; beyond it everything is laid out afresh.
  static constexpr std::size_t kMostMasks = 256;
  using Key = std::tuple<std::u16string, float, float, float, float>;

  CoverageMask RenderText(const std::u16string& text, const Gdiplus::Font& font,
                          const Gdiplus::StringFormat& format, float left, float top, float width,
                          float height) const;
  const CoverageMask& Keep(std::map<Key, CoverageMask>& masks, Key key, CoverageMask mask);

  double scale_;
  OverlayMetrics metrics_;
  Gdiplus::FontFamily family_;
  Gdiplus::Font name_font_;
  Gdiplus::Font initial_font_;
  Gdiplus::StringFormat name_format_;
  Gdiplus::StringFormat initial_format_;
  Gdiplus::Bitmap measure_bitmap_{1, 1, PixelFormat32bppPARGB};
  std::unordered_map<std::u16string, float> widths_;
  std::map<Key, CoverageMask> labels_;
  std::map<Key, CoverageMask> initials_;
  std::map<Key, CoverageMask> capsules_;
};

#endif  // VELMO_OVERLAY_OVERLAY_MASK_CACHE_H_
