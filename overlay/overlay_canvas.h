#ifndef VELMO_OVERLAY_OVERLAY_CANVAS_H_
#define VELMO_OVERLAY_OVERLAY_CANVAS_H_

#include <cstdint>
#include <limits>
#include <vector>

// A frame's pixels: premultiplied ARGB, rows top to bottom, as a layered
// window takes them. Drawing touches only the pixels inside the clip
// rectangle [clip_left, clip_right) x [clip_top, clip_bottom), so part of a
// frame can be drawn again without blending twice over the rest.
struct OverlayCanvas {
  int width = 0;
  int height = 0;
  uint32_t* pixels = nullptr;
  int clip_left = 0;
  int clip_top = 0;
  int clip_right = std::numeric_limits<int>::max();
  int clip_bottom = std::numeric_limits<int>::max();
};

// How much of each pixel a shape or a text covers, 0 to 255, over a
// rectangle placed at (left, top).
struct CoverageMask {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  std::vector<uint8_t> alpha;
};

// Anti-aliased shapes, measured from each pixel's centre.
CoverageMask DiscMask(float centre_x, float centre_y, float radius);
CoverageMask RingMask(float centre_x, float centre_y, float radius, float pen_width);
// A capsule: the rectangle with semicircular ends of its height's diameter.
CoverageMask CapsuleMask(float left, float top, float width, float height);

// Composites `argb` (straight alpha) through `mask`, moved down by `offset_y`,
// source over what is there.
void FillMask(OverlayCanvas& canvas, const CoverageMask& mask, int offset_y, uint32_t argb);

// Composites a premultiplied square picture whose top-left pixel lands on
// (x, y), clipped by `clip` (moved down by `offset_y`) and faded by
// `alpha` / 255.
void DrawClippedPicture(OverlayCanvas& canvas, const uint32_t* picture, int size, int x, int y,
                        const CoverageMask& clip, int offset_y, int alpha);

#endif  // VELMO_OVERLAY_OVERLAY_CANVAS_H_
