#ifndef VELMO_OVERLAY_WINDOWS_AVATAR_FETCH_SYSTEM_H_
#define VELMO_OVERLAY_WINDOWS_AVATAR_FETCH_SYSTEM_H_

#include <windows.h>
#include <winhttp.h>

#include <string>

#include "overlay/avatar_fetcher.h"

// One WinHTTP handle, closed when it goes.
class WinHttpHandle {
 public:
  WinHttpHandle() = default;
  explicit WinHttpHandle(HINTERNET handle) : handle_(handle) {}
  ~WinHttpHandle() { reset(); }
  WinHttpHandle(const WinHttpHandle&) = delete;
  WinHttpHandle& operator=(const WinHttpHandle&) = delete;
  HINTERNET get() const { return handle_; }
  void reset(HINTERNET handle = nullptr) {
    if (handle_ != nullptr) WinHttpCloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HINTERNET handle_ = nullptr;
};

// An owned kernel event.
class EventHandle {
 public:
  explicit EventHandle(bool manual_reset)
      : handle_(CreateEventW(nullptr, manual_reset, FALSE, nullptr)) {}
  ~EventHandle() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  EventHandle(const EventHandle&) = delete;
  EventHandle& operator=(const EventHandle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

struct DownloadContext;

// The fetcher's system on Windows: WinHTTP in asynchronous mode, the avatar
// folder under the temporary directory, and GDI+ for decoding. GDI+ must be
// running while the fetcher uses this.
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
  std::optional<ScaledAvatar> Decode(std::span<const uint8_t> file, int size) override;

 private:
  // Waits for the running operation's completion; kFailed at the deadline.
  DownloadStep Complete(AvatarClock::time_point deadline);
  std::wstring PathOf(const std::string& name) const;

  EventHandle stop_{true};
  WinHttpHandle session_;
  WinHttpHandle connection_;
  WinHttpHandle request_;
  DownloadContext* context_ = nullptr;  // shared with WinHTTP's callbacks
  std::wstring folder_;
};

#endif  // VELMO_OVERLAY_WINDOWS_AVATAR_FETCH_SYSTEM_H_
