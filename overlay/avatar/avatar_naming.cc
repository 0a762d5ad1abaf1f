#include "overlay/avatar/avatar_naming.h"

#include <cstdio>

namespace {

constexpr uint32_t kFnvOffsetBasis = 0x811C9DC5;
constexpr uint32_t kFnvPrime = 0x01000193;
constexpr std::size_t kFileNameBufferSize = 64;
constexpr std::string_view kHttpPrefix = "http://";
constexpr std::string_view kHttpsPrefix = "https://";

}  // namespace

uint32_t Fnv1a32(std::string_view bytes) {
  uint32_t hash = kFnvOffsetBasis;
  for (char c : bytes) {
    hash ^= static_cast<uint8_t>(c);
    hash *= kFnvPrime;
  }
  return hash;
}

std::string OldAvatarFileName(std::string_view url) {
  char name[kFileNameBufferSize];
  std::snprintf(name, sizeof(name), "a_%08lx.img", static_cast<unsigned long>(Fnv1a32(url)));
  return name;
}

std::string AvatarFileName(const AvatarDigest& digest) {
  constexpr char kHex[] = "0123456789abcdef";
  std::string name = "v_";
  for (uint8_t byte : digest) {
    name += kHex[byte >> 4];
    name += kHex[byte & 0xF];
  }
  return name + ".img";
}

bool IsFetchableAvatarUrl(std::string_view url) {
  return url.starts_with(kHttpPrefix) || url.starts_with(kHttpsPrefix);
}
