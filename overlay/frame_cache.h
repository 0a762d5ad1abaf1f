#ifndef VELMO_OVERLAY_FRAME_CACHE_H_
#define VELMO_OVERLAY_FRAME_CACHE_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

// Values made on demand and kept from frame to frame. A frame may hold
// references to many entries at once while it draws, so nothing is evicted
// while a frame runs: only EndFrame makes room, and it keeps every entry the
// ending frame used. Once a quarter past `capacity`, it drops the longest
// unused down to `capacity`, so the sweep is paid once per many frames.
template <typename Key, typename Value>
class FrameCache {
 public:
  explicit FrameCache(std::size_t capacity) : capacity_(capacity) {}

  FrameCache(const FrameCache&) = delete;
  FrameCache& operator=(const FrameCache&) = delete;

  // The entry for `key`, made by `make()` when missing; the reference stays
  // valid at least until EndFrame.
  template <typename Make>
  const Value& Get(const Key& key, Make&& make) {
    auto found = entries_.find(key);
    if (found == entries_.end()) {
      found = entries_.emplace(key, Entry{make(), frame_}).first;
    } else {
      found->second.last_frame = frame_;
    }
    return found->second.value;
  }

  void EndFrame() {
    if (entries_.size() > capacity_ + capacity_ / 4) {
      std::vector<typename Entries::iterator> unused;
      for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->second.last_frame != frame_) unused.push_back(it);
      }
      const std::size_t drop = std::min(unused.size(), entries_.size() - capacity_);
      std::nth_element(
          unused.begin(), unused.begin() + static_cast<std::ptrdiff_t>(drop), unused.end(),
          [](const auto& a, const auto& b) { return a->second.last_frame < b->second.last_frame; });
      for (std::size_t i = 0; i < drop; ++i) entries_.erase(unused[i]);
    }
    ++frame_;
  }

  std::size_t size() const { return entries_.size(); }

 private:
  struct Entry {
    Value value;
    uint64_t last_frame = 0;
  };
  using Entries = std::map<Key, Entry>;

  std::size_t capacity_;
  uint64_t frame_ = 0;
  Entries entries_;
};

#endif  // VELMO_OVERLAY_FRAME_CACHE_H_
