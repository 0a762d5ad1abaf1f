#include "overlay/avatar/winhttp_proxy.h"

namespace {

// A proxy script that cannot be had in this time is given up for a direct
// connection.
constexpr int kScriptTimeoutMs = 5000;

std::wstring Taken(LPWSTR text) {
  std::wstring copy = text != nullptr ? text : L"";
  if (text != nullptr) GlobalFree(text);
  return copy;
}

}  // namespace

WinHttpHandle WinHttpProxy::OpenSession(const wchar_t* user_agent) {
  WinHttpHandle session(WinHttpOpen(user_agent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS,
                                    WINHTTP_FLAG_ASYNC));
  if (session.valid()) {
    automatic_ = true;
    return session;
  }
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user{};
  if (WinHttpGetIEProxyConfigForCurrentUser(&user)) {
    auto_detect_ = user.fAutoDetect != FALSE;
    script_ = Taken(user.lpszAutoConfigUrl);
    proxy_ = Taken(user.lpszProxy);
    bypass_ = Taken(user.lpszProxyBypass);
  }
  if (auto_detect_ || !script_.empty()) {
    resolver_.reset(WinHttpOpen(user_agent, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                WINHTTP_NO_PROXY_BYPASS, 0));
    if (resolver_.valid()) {
      WinHttpSetTimeouts(resolver_.get(), kScriptTimeoutMs, kScriptTimeoutMs, kScriptTimeoutMs,
                         kScriptTimeoutMs);
    }
  }
  return WinHttpHandle(WinHttpOpen(user_agent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                   WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS,
                                   WINHTTP_FLAG_ASYNC));
}

bool WinHttpProxy::Apply(HINTERNET request, const std::wstring& url) {
  if (automatic_) {
    return true;
  }
  if (resolver_.valid()) {
    WINHTTP_AUTOPROXY_OPTIONS options{};
    options.fAutoLogonIfChallenged = TRUE;
    if (!script_.empty()) {
      options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
      options.lpszAutoConfigUrl = script_.c_str();
    } else {
      options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
      options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    WINHTTP_PROXY_INFO found{};
    if (WinHttpGetProxyForUrl(resolver_.get(), url.c_str(), &options, &found)) {
      const bool set =
          WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &found, sizeof(found)) != FALSE;
      Taken(found.lpszProxy);
      Taken(found.lpszProxyBypass);
      return set;
    }
  }
  if (proxy_.empty()) {
    return true;
  }
  WINHTTP_PROXY_INFO fixed{WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy_.data(),
                           bypass_.empty() ? nullptr : bypass_.data()};
  return WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &fixed, sizeof(fixed)) != FALSE;
}
