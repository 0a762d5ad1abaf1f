// Drawing of the member rows and the push to the layered window. Shapes and
// texts come as cached coverage masks and pictures pre-scaled, so a frame
// only colours and composites them.
#include <algorithm>
#include <iterator>
#include <mutex>
#include <vector>

#include "overlay/gdi_handles.h"
#include "overlay/overlay_canvas.h"
#include "overlay/overlay_layout.h"
#include "overlay/overlay_mask_cache.h"
#include "overlay/voice_overlay.h"

namespace {

constexpr BYTE kOpaque = 255;

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

  ScreenDc screen;
  bool whole = false;
  if (!surface || surface->width() != w || surface->height() != h) {
    surface.reset();
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
  frame_pixels.assign(static_cast<std::size_t>(w) * h, 0u);
  OverlayCanvas canvas{w, h, frame_pixels.data()};

  // Every row is the first one moved down by whole rows.
  const float cy = RowCentre(metrics, 0);
  const float ay = cy - diameter * 0.5f;
  const CoverageMask disc = DiscMask(diameter * 0.5f, cy, diameter * 0.5f);
  const CoverageMask ring =
      RingMask(diameter * 0.5f, cy, diameter * 0.5f + kRingOutset, kRingPenWidth);
  for (int i = 0; i < static_cast<int>(members.size()); ++i) {
    const OverlayMember& member = members[i];
    const int offset = i * metrics.row_height;
    const MemberColors colors = ComputeMemberColors(member.speaking, member.muted, levels);
    if (member.speaking) {
      FillMask(canvas, ring, offset, colors.ring);
    }
    if (const ScaledAvatar* picture = GetAvatar(member.avatar_url, metrics.avatar_diameter)) {
      DrawClippedPicture(canvas, picture->pixels.data(), picture->size, 0,
                         static_cast<int>(ay + 0.5f) + offset, disc, offset,
                         member.speaking ? kOpaque : levels.avatar);
    } else {
      FillMask(canvas, disc, offset, colors.placeholder);
      FillMask(canvas, masks->Initial(MemberInitial(member.name), 0.0f, ay, diameter), offset,
               colors.initial);
    }
    const std::u16string label = MemberLabel(member.name, member.muted);
    const PillGeometry pill = ComputePill(metrics, cy, masks->LabelWidth(label), w);
    FillMask(canvas, masks->Capsule(pill.left, pill.top, pill.width, pill.height), offset,
             colors.pill);
    FillMask(canvas,
             masks->Label(label, pill.left + metrics.text_inset, pill.top,
                          pill.width - 2 * metrics.text_inset, pill.height),
             offset, colors.text);
  }

  // Only the rectangle around the pixels that differ from what the window
  // shows is pushed.
  RECT dirty{w, h, 0, 0};
  for (int y = 0; y < h; ++y) {
    uint32_t* shown = surface->pixels() + static_cast<std::size_t>(y) * w;
    const uint32_t* drawn_row = frame_pixels.data() + static_cast<std::size_t>(y) * w;
    const auto [left, unused] = std::mismatch(drawn_row, drawn_row + w, shown);
    if (left == drawn_row + w) {
      continue;
    }
    const auto right = std::mismatch(std::reverse_iterator(drawn_row + w),
                                     std::reverse_iterator(left), std::reverse_iterator(shown + w))
                           .first.base();
    std::copy(left, right, shown + (left - drawn_row));
    dirty =
        RECT{std::min<LONG>(dirty.left, static_cast<LONG>(left - drawn_row)),
             std::min<LONG>(dirty.top, y), std::max<LONG>(dirty.right, right - drawn_row), y + 1};
  }
  if (dirty.left >= dirty.right && !whole && drawn && drawn->placement.x == rect.left &&
      drawn->placement.y == rect.top) {
    return;
  }
  if (whole || dirty.left >= dirty.right) {
    dirty = RECT{0, 0, w, h};
  }
  POINT destination{rect.left, rect.top};
  SIZE size{w, h};
  POINT source{0, 0};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, kOpaque, AC_SRC_ALPHA};
  UPDATELAYEREDWINDOWINFO update{
      sizeof(update), screen.get(), &destination, &size, surface->dc(), &source, 0,
      &blend,         ULW_ALPHA,    &dirty};
  UpdateLayeredWindowIndirect(overlay_window, &update);
}
