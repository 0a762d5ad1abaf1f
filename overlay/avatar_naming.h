#ifndef VELMO_OVERLAY_AVATAR_NAMING_H_
#define VELMO_OVERLAY_AVATAR_NAMING_H_

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr char kAvatarFolderName[] = "velmo_voice_overlay";

// 32-bit FNV-1a over the bytes.
uint32_t Fnv1a32(std::string_view bytes);

// "a_" + the address's hash in eight lower-case hex digits + ".img". Files on
// disk from earlier runs are found by this name, so it must not change, even
// though two addresses whose hashes collide share one file.
std::string AvatarFileName(std::string_view url);

// Only http:// and https:// addresses are fetched, scheme case-sensitive.
bool IsFetchableAvatarUrl(std::string_view url);

#endif  // VELMO_OVERLAY_AVATAR_NAMING_H_
