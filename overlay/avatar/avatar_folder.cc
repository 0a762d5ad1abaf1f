#include "overlay/avatar/avatar_folder.h"

#include <algorithm>

namespace {

constexpr std::size_t kLengthBytes = 4;

bool HasName(std::string_view name, std::string_view prefix, std::string_view suffix) {
  return name.size() > prefix.size() + suffix.size() && name.starts_with(prefix) &&
         name.ends_with(suffix);
}

}  // namespace

std::vector<std::string> PlanAvatarTidy(std::vector<AvatarFolderEntry> files) {
  std::vector<std::string> remove;
  std::vector<AvatarFolderEntry> kept;
  for (AvatarFolderEntry& file : files) {
    const bool old = HasName(file.name, "a_", ".img");
    const bool stale = HasName(file.name, "v_", kPartialSuffix) && file.age >= kStalePartialAge;
    if (old || stale) {
      remove.push_back(std::move(file.name));
    } else if (HasName(file.name, "v_", ".img")) {
      kept.push_back(std::move(file));
    }
  }
  // Most recently used first; whatever goes past a bound goes.
  std::stable_sort(kept.begin(), kept.end(),
                   [](const auto& a, const auto& b) { return a.age < b.age; });
  uint64_t bytes = 0;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    bytes += kept[i].bytes;
    if (i >= kMostStoredAvatars || bytes > kMostStoredAvatarBytes) {
      remove.push_back(std::move(kept[i].name));
    }
  }
  return remove;
}

std::vector<uint8_t> StoredAvatar(std::string_view url, std::span<const uint8_t> picture) {
  std::vector<uint8_t> file;
  file.reserve(kLengthBytes + url.size() + picture.size());
  for (std::size_t i = 0; i < kLengthBytes; ++i) {
    file.push_back(static_cast<uint8_t>(url.size() >> (8 * i)));
  }
  for (char c : url) {
    file.push_back(static_cast<uint8_t>(c));
  }
  file.insert(file.end(), picture.begin(), picture.end());
  return file;
}

std::optional<std::span<const uint8_t>> StoredPicture(std::span<const uint8_t> file,
                                                      std::string_view url) {
  if (file.size() < kLengthBytes + url.size()) {
    return std::nullopt;
  }
  std::size_t length = 0;
  for (std::size_t i = 0; i < kLengthBytes; ++i) {
    length |= static_cast<std::size_t>(file[i]) << (8 * i);
  }
  // The recorded length may be anything; only the address's own, which the
  // file was checked to hold, is taken from it.
  if (length != url.size()) {
    return std::nullopt;
  }
  const auto recorded = file.subspan(kLengthBytes, length);
  if (!std::equal(recorded.begin(), recorded.end(), url.begin())) {
    return std::nullopt;
  }
  return file.subspan(kLengthBytes + length);
}
