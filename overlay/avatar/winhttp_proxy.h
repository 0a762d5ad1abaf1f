#ifndef VELMO_OVERLAY_AVATAR_WINHTTP_PROXY_H_
#define VELMO_OVERLAY_AVATAR_WINHTTP_PROXY_H_

#include <windows.h>
#include <winhttp.h>

#include <memory>
#include <string>

#include "base/scoped_handle.h"

struct WinHttpHandleTraits {
  using Handle = HINTERNET;
  static Handle Invalid() noexcept { return nullptr; }
  static bool IsValid(Handle handle) noexcept { return handle != nullptr; }
  static void Close(Handle handle) noexcept { WinHttpCloseHandle(handle); }
};
using WinHttpHandle = ScopedHandle<WinHttpHandleTraits>;

// How requests reach the network: the system's automatic proxy where it has
// one (Windows 8.1 on), else the user's own settings (a fixed proxy, or
// auto-detection and a configuration script resolved per address), as the
// browser uses them. The machine-wide WinHTTP setting alone would miss both.
class WinHttpProxy {
 public:
  // Opens the asynchronous session requests are made in.
  WinHttpHandle OpenSession(const wchar_t* user_agent);
  // Sets the proxy for one request to `url`, where the user's settings
  // name one; true when the request may go out. Finding the proxy for an
  // address may take long (a script download, auto-detection), so it runs
  // on a thread of its own that a stop or the end of `wait_ms` leaves to
  // finish alone, and then false.
  bool Apply(HINTERNET request, const std::wstring& url, HANDLE stop, DWORD wait_ms);

 private:
  bool automatic_ = false;
  bool auto_detect_ = false;
  std::wstring script_;  // configuration script address
  std::wstring proxy_;   // fixed proxy
  std::wstring bypass_;
  // Synchronous session for the script, shared with lookups still running.
  std::shared_ptr<WinHttpHandle> resolver_;
};

#endif  // VELMO_OVERLAY_AVATAR_WINHTTP_PROXY_H_
