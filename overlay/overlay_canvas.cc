#include "overlay/overlay_canvas.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kFull = 255;

// The pixels a shape reaching from `low` to `high` touches.
void Bound(float low, float high, int& start, int& count) {
  start = static_cast<int>(std::floor(low));
  count = static_cast<int>(std::ceil(high)) - start;
}

template <typename Coverage>
CoverageMask Rasterise(float left, float top, float right, float bottom, Coverage coverage) {
  CoverageMask mask;
  Bound(left, right, mask.left, mask.width);
  Bound(top, bottom, mask.top, mask.height);
  mask.alpha.resize(static_cast<std::size_t>(mask.width) * mask.height);
  for (int row = 0; row < mask.height; ++row) {
    for (int column = 0; column < mask.width; ++column) {
      const float share = coverage(static_cast<float>(mask.left + column) + 0.5f,
                                   static_cast<float>(mask.top + row) + 0.5f);
      mask.alpha[row * mask.width + column] =
          static_cast<uint8_t>(std::clamp(share, 0.0f, 1.0f) * kFull + 0.5f);
    }
  }
  return mask;
}

// Every channel of a premultiplied pixel times factor / 255, rounded; two
// channels at a time.
uint32_t Faded(uint32_t pixel, uint32_t factor) {
  constexpr uint32_t kLanes = 0x00FF00FF;
  constexpr uint32_t kHalf = 0x00800080;
  uint32_t red_blue = (pixel & kLanes) * factor + kHalf;
  red_blue = ((red_blue + ((red_blue >> 8) & kLanes)) >> 8) & kLanes;
  uint32_t alpha_green = ((pixel >> 8) & kLanes) * factor + kHalf;
  alpha_green = (alpha_green + ((alpha_green >> 8) & kLanes)) & ~kLanes;
  return red_blue | alpha_green;
}

// Source over destination, both premultiplied.
uint32_t Over(uint32_t source, uint32_t destination) {
  return source + Faded(destination, kFull - (source >> 24));
}

uint32_t Premultiplied(uint32_t argb) {
  const uint32_t alpha = argb >> 24;
  return Faded(argb | 0xFF000000u, alpha);
}

}  // namespace

CoverageMask DiscMask(float centre_x, float centre_y, float radius) {
  return Rasterise(
      centre_x - radius, centre_y - radius, centre_x + radius, centre_y + radius,
      [=](float x, float y) { return radius - std::hypot(x - centre_x, y - centre_y) + 0.5f; });
}

CoverageMask RingMask(float centre_x, float centre_y, float radius, float pen_width) {
  const float half = pen_width / 2;
  const float outer = radius + half;
  return Rasterise(centre_x - outer, centre_y - outer, centre_x + outer, centre_y + outer,
                   [=](float x, float y) {
                     const float distance = std::hypot(x - centre_x, y - centre_y);
                     return std::min({distance - (radius - half) + 0.5f,
                                      (radius + half) - distance + 0.5f, pen_width});
                   });
}

CoverageMask CapsuleMask(float left, float top, float width, float height) {
  const float radius = height / 2;
  const float centre_y = top + radius;
  const float first = left + radius;
  const float last = std::max(first, left + width - radius);
  return Rasterise(left, top, left + width, top + height, [=](float x, float y) {
    const float along = std::clamp(x, first, last);
    return radius - std::hypot(x - along, y - centre_y) + 0.5f;
  });
}

void FillMask(OverlayCanvas& canvas, const CoverageMask& mask, int offset_y, uint32_t argb) {
  const uint32_t colour = Premultiplied(argb);
  for (int row = 0; row < mask.height; ++row) {
    const int y = mask.top + offset_y + row;
    if (y < 0 || y >= canvas.height) continue;
    for (int column = 0; column < mask.width; ++column) {
      const int x = mask.left + column;
      const uint8_t cover = mask.alpha[row * mask.width + column];
      if (x < 0 || x >= canvas.width || cover == 0) continue;
      uint32_t& pixel = canvas.pixels[y * canvas.width + x];
      pixel = Over(cover == kFull ? colour : Faded(colour, cover), pixel);
    }
  }
}

void DrawClippedPicture(OverlayCanvas& canvas, const uint32_t* picture, int size, int x, int y,
                        const CoverageMask& clip, int offset_y, int alpha) {
  for (int row = 0; row < size; ++row) {
    const int canvas_y = y + row;
    const int clip_row = canvas_y - offset_y - clip.top;
    if (canvas_y < 0 || canvas_y >= canvas.height || clip_row < 0 || clip_row >= clip.height)
      continue;
    for (int column = 0; column < size; ++column) {
      const int canvas_x = x + column;
      const int clip_column = canvas_x - clip.left;
      if (canvas_x < 0 || canvas_x >= canvas.width || clip_column < 0 ||
          clip_column >= clip.width) {
        continue;
      }
      const uint32_t cover =
          clip.alpha[clip_row * clip.width + clip_column] * static_cast<uint32_t>(alpha) / kFull;
      if (cover == 0) continue;
      uint32_t& pixel = canvas.pixels[canvas_y * canvas.width + canvas_x];
      pixel = Over(Faded(picture[row * size + column], cover), pixel);
    }
  }
}
