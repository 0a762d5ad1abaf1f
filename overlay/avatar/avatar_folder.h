#ifndef VELMO_OVERLAY_AVATAR_AVATAR_FOLDER_H_
#define VELMO_OVERLAY_AVATAR_AVATAR_FOLDER_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The avatar folder's bounds: nothing outside this program reads it, so it
// keeps only what recent sessions drew.
inline constexpr std::size_t kMostStoredAvatars = 256;
inline constexpr uint64_t kMostStoredAvatarBytes = 64u << 20;
// A download lands under its name plus this first, and takes the real name
// only once it decodes; one left over this long was cut off by a crash.
inline constexpr char kPartialSuffix[] = ".part";
inline constexpr std::chrono::seconds kStalePartialAge{60};

struct AvatarFolderEntry {
  std::string name;
  uint64_t bytes = 0;
  std::chrono::seconds age{0};  // since it was last written or used
};

// The files to remove so that the folder holds at most kMostStoredAvatars
// pictures and kMostStoredAvatarBytes, the longest unused first, together
// with files of the old naming and stale partial downloads. Files of other
// names are not this program's and stay.
std::vector<std::string> PlanAvatarTidy(std::vector<AvatarFolderEntry> files);

// A stored file: the address's length (4 bytes, little-endian), the address,
// then the picture as downloaded.
std::vector<uint8_t> StoredAvatar(std::string_view url, std::span<const uint8_t> picture);
// The picture in a stored file, only when the file records `url`.
std::optional<std::span<const uint8_t>> StoredPicture(std::span<const uint8_t> file,
                                                      std::string_view url);

#endif  // VELMO_OVERLAY_AVATAR_AVATAR_FOLDER_H_
