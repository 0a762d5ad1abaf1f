#include "overlay/overlay_painter.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "overlay/overlay_layout.h"

namespace {

constexpr int kOpaque = 255;

// One member's row: what it draws, moved down by `offset`, and the pixels it
// touches.
struct RowDrawing {
  const OverlayMember* member = nullptr;
  MemberColors colors;
  const ScaledAvatar* picture = nullptr;
  int picture_top = 0;
  const CoverageMask* initial = nullptr;
  const CoverageMask* capsule = nullptr;
  const CoverageMask* label = nullptr;
  int offset = 0;
  PixelRect extent;
};

bool IsEmpty(const PixelRect& r) { return r.right <= r.left || r.bottom <= r.top; }

PixelRect Union(const PixelRect& a, const PixelRect& b) {
  if (IsEmpty(a)) return b;
  if (IsEmpty(b)) return a;
  return PixelRect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                   std::max(a.bottom, b.bottom)};
}

PixelRect Intersection(const PixelRect& a, const PixelRect& b) {
  const PixelRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                    std::min(a.bottom, b.bottom)};
  return IsEmpty(r) ? PixelRect{} : r;
}

PixelRect Bounds(const CoverageMask& mask, int offset) {
  return PixelRect{mask.left, mask.top + offset, mask.left + mask.width,
                   mask.top + offset + mask.height};
}

void DrawRow(OverlayCanvas& canvas, const RowDrawing& row, const CoverageMask& ring,
             const CoverageMask& disc, int avatar_alpha) {
  if (row.member->speaking) {
    FillMask(canvas, ring, row.offset, row.colors.ring);
  }
  if (row.picture != nullptr) {
    DrawClippedPicture(canvas, row.picture->pixels.data(), row.picture->size, 0, row.picture_top,
                       disc, row.offset, row.member->speaking ? kOpaque : avatar_alpha);
  } else {
    FillMask(canvas, disc, row.offset, row.colors.placeholder);
    FillMask(canvas, *row.initial, row.offset, row.colors.initial);
  }
  FillMask(canvas, *row.capsule, row.offset, row.colors.pill);
  FillMask(canvas, *row.label, row.offset, row.colors.text);
}

// Clears `box` of the surface and draws there every row that reaches into it.
void Repaint(uint32_t* pixels, int width, int height, const PixelRect& box,
             const std::vector<RowDrawing>& rows, const CoverageMask& ring,
             const CoverageMask& disc, int avatar_alpha) {
  for (int y = box.top; y < box.bottom; ++y) {
    std::memset(pixels + static_cast<std::size_t>(y) * width + box.left, 0,
                static_cast<std::size_t>(box.right - box.left) * sizeof(uint32_t));
  }
  OverlayCanvas canvas{width, height, pixels, box.left, box.top, box.right, box.bottom};
  for (const RowDrawing& row : rows) {
    if (!IsEmpty(Intersection(row.extent, box))) {
      DrawRow(canvas, row, ring, disc, avatar_alpha);
    }
  }
}

}  // namespace

OverlayPainter::OverlayPainter(OverlayTextFactory make_text) : make_text_(std::move(make_text)) {}

PixelRect OverlayPainter::Paint(uint32_t* pixels, int width, int height, bool fresh,
                                const std::vector<OverlayMember>& members, double scale,
                                double opacity, const OverlayPictureLookup& picture) {
  const OverlayMetrics metrics = ComputeMetrics(scale);
  const OverlayAlphaLevels levels = ComputeAlphaLevels(opacity);
  const auto diameter = static_cast<float>(metrics.avatar_diameter);
  // Every row is the first one moved down by whole rows.
  const float cy = RowCentre(metrics, 0);
  const float ay = cy - diameter * 0.5f;
  if (!masks_ || masks_->texts.scale() != scale) {
    masks_.reset(new Masks{
        OverlayMaskCache(scale, make_text_(scale)), DiscMask(diameter * 0.5f, cy, diameter * 0.5f),
        RingMask(diameter * 0.5f, cy, diameter * 0.5f + kRingOutset, kRingPenWidth)});
  }
  OverlayMaskCache& texts = masks_->texts;
  const CoverageMask& disc = masks_->disc;
  const CoverageMask& ring = masks_->ring;
  const PixelRect canvas_rect{0, 0, width, height};
  std::vector<RowDrawing> rows(members.size());
  for (std::size_t i = 0; i < members.size(); ++i) {
    RowDrawing& row = rows[i];
    row.member = &members[i];
    row.offset = static_cast<int>(i) * metrics.row_height;
    row.colors = ComputeMemberColors(row.member->speaking, row.member->muted, levels);
    row.picture = row.member->avatar_url.empty()
                      ? nullptr
                      : picture(row.member->avatar_url, metrics.avatar_diameter);
    PixelRect extent = Bounds(disc, row.offset);
    if (row.member->speaking) {
      extent = Union(extent, Bounds(ring, row.offset));
    }
    if (row.picture != nullptr) {
      row.picture_top = static_cast<int>(ay + 0.5f) + row.offset;
      extent = Union(extent, PixelRect{0, row.picture_top, row.picture->size,
                                       row.picture_top + row.picture->size});
    } else {
      row.initial = &texts.Initial(MemberInitial(row.member->name), 0.0f, ay, diameter);
      extent = Union(extent, Bounds(*row.initial, row.offset));
    }
    const std::u16string label = MemberLabel(row.member->name, row.member->muted);
    const PillGeometry pill = ComputePill(metrics, cy, texts.LabelWidth(label), width);
    row.capsule = &texts.Capsule(pill.left, pill.top, pill.width, pill.height);
    row.label = &texts.Label(label, pill.left + metrics.text_inset, pill.top,
                             pill.width - 2 * metrics.text_inset, pill.height);
    extent = Union(extent, Union(Bounds(*row.capsule, row.offset), Bounds(*row.label, row.offset)));
    row.extent = Intersection(extent, canvas_rect);
  }

  // A row that changed is cleared and drawn again where it was and where it
  // is now, together with whatever part of a neighbour reaches there.
  const bool whole = fresh || !painted_ || painted_->width != width || painted_->height != height ||
                     painted_->rows.size() != rows.size() || painted_->scale != scale ||
                     painted_->opacity != opacity;
  PixelRect dirty;
  if (whole) {
    dirty = canvas_rect;
    Repaint(pixels, width, height, dirty, rows, ring, disc, levels.avatar);
  } else {
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const PaintedRow& before = painted_->rows[i];
      const uint64_t serial = rows[i].picture != nullptr ? rows[i].picture->serial : 0;
      if (before.member == members[i] && before.picture == serial) {
        continue;
      }
      const PixelRect box = Union(before.extent, rows[i].extent);
      Repaint(pixels, width, height, box, rows, ring, disc, levels.avatar);
      dirty = Union(dirty, box);
    }
  }
  Painted painted{width, height, scale, opacity, {}};
  painted.rows.reserve(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    painted.rows.push_back(PaintedRow{
        members[i], rows[i].picture != nullptr ? rows[i].picture->serial : 0, rows[i].extent});
  }
  painted_ = std::move(painted);
  // Only now, with no mask of this frame in use any more.
  texts.EndFrame();
  return dirty;
}
