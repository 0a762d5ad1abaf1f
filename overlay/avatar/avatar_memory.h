#ifndef VELMO_OVERLAY_AVATAR_AVATAR_MEMORY_H_
#define VELMO_OVERLAY_AVATAR_AVATAR_MEMORY_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "overlay/avatar/avatar_fetcher.h"

// Pictures in memory by address, each scaled to the square it is drawn in.
// Find may be called while a frame holds pictures it returned: it never
// drops one, and changes only the picture of the address it is asked for.
// Take and Trim run between frames.
class AvatarMemory {
 public:
  static constexpr std::size_t kMostPictures = 64;

  struct Found {
    const ScaledAvatar* picture = nullptr;  // valid until the next Take or Trim
    bool exact = false;  // false: none, or one of another size rescaled to stand in
  };

  // The address's picture at `size`. One held at another size (the scale
  // changed) is rescaled here and stands in until the exact one comes.
  Found Find(const std::string& url, int size);
  // Holds a fetched picture for the address in place of the one there.
  void Take(const std::string& url, ScaledAvatar picture);
  // Drops the least recently found beyond kMostPictures.
  void Trim();
  void Clear() { entries_.clear(); }

 private:
  struct Entry {
    ScaledAvatar picture;
    bool exact = false;
    uint64_t last_used = 0;
  };

  std::unordered_map<std::string, Entry> entries_;
  uint64_t uses_ = 0;
  uint64_t serials_ = 0;
};

// The picture resampled to `size` × `size` (bilinear, premultiplied).
ScaledAvatar RescaleAvatar(const ScaledAvatar& picture, int size);

#endif  // VELMO_OVERLAY_AVATAR_AVATAR_MEMORY_H_
