#include "overlay/avatar/avatar_memory.h"

#include <algorithm>
#include <cmath>
#include <utility>

AvatarMemory::Found AvatarMemory::Find(const std::string& url, int size) {
  const auto found = entries_.find(url);
  if (found == entries_.end() || size <= 0) {
    return {};
  }
  Entry& entry = found->second;
  entry.last_used = ++uses_;
  if (entry.picture.size != size) {
    entry.picture = RescaleAvatar(entry.picture, size);
    entry.picture.serial = ++serials_;
    entry.exact = false;
  }
  return Found{&entry.picture, entry.exact};
}

void AvatarMemory::Take(const std::string& url, ScaledAvatar picture) {
  Entry& entry = entries_[url];
  entry.picture = std::move(picture);
  entry.picture.serial = ++serials_;
  entry.exact = true;
  entry.last_used = ++uses_;
}

void AvatarMemory::Trim() {
  while (entries_.size() > kMostPictures) {
    entries_.erase(std::min_element(
        entries_.begin(), entries_.end(),
        [](const auto& a, const auto& b) { return a.second.last_used < b.second.last_used; }));
  }
}

ScaledAvatar RescaleAvatar(const ScaledAvatar& picture, int size) {
  ScaledAvatar out{size, std::vector<uint32_t>(static_cast<std::size_t>(size) * size), 0};
  const int from = picture.size;
  if (from <= 0 || picture.pixels.size() < static_cast<std::size_t>(from) * from) {
    return out;
  }
  const float step = static_cast<float>(from) / static_cast<float>(size);
  const auto sample = [&](int x, int y) {
    return picture.pixels[static_cast<std::size_t>(std::clamp(y, 0, from - 1)) * from +
                          std::clamp(x, 0, from - 1)];
  };
  for (int y = 0; y < size; ++y) {
    const float sy = (static_cast<float>(y) + 0.5f) * step - 0.5f;
    const int y0 = static_cast<int>(std::floor(sy));
    const float fy = sy - static_cast<float>(y0);
    for (int x = 0; x < size; ++x) {
      const float sx = (static_cast<float>(x) + 0.5f) * step - 0.5f;
      const int x0 = static_cast<int>(std::floor(sx));
      const float fx = sx - static_cast<float>(x0);
      const uint32_t corners[4] = {sample(x0, y0), sample(x0 + 1, y0), sample(x0, y0 + 1),
                                   sample(x0 + 1, y0 + 1)};
      const float weights[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
      uint32_t pixel = 0;
      for (int shift = 0; shift < 32; shift += 8) {
        float channel = 0;
        for (int i = 0; i < 4; ++i) {
          channel += static_cast<float>((corners[i] >> shift) & 0xFF) * weights[i];
        }
        pixel |= static_cast<uint32_t>(std::min(channel + 0.5f, 255.0f)) << shift;
      }
      out.pixels[static_cast<std::size_t>(y) * size + x] = pixel;
    }
  }
  return out;
}
