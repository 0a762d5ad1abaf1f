#ifndef VELMO_OVERLAY_AVATAR_PUBLIC_HOST_RESOLVER_H_
#define VELMO_OVERLAY_AVATAR_PUBLIC_HOST_RESOLVER_H_

#include <windows.h>

#include <string>

#include "overlay/avatar/avatar_fetcher.h"

enum class HostResolution {
  kPublic,     // every address the name has is public
  kNonPublic,  // at least one is not
  kFailed,     // no address, or none by the deadline
  kStopped,
};

// Resolves `host` before a direct connection to it, so that a name pointing
// into the reader's own network is refused as its address would be. The
// lookup may hang on a silent DNS server, so it runs on a thread of its own,
// left to finish alone at the deadline or once `stop` is signalled.
HostResolution ResolvePublicHost(const std::string& host, AvatarClock::time_point deadline,
                                 HANDLE stop);

#endif  // VELMO_OVERLAY_AVATAR_PUBLIC_HOST_RESOLVER_H_
