// Avatar pictures: the memory cache, the folder under the temporary
// directory, and downloads.
#include <urlmon.h>

#include <mutex>

#include "base/wide_text.h"
#include "overlay/avatar_naming.h"
#include "overlay/voice_overlay.h"

namespace {

constexpr DWORD kTempPathCapacity = MAX_PATH;
// A download lands here first and takes the real name only once it decodes,
// so an error page or a cut-off transfer is never trusted later.
constexpr wchar_t kPartialSuffix[] = L".part";

std::unique_ptr<Gdiplus::Bitmap> Decode(const std::wstring& path) {
  auto bitmap = std::make_unique<Gdiplus::Bitmap>(path.c_str());
  if (bitmap->GetLastStatus() != Gdiplus::Ok) {
    return nullptr;
  }
  return bitmap;
}

// Marks a download in progress for as long as it lives.
class FetchMark {
 public:
  explicit FetchMark(bool& flag) : flag_(flag) { flag_ = true; }
  ~FetchMark() { flag_ = false; }
  FetchMark(const FetchMark&) = delete;
  FetchMark& operator=(const FetchMark&) = delete;

 private:
  bool& flag_;
};

bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

std::wstring VoiceOverlay::AvatarDirectory() const {
  wchar_t temp[kTempPathCapacity];
  const DWORD length = GetTempPathW(kTempPathCapacity, temp);
  if (length == 0 || length >= kTempPathCapacity) {
    return {};
  }
  std::wstring folder = std::wstring(temp, length) + Utf8ToWide(kAvatarFolderName);
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

std::wstring VoiceOverlay::AvatarPath(const std::string& url) const {
  return AvatarDirectory() + L"\\" + Utf8ToWide(AvatarFileName(url));
}

bool VoiceOverlay::EnsureAvatarFile(const std::string& url, const std::wstring& path) const {
  if (url.empty() || path.empty() || !IsFetchableAvatarUrl(url)) {
    return false;
  }
  if (IsFile(path)) {
    return true;
  }
  const std::wstring partial = path + kPartialSuffix;
  const std::wstring address = Utf8ToWide(url);
  if (FAILED(URLDownloadToFileW(nullptr, address.c_str(), partial.c_str(), 0, nullptr))) {
    DeleteFileW(partial.c_str());
    return false;
  }
  const bool decodes = Decode(partial) != nullptr;
  if (!decodes || !MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileW(partial.c_str());
    return false;
  }
  return true;
}

Gdiplus::Bitmap* VoiceOverlay::GetAvatar(const std::string& url) {
  if (url.empty() || !gdiplus_started) {
    return nullptr;
  }
  const auto now = AvatarBackoff::Clock::now();
  {
    std::lock_guard lock(state.state_mutex);
    if (const auto found = avatar_cache.find(url); found != avatar_cache.end()) {
      return found->second.get();
    }
    if (!avatar_backoff.MayFetch(url, now)) {
      return nullptr;
    }
  }
  if (!IsFetchableAvatarUrl(url) || fetching_avatar) {
    return nullptr;
  }

  const std::wstring path = AvatarPath(url);
  std::unique_ptr<Gdiplus::Bitmap> bitmap;
  bool present = false;
  {
    const FetchMark mark(fetching_avatar);
    present = EnsureAvatarFile(url, path);
  }
  if (present) {
    bitmap = Decode(path);
    if (!bitmap) {
      // A file that does not decode is useless forever; removing it lets the
      // next attempt fetch the picture again.
      DeleteFileW(path.c_str());
    }
  }

  std::unique_ptr<Gdiplus::Bitmap> spare;
  std::lock_guard lock(state.state_mutex);
  if (!bitmap) {
    avatar_backoff.RecordFailure(url, now);
    return nullptr;
  }
  avatar_backoff.RecordSuccess(url);
  auto [entry, inserted] = avatar_cache.try_emplace(url);
  if (inserted) {
    entry->second = std::move(bitmap);
  } else {
    spare = std::move(bitmap);  // deleted after the lock is released
  }
  return entry->second.get();
}
