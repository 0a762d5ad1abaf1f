#ifndef VELMO_OVERLAY_AVATAR_WINHTTP_PROXY_H_
#define VELMO_OVERLAY_AVATAR_WINHTTP_PROXY_H_

#include <windows.h>
#include <winhttp.h>

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
  // name one; true when the request may go out.
  bool Apply(HINTERNET request, const std::wstring& url);

 private:
  bool automatic_ = false;
  bool auto_detect_ = false;
  std::wstring script_;  // configuration script address
  std::wstring proxy_;   // fixed proxy
  std::wstring bypass_;
  WinHttpHandle resolver_;  // synchronous session for the script
};

#endif  // VELMO_OVERLAY_AVATAR_WINHTTP_PROXY_H_
