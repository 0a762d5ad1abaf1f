#include "overlay/overlay_state.h"

#include <algorithm>

OverlaySnapshot TakeSnapshot(OverlayState& state) {
  std::lock_guard lock(state.state_mutex);
  return OverlaySnapshot{state.enabled, state.active,   state.scale,
                         state.opacity, state.position, state.members};
}

double ClampScale(double scale) {
  return std::max(std::min(kMaxOverlayScale, scale), kMinOverlayScale);
}

double ClampOpacity(double opacity) {
  return std::max(std::min(kMaxOverlayOpacity, opacity), kMinOverlayOpacity);
}
