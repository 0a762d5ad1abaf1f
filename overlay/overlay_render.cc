// Drawing of the member rows and the push to the layered window. Shapes and
// texts come as cached coverage masks and pictures pre-scaled, so a frame
// only colours and composites them, and only for the rows that changed.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "overlay/gdi_handles.h"
#include "overlay/overlay_canvas.h"
#include "overlay/overlay_layout.h"
#include "overlay/overlay_mask_cache.h"
#include "overlay/voice_overlay.h"

namespace {

constexpr BYTE kOpaque = 255;

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
  RECT extent{};
};

RECT Union(const RECT& a, const RECT& b) {
  if (IsRectEmpty(&a)) return b;
  if (IsRectEmpty(&b)) return a;
  return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
              std::max(a.bottom, b.bottom)};
}

RECT Bounds(const CoverageMask& mask, int offset) {
  return RECT{mask.left, mask.top + offset, mask.left + mask.width,
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
void Repaint(uint32_t* pixels, int width, int height, const RECT& box,
             const std::vector<RowDrawing>& rows, const CoverageMask& ring,
             const CoverageMask& disc, int avatar_alpha) {
  for (LONG y = box.top; y < box.bottom; ++y) {
    std::memset(pixels + static_cast<std::size_t>(y) * width + box.left, 0,
                static_cast<std::size_t>(box.right - box.left) * sizeof(uint32_t));
  }
  OverlayCanvas canvas{width, height, pixels, box.left, box.top, box.right, box.bottom};
  for (const RowDrawing& row : rows) {
    RECT overlap{};
    if (IntersectRect(&overlap, &row.extent, &box)) {
      DrawRow(canvas, row, ring, disc, avatar_alpha);
    }
  }
}

}  // namespace

void VoiceOverlay::Render() {
  if (overlay_window == nullptr || !gdiplus_started) {
    return;
  }
  std::vector<OverlayMember> members;
  double scale = 0;
  double opacity = 0;
  {
    std::lock_guard lock(state.state_mutex);
    members = state.members;
    scale = state.scale;
    opacity = state.opacity;
  }
  if (members.empty()) {
    return;
  }
  RECT rect{};
  GetWindowRect(overlay_window, &rect);
  const int w = rect.right - rect.left;
  const int h = rect.bottom - rect.top;
  if (w <= 0 || h <= 0) {
    return;
  }
  const OverlayMetrics metrics = ComputeMetrics(scale);
  const OverlayAlphaLevels levels = ComputeAlphaLevels(opacity);
  const auto diameter = static_cast<float>(metrics.avatar_diameter);

  bool whole = false;
  if (!surface || surface->width() != w || surface->height() != h) {
    surface.reset();
    ScreenDc screen;
    surface = std::make_unique<DibSurface>(screen.get(), w, h);
    whole = true;
  }
  if (surface->pixels() == nullptr) {
    surface.reset();
    return;
  }
  if (!masks || masks->scale() != scale) {
    masks = std::make_unique<OverlayMaskCache>(scale);
  }

  // Every row is the first one moved down by whole rows.
  const float cy = RowCentre(metrics, 0);
  const float ay = cy - diameter * 0.5f;
  const CoverageMask disc = DiscMask(diameter * 0.5f, cy, diameter * 0.5f);
  const CoverageMask ring =
      RingMask(diameter * 0.5f, cy, diameter * 0.5f + kRingOutset, kRingPenWidth);
  const RECT canvas_rect{0, 0, w, h};
  std::vector<RowDrawing> rows(members.size());
  for (std::size_t i = 0; i < members.size(); ++i) {
    RowDrawing& row = rows[i];
    row.member = &members[i];
    row.offset = static_cast<int>(i) * metrics.row_height;
    row.colors = ComputeMemberColors(row.member->speaking, row.member->muted, levels);
    row.picture = GetAvatar(row.member->avatar_url, metrics.avatar_diameter);
    RECT extent = Bounds(disc, row.offset);
    if (row.member->speaking) {
      extent = Union(extent, Bounds(ring, row.offset));
    }
    if (row.picture != nullptr) {
      row.picture_top = static_cast<int>(ay + 0.5f) + row.offset;
      extent = Union(
          extent, RECT{0, row.picture_top, row.picture->size, row.picture_top + row.picture->size});
    } else {
      row.initial = &masks->Initial(MemberInitial(row.member->name), 0.0f, ay, diameter);
      extent = Union(extent, Bounds(*row.initial, row.offset));
    }
    const std::u16string label = MemberLabel(row.member->name, row.member->muted);
    const PillGeometry pill = ComputePill(metrics, cy, masks->LabelWidth(label), w);
    row.capsule = &masks->Capsule(pill.left, pill.top, pill.width, pill.height);
    row.label = &masks->Label(label, pill.left + metrics.text_inset, pill.top,
                              pill.width - 2 * metrics.text_inset, pill.height);
    extent = Union(extent, Union(Bounds(*row.capsule, row.offset), Bounds(*row.label, row.offset)));
    IntersectRect(&row.extent, &extent, &canvas_rect);
  }

  // A row that changed is cleared and drawn again where it was and where it
  // is now, together with whatever part of a neighbour reaches there. Only
  // the rectangle around those parts is pushed.
  whole = whole || drawn_rows.size() != rows.size() || drawn_scale != scale ||
          drawn_opacity != opacity || drawn_pictures != avatar_generation;
  RECT dirty{};
  if (whole) {
    dirty = canvas_rect;
    Repaint(surface->pixels(), w, h, dirty, rows, ring, disc, levels.avatar);
  } else {
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const DrawnRow& before = drawn_rows[i];
      if (before.member == members[i] && before.picture == rows[i].picture) {
        continue;
      }
      const RECT box = Union(before.extent, rows[i].extent);
      Repaint(surface->pixels(), w, h, box, rows, ring, disc, levels.avatar);
      dirty = Union(dirty, box);
    }
  }
  drawn_rows.resize(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    drawn_rows[i] = DrawnRow{members[i], rows[i].picture, rows[i].extent};
  }
  drawn_scale = scale;
  drawn_opacity = opacity;
  drawn_pictures = avatar_generation;

  if (IsRectEmpty(&dirty)) {
    if (drawn && drawn->placement.x == rect.left && drawn->placement.y == rect.top) {
      return;
    }
    dirty = canvas_rect;
  }
  // Without a screen device context the default palette is used, which a
  // 32-bit picture with its own alpha does not need.
  POINT destination{rect.left, rect.top};
  SIZE size{w, h};
  POINT source{0, 0};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, kOpaque, AC_SRC_ALPHA};
  UPDATELAYEREDWINDOWINFO update{sizeof(update), nullptr, &destination, &size,     surface->dc(),
                                 &source,        0,       &blend,       ULW_ALPHA, &dirty};
  UpdateLayeredWindowIndirect(overlay_window, &update);
}
