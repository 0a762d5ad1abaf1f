#ifndef VELMO_OVERLAY_AVATAR_AVATAR_FETCH_POLICY_H_
#define VELMO_OVERLAY_AVATAR_AVATAR_FETCH_POLICY_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

// Where an avatar may be fetched from. Addresses come from other members, so
// a picture may only come from the public internet: never from the reader's
// own machine or network, where a request alone can do harm.

inline constexpr int kAvatarMostRedirects = 3;

enum class AvatarRefusal {
  kMalformedAddress,  // not a plain http(s) address, or one a resolver may read otherwise
  kLocalName,         // "localhost" and names under it
  kNonPublicAddress,  // loopback, private, link-local, multicast, reserved...
  kInsecureRedirect,  // from https to http
  kTooManyRedirects,
};

// The reason's word in the log.
std::string_view AvatarRefusalWord(AvatarRefusal refusal);

// An IP address; an IPv4 one is kept in its first four bytes.
struct IpAddress {
  bool v4 = true;
  std::array<uint8_t, 16> bytes{};
  bool operator==(const IpAddress&) const = default;
};

bool IsPublicAddress(const IpAddress& address);

// The address an avatar is fetched from, as it is to be handed to the
// network: `host` in lower case, without brackets, a trailing dot or any
// numeric form other than the plain one.
struct AvatarAddress {
  bool secure = false;
  std::string host;
  uint16_t port = 0;
  std::string path;  // from the first '/', query included, fragment dropped
  std::optional<IpAddress> literal;

  // The address written out again, as the next redirect resolves against.
  std::string Url() const;
};

using AvatarAddressCheck = std::variant<AvatarAddress, AvatarRefusal>;

// Parses and checks an address; a host given as an IP address must be a
// public one. A name is checked once resolved (or, through a proxy, not).
AvatarAddressCheck CheckAvatarAddress(std::string_view url);

// The chain of addresses one download goes through, redirect by redirect.
class AvatarRoute {
 public:
  explicit AvatarRoute(AvatarAddress first) : current_(std::move(first)) {}

  const AvatarAddress& current() const { return current_; }
  // Moves on to a redirect's Location, resolved against the current address;
  // the refusal when it may not be followed.
  std::optional<AvatarRefusal> Follow(std::string_view location);

 private:
  AvatarAddress current_;
  int redirects_ = 0;
};

// Parses a textual IP address the way the network layer is handed it: an
// IPv6 one without brackets, or a plain dotted IPv4 one.
std::optional<IpAddress> ParseIpAddress(std::string_view text);

#endif  // VELMO_OVERLAY_AVATAR_AVATAR_FETCH_POLICY_H_
