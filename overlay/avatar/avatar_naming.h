#ifndef VELMO_OVERLAY_AVATAR_AVATAR_NAMING_H_
#define VELMO_OVERLAY_AVATAR_AVATAR_NAMING_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr char kAvatarFolderName[] = "velmo_voice_overlay";

using AvatarDigest = std::array<uint8_t, 32>;  // SHA-256 of the address

// 32-bit FNV-1a over the bytes.
uint32_t Fnv1a32(std::string_view bytes);

// "a_" + the address's FNV-1a hash in eight lower-case hex digits + ".img":
// the name earlier versions stored pictures under. Two addresses easily
// share one, so such files are never read, only removed.
std::string OldAvatarFileName(std::string_view url);

// "v_" + the address's SHA-256 in lower-case hex + ".img". The file also
// records the address, which alone decides whose picture it is.
std::string AvatarFileName(const AvatarDigest& digest);

// Only http:// and https:// addresses are fetched, scheme case-sensitive.
bool IsFetchableAvatarUrl(std::string_view url);

#endif  // VELMO_OVERLAY_AVATAR_AVATAR_NAMING_H_
