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

// Offsets from a run's start of the part of [start, start + count) inside
// [low, high) and [0, size).
struct Span {
  int first = 0;
  int last = 0;
};

Span Visible(int start, int count, int low, int high, int size) {
  const int from = std::max({0, low, start});
  const int to = std::min({size, high, start + count});
  return Span{from - start, std::max(from, to) - start};
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
  const int top = mask.top + offset_y;
  const Span rows = Visible(top, mask.height, canvas.clip_top, canvas.clip_bottom, canvas.height);
  const Span columns =
      Visible(mask.left, mask.width, canvas.clip_left, canvas.clip_right, canvas.width);
  for (int row = rows.first; row < rows.last; ++row) {
    const uint8_t* cover = mask.alpha.data() + static_cast<std::size_t>(row) * mask.width;
    uint32_t* line = canvas.pixels + static_cast<std::size_t>(top + row) * canvas.width;
    for (int column = columns.first; column < columns.last; ++column) {
      if (cover[column] == 0) continue;
      uint32_t& pixel = line[mask.left + column];
      pixel = Over(cover[column] == kFull ? colour : Faded(colour, cover[column]), pixel);
    }
  }
}

void DrawClippedPicture(OverlayCanvas& canvas, const uint32_t* picture, int size, int x, int y,
                        const CoverageMask& clip, int offset_y, int alpha) {
  // The picture's rows and columns that are on the canvas, inside its clip
  // rectangle and inside the clip mask.
  const int clip_top = clip.top + offset_y;
  Span rows = Visible(y, size, canvas.clip_top, canvas.clip_bottom, canvas.height);
  rows.first = std::max(rows.first, clip_top - y);
  rows.last = std::min(rows.last, clip_top + clip.height - y);
  Span columns = Visible(x, size, canvas.clip_left, canvas.clip_right, canvas.width);
  columns.first = std::max(columns.first, clip.left - x);
  columns.last = std::min(columns.last, clip.left + clip.width - x);
  for (int row = rows.first; row < rows.last; ++row) {
    const int canvas_y = y + row;
    const uint8_t* cover =
        clip.alpha.data() + static_cast<std::size_t>(canvas_y - clip_top) * clip.width;
    for (int column = columns.first; column < columns.last; ++column) {
      const int canvas_x = x + column;
      const uint32_t share = cover[canvas_x - clip.left] * static_cast<uint32_t>(alpha) / kFull;
      if (share == 0) continue;
      uint32_t& pixel = canvas.pixels[static_cast<std::size_t>(canvas_y) * canvas.width + canvas_x];
      pixel = Over(Faded(picture[row * size + column], share), pixel);
    }
  }
}
