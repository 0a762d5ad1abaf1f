// Winsock's headers come before windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>
// Then the rest.
#include "overlay/avatar/public_host_resolver.h"

#include <algorithm>
#include <memory>
#include <system_error>
#include <thread>

#include "base/wide_text.h"
#include "overlay/avatar/windows_avatar_fetch_system.h"

namespace {

struct Lookup {
  std::wstring host;
  HostResolution result = HostResolution::kFailed;
  ScopedKernelHandle done = MakeEvent(true);
};

HostResolution Classify(const ADDRINFOW* list) {
  HostResolution result = HostResolution::kFailed;
  for (const ADDRINFOW* entry = list; entry != nullptr; entry = entry->ai_next) {
    IpAddress address;
    if (entry->ai_family == AF_INET && entry->ai_addrlen >= sizeof(sockaddr_in)) {
      const auto* v4 = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
      std::copy_n(reinterpret_cast<const uint8_t*>(&v4->sin_addr), 4, address.bytes.begin());
    } else if (entry->ai_family == AF_INET6 && entry->ai_addrlen >= sizeof(sockaddr_in6)) {
      const auto* v6 = reinterpret_cast<const sockaddr_in6*>(entry->ai_addr);
      address.v4 = false;
      std::copy_n(reinterpret_cast<const uint8_t*>(&v6->sin6_addr), 16, address.bytes.begin());
    } else {
      continue;
    }
    // Any one is enough: the connection may use whichever it likes.
    if (!IsPublicAddress(address)) {
      return HostResolution::kNonPublic;
    }
    result = HostResolution::kPublic;
  }
  return result;
}

void Resolve(Lookup& lookup) {
  WSADATA wsa{};
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
    return;
  }
  ADDRINFOW hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  ADDRINFOW* list = nullptr;
  if (GetAddrInfoW(lookup.host.c_str(), nullptr, &hints, &list) == 0) {
    lookup.result = Classify(list);
    FreeAddrInfoW(list);
  }
  WSACleanup();
}

DWORD MsUntil(AvatarClock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - AvatarClock::now());
  return static_cast<DWORD>(std::max<long long>(left.count(), 0));
}

}  // namespace

HostResolution ResolvePublicHost(const std::string& host, AvatarClock::time_point deadline,
                                 HANDLE stop) {
  auto lookup = std::make_shared<Lookup>();
  lookup->host = Utf8ToWide(host);
  if (!lookup->done.valid()) {
    return HostResolution::kFailed;
  }
  try {
    std::thread([lookup] {
      Resolve(*lookup);
      SetEvent(lookup->done.get());
    }).detach();
  } catch (const std::system_error&) {
    return HostResolution::kFailed;
  }
  const HANDLE waits[] = {lookup->done.get(), stop};
  switch (WaitForMultipleObjects(2, waits, FALSE, MsUntil(deadline))) {
    case WAIT_OBJECT_0:
      return lookup->result;
    case WAIT_OBJECT_0 + 1:
      return HostResolution::kStopped;
    default:
      return HostResolution::kFailed;
  }
}
