// Avatar pictures on the main thread: the pictures in memory and the
// requests to the fetcher.
#include <mutex>

#include "overlay/overlay_layout.h"
#include "overlay/voice_overlay.h"

const ScaledAvatar* VoiceOverlay::GetAvatar(const std::string& url, int size) {
  if (url.empty() || !gdiplus_started) {
    return nullptr;
  }
  const AvatarMemory::Found found = avatars.Find(url, size);
  if (!found.exact && fetcher) {
    fetcher->Request(url, size);
  }
  return found.picture;
}

void VoiceOverlay::RequestAvatar(const std::string& url) {
  if (!fetcher) {
    return;
  }
  double scale = 0;
  {
    std::lock_guard lock(state.state_mutex);
    scale = state.scale;
  }
  GetAvatar(url, ComputeMetrics(scale).avatar_diameter);
}

bool VoiceOverlay::DrainAvatars() {
  if (!fetcher) {
    return false;
  }
  std::vector<AvatarFetchResult> results = fetcher->TakeResults();
  for (AvatarFetchResult& result : results) {
    if (result.picture) {
      avatars.Take(result.url, std::move(*result.picture));
    }
  }
  avatars.Trim();
  return !results.empty();
}

void VoiceOverlay::OnAvatarsReady() {
  if (DrainAvatars()) {
    Refresh();
  }
}
