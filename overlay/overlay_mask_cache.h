#ifndef VELMO_OVERLAY_OVERLAY_MASK_CACHE_H_
#define VELMO_OVERLAY_OVERLAY_MASK_CACHE_H_

#include <cstddef>
#include <memory>
#include <string>
#include <tuple>

#include "overlay/frame_cache.h"
#include "overlay/overlay_canvas.h"

// Lays out and rasterises the overlay's texts at one scale: the name font
// for labels, the bold initial font for placeholders.
class OverlayTextRasteriser {
 public:
  virtual ~OverlayTextRasteriser() = default;
  // The label's width in the name font, unbounded.
  virtual float LabelWidth(const std::u16string& label) = 0;
  // The label in the box, ellipsis-trimmed, never wrapped.
  virtual CoverageMask Label(const std::u16string& label, float left, float top, float width,
                             float height) = 0;
  // The initial centred in the square.
  virtual CoverageMask Initial(const std::u16string& initial, float left, float top,
                               float size) = 0;
};

// The coverage of the texts and pills of one scale, each rasterised once:
// a frame then only colours and composites them, whatever the colours, so a
// redraw costs no text layout. A mask handed out stays valid until
// EndFrame, which ends the frame and only then makes room.
class OverlayMaskCache {
 public:
  // Enough for many member lists; the longest unused go beyond it.
  static constexpr std::size_t kMostMasks = 256;

  OverlayMaskCache(double scale, std::unique_ptr<OverlayTextRasteriser> text);

  double scale() const { return scale_; }
  float LabelWidth(const std::u16string& label);
  const CoverageMask& Label(const std::u16string& label, float left, float top, float width,
                            float height);
  const CoverageMask& Initial(const std::u16string& initial, float left, float top, float size);
  const CoverageMask& Capsule(float left, float top, float width, float height);
  void EndFrame();

 private:
  using Key = std::tuple<std::u16string, float, float, float, float>;

  double scale_;
  std::unique_ptr<OverlayTextRasteriser> text_;
  FrameCache<std::u16string, float> widths_{kMostMasks};
  FrameCache<Key, CoverageMask> labels_{kMostMasks};
  FrameCache<Key, CoverageMask> initials_{kMostMasks};
  FrameCache<Key, CoverageMask> capsules_{kMostMasks};
};

#endif  // VELMO_OVERLAY_OVERLAY_MASK_CACHE_H_
