#ifndef VELMO_OVERLAY_AVATAR_WINDOWS_AVATAR_FETCH_SYSTEM_H_
#define VELMO_OVERLAY_AVATAR_WINDOWS_AVATAR_FETCH_SYSTEM_H_

#include <windows.h>
// Both need windows.h first.
#include <bcrypt.h>
#include <winhttp.h>

#include <string>

#include "base/scoped_handle.h"
#include "overlay/avatar/avatar_fetcher.h"
#include "overlay/avatar/winhttp_proxy.h"

// A kernel event, manual or automatic reset, not signalled at first.
inline ScopedKernelHandle MakeEvent(bool manual_reset) {
  return ScopedKernelHandle(CreateEventW(nullptr, manual_reset, FALSE, nullptr));
}

// A BCrypt algorithm provider.
struct BCryptAlgorithmTraits {
  using Handle = BCRYPT_ALG_HANDLE;
  static Handle Invalid() noexcept { return nullptr; }
  static bool IsValid(Handle handle) noexcept { return handle != nullptr; }
  static void Close(Handle handle) noexcept { BCryptCloseAlgorithmProvider(handle, 0); }
};

struct DownloadContext;

// The fetcher's system on Windows: WinHTTP in asynchronous mode, the avatar
// folder under the temporary directory, SHA-256 from BCrypt and the Windows
// Imaging Component for decoding.
//
// What WinHTTP does under Wine 8 and this relies on: closing a handle does
// not end a call blocked on the network (the connection goes only once that
// call returns), so every wait here is our own and ends at the deadline or on
// Interrupt, leaving the call to finish in WinHTTP's thread; WinHttpSetTimeouts
// does not bound the wait for the answer's headers (WinHttpSendRequest already
// waits for them) but WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT does; timeouts
// apply per socket read, not to the whole download; WinHttpReadData returns
// only once its buffer is full or the body ends, so only what
// WinHttpQueryDataAvailable reports is read; the body ends at the declared
// length.
class WindowsAvatarFetchSystem : public AvatarFetchSystem {
 public:
  WindowsAvatarFetchSystem();
  ~WindowsAvatarFetchSystem() override;

  AvatarClock::time_point Now() override;
  DownloadStep Open(const std::string& url, AvatarClock::time_point deadline) override;
  DownloadStep Read(std::vector<uint8_t>& piece, std::size_t most,
                    AvatarClock::time_point deadline) override;
  void CloseDownload() override;
  void Interrupt() override;
  std::optional<std::vector<uint8_t>> ReadFile(const std::string& name, std::size_t most) override;
  bool WriteFile(const std::string& name, std::span<const uint8_t> bytes) override;
  bool RenameFile(const std::string& from, const std::string& to) override;
  void RemoveFile(const std::string& name) override;
  void TouchFile(const std::string& name) override;
  std::vector<AvatarFolderEntry> ListFiles() override;
  AvatarDigest Sha256(std::string_view bytes) override;
  std::optional<PictureSize> DecodedSize(std::span<const uint8_t> file) override;
  std::optional<ScaledAvatar> Decode(std::span<const uint8_t> file, int size) override;
  AvatarRefusal OpenRefusal() override { return refusal_; }
  void Log(const std::string& line) override;

 private:
  // One request of a download's chain; `location` is set when the answer is
  // a redirect.
  DownloadStep OpenHop(const AvatarAddress& address, AvatarClock::time_point deadline,
                       std::string& location);
  DownloadStep Refuse(AvatarRefusal refusal);
  // Waits for the running operation's completion; kFailed at the deadline.
  DownloadStep Complete(AvatarClock::time_point deadline);
  std::wstring PathOf(const std::string& name) const;
  // Runs `work(file, abandoned)` on a thread of its own; none once stopped.
  template <typename Result, typename Work>
  std::optional<Result> OffThread(std::span<const uint8_t> file, Work work);

  ScopedKernelHandle stop_ = MakeEvent(true);
  ScopedHandle<BCryptAlgorithmTraits> sha256_;
  WinHttpProxy proxy_;
  WinHttpHandle session_;
  WinHttpHandle connection_;
  WinHttpHandle request_;
  DownloadContext* context_ = nullptr;  // shared with WinHTTP's callbacks
  std::wstring folder_;
  AvatarRefusal refusal_ = AvatarRefusal::kNonPublicAddress;
};

#endif  // VELMO_OVERLAY_AVATAR_WINDOWS_AVATAR_FETCH_SYSTEM_H_
