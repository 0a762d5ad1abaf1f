#ifndef VELMO_OVERLAY_OVERLAY_PAINTER_H_
#define VELMO_OVERLAY_OVERLAY_PAINTER_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "overlay/avatar/avatar_fetcher.h"
#include "overlay/overlay_mask_cache.h"
#include "overlay/overlay_state.h"
#include "overlay/overlay_visibility.h"

// The picture for an address at a size, or null; what it returns must stay
// valid until Paint returns.
using OverlayPictureLookup = std::function<const ScaledAvatar*(const std::string& url, int size)>;
using OverlayTextFactory = std::function<std::unique_ptr<OverlayTextRasteriser>(double scale)>;

// Paints the member rows into the pixels the window shows and remembers what
// it painted there, so that a frame draws again only the rows that changed:
// the one record of what the surface holds.
class OverlayPainter {
 public:
  explicit OverlayPainter(OverlayTextFactory make_text);

  // Paints `members` into `pixels` (premultiplied ARGB, `width` × `height`,
  // holding what the last call painted unless `fresh`) and returns the
  // rectangle whose pixels changed, empty when none did.
  PixelRect Paint(uint32_t* pixels, int width, int height, bool fresh,
                  const std::vector<OverlayMember>& members, double scale, double opacity,
                  const OverlayPictureLookup& picture);
  // Lets go of what was painted and of the texts laid out (before the text
  // system goes away): the next frame is painted whole.
  void Forget() {
    painted_.reset();
    masks_.reset();
  }

 private:
  struct PaintedRow {
    OverlayMember member;
    uint64_t picture = 0;  // serial of the picture drawn, 0 for the placeholder
    PixelRect extent;      // every pixel the row touches
  };
  struct Painted {
    int width = 0;
    int height = 0;
    double scale = 0;
    double opacity = 0;
    std::vector<PaintedRow> rows;
  };

  // The masks of one scale: the texts and pills, and the avatar's disc and
  // speaking ring, which every row shares.
  struct Masks {
    OverlayMaskCache texts;
    CoverageMask disc;
    CoverageMask ring;
  };

  OverlayTextFactory make_text_;
  std::unique_ptr<Masks> masks_;
  std::optional<Painted> painted_;
};

#endif  // VELMO_OVERLAY_OVERLAY_PAINTER_H_
