#include "overlay/avatar/winhttp_proxy.h"

#include <system_error>
#include <thread>

namespace {

// A proxy script that cannot be had in this time is given up for a direct
// connection.
constexpr int kScriptTimeoutMs = 5000;

std::wstring Taken(LPWSTR text) {
  std::wstring copy = text != nullptr ? text : L"";
  if (text != nullptr) GlobalFree(text);
  return copy;
}

// One lookup of the proxy for an address, owned by its thread and by the
// request that waits for it.
struct ProxyLookup {
  std::shared_ptr<WinHttpHandle> resolver;
  std::wstring url;
  std::wstring script;
  WINHTTP_AUTOPROXY_OPTIONS options{};
  WINHTTP_PROXY_INFO found{};
  bool ok = false;
  ScopedKernelHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};

  ~ProxyLookup() {
    if (ok) {
      Taken(found.lpszProxy);
      Taken(found.lpszProxyBypass);
    }
  }
};

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
    resolver_ = std::make_shared<WinHttpHandle>(
        WinHttpOpen(user_agent, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                    WINHTTP_NO_PROXY_BYPASS, 0));
    if (resolver_->valid()) {
      WinHttpSetTimeouts(resolver_->get(), kScriptTimeoutMs, kScriptTimeoutMs, kScriptTimeoutMs,
                         kScriptTimeoutMs);
    }
  }
  return WinHttpHandle(WinHttpOpen(user_agent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                   WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS,
                                   WINHTTP_FLAG_ASYNC));
}

bool WinHttpProxy::Apply(HINTERNET request, const std::wstring& url, HANDLE stop, DWORD wait_ms) {
  if (automatic_) {
    return true;
  }
  if (resolver_ && resolver_->valid()) {
    auto lookup = std::make_shared<ProxyLookup>();
    lookup->resolver = resolver_;
    lookup->url = url;
    lookup->script = script_;
    lookup->options.fAutoLogonIfChallenged = TRUE;
    if (!script_.empty()) {
      lookup->options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
      lookup->options.lpszAutoConfigUrl = lookup->script.c_str();
    } else {
      lookup->options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
      lookup->options.dwAutoDetectFlags =
          WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    if (!lookup->done.valid()) {
      return false;
    }
    try {
      std::thread([lookup] {
        lookup->ok = WinHttpGetProxyForUrl(lookup->resolver->get(), lookup->url.c_str(),
                                           &lookup->options, &lookup->found) != FALSE;
        SetEvent(lookup->done.get());
      }).detach();
    } catch (const std::system_error&) {
      return false;
    }
    const HANDLE waits[] = {lookup->done.get(), stop};
    if (WaitForMultipleObjects(2, waits, FALSE, wait_ms) != WAIT_OBJECT_0) {
      return false;
    }
    if (lookup->ok) {
      return WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &lookup->found,
                              sizeof(lookup->found)) != FALSE;
    }
  }
  if (proxy_.empty()) {
    return true;
  }
  WINHTTP_PROXY_INFO fixed{WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy_.data(),
                           bypass_.empty() ? nullptr : bypass_.data()};
  return WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &fixed, sizeof(fixed)) != FALSE;
}
