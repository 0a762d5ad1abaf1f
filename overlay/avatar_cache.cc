// Avatar pictures on the main thread: the cache of scaled pictures and the
// requests to the fetcher.
#include <algorithm>
#include <mutex>

#include "overlay/overlay_layout.h"
#include "overlay/voice_overlay.h"

const ScaledAvatar* VoiceOverlay::GetAvatar(const std::string& url, int size) {
  if (url.empty() || !gdiplus_started) {
    return nullptr;
  }
  if (const auto found = avatar_cache.find(url);
      found != avatar_cache.end() && found->second.picture.size == size) {
    found->second.last_used = ++avatar_uses;
    return &found->second.picture;
  }
  // Another size is fetched again from the stored file, never resampled here.
  if (fetcher) {
    fetcher->Request(url, size);
  }
  return nullptr;
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

void VoiceOverlay::OnAvatarsReady() {
  if (!fetcher) {
    return;
  }
  std::vector<AvatarFetchResult> results = fetcher->TakeResults();
  if (results.empty()) {
    return;
  }
  for (AvatarFetchResult& result : results) {
    CachedAvatar& entry = avatar_cache[result.url];
    entry.picture = std::move(*result.picture);
    entry.last_used = ++avatar_uses;
  }
  while (avatar_cache.size() > kAvatarCacheSize) {
    avatar_cache.erase(std::min_element(
        avatar_cache.begin(), avatar_cache.end(),
        [](const auto& a, const auto& b) { return a.second.last_used < b.second.last_used; }));
  }
  ++avatar_generation;
  Refresh();
}
