// The push of the painted rows to the layered window. The surface stays from
// frame to frame while the window's size does, so the painter draws again
// only the rows that changed, and only their rectangle is pushed.
#include <mutex>
#include <vector>

#include "overlay/gdi_handles.h"
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
  bool fresh = false;
  if (!surface || surface->width() != w || surface->height() != h) {
    surface.reset();
    ScreenDc screen;
    surface = std::make_unique<DibSurface>(screen.get(), w, h);
    fresh = true;
  }
  if (surface->pixels() == nullptr) {
    // Tried again at the next tick.
    surface.reset();
    return;
  }
  PixelRect dirty =
      painter.Paint(surface->pixels(), w, h, fresh, members, scale, opacity,
                    [this](const std::string& url, int size) { return GetAvatar(url, size); });
  if (push_whole) {
    dirty = PixelRect{0, 0, w, h};
  }
  if (dirty.right <= dirty.left || dirty.bottom <= dirty.top) {
    return;
  }
  // Without a screen device context the default palette is used, which a
  // 32-bit picture with its own alpha does not need.
  POINT destination{rect.left, rect.top};
  SIZE size{w, h};
  POINT source{0, 0};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, kOpaque, AC_SRC_ALPHA};
  RECT changed{dirty.left, dirty.top, dirty.right, dirty.bottom};
  UPDATELAYEREDWINDOWINFO update{sizeof(update), nullptr, &destination, &size,     surface->dc(),
                                 &source,        0,       &blend,       ULW_ALPHA, &changed};
  if (UpdateLayeredWindowIndirect(overlay_window, &update)) {
    push_whole = false;
  } else {
    // The window did not take the frame: the next one is pushed whole.
    push_whole = true;
  }
}
