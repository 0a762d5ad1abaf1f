#include "overlay/avatar/avatar_fetch_policy.h"

#include <charconv>
#include <vector>

namespace {

constexpr uint16_t kHttpPort = 80;
constexpr uint16_t kHttpsPort = 443;
constexpr std::size_t kLongestLabel = 63;
constexpr std::size_t kLongestName = 253;
constexpr int kIpv6Groups = 8;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHex(char c) { return IsDigit(c) || (Lower(c) >= 'a' && Lower(c) <= 'f'); }
int HexValue(char c) { return IsDigit(c) ? c - '0' : Lower(c) - 'a' + 10; }

std::string LowerCopy(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = Lower(c);
  return lower;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && LowerCopy(text.substr(0, prefix.size())) == prefix;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (std::size_t from = 0;;) {
    const std::size_t at = text.find(separator, from);
    parts.push_back(text.substr(from, at == std::string_view::npos ? at : at - from));
    if (at == std::string_view::npos) return parts;
    from = at + 1;
  }
}

IpAddress V4(uint32_t value) {
  IpAddress address;
  for (int i = 0; i < 4; ++i) address.bytes[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
  return address;
}

uint32_t V4Value(const IpAddress& address, int from = 0) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value = value << 8 | address.bytes[from + i];
  return value;
}

bool InV4(uint32_t value, uint32_t network, int bits) {
  return (value ^ network) >> (32 - bits) == 0;
}

constexpr uint32_t Quad(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  return a << 24 | b << 16 | c << 8 | d;
}

bool IsPublicV4(uint32_t value) {
  struct Block {
    uint32_t network;
    int bits;
  };
  // Documentation ranges stay public: they route nowhere, and test hosts use them.
  static constexpr Block kNotPublic[] = {
      {Quad(0, 0, 0, 0), 8},     {Quad(10, 0, 0, 0), 8},     {Quad(100, 64, 0, 0), 10},
      {Quad(127, 0, 0, 0), 8},   {Quad(169, 254, 0, 0), 16}, {Quad(172, 16, 0, 0), 12},
      {Quad(192, 0, 0, 0), 24},  {Quad(192, 88, 99, 0), 24}, {Quad(192, 168, 0, 0), 16},
      {Quad(198, 18, 0, 0), 15}, {Quad(224, 0, 0, 0), 4},    {Quad(240, 0, 0, 0), 4},
  };
  for (const Block& block : kNotPublic) {
    if (InV4(value, block.network, block.bits)) return false;
  }
  return true;
}

// A number of an IPv4 address part as resolvers read it: 0x hex, leading-0
// octal, else decimal. None past `most`.
std::optional<uint32_t> V4Part(std::string_view part, uint32_t most) {
  int base = 10;
  if (part.size() >= 2 && part[0] == '0' && Lower(part[1]) == 'x') {
    base = 16;
    part.remove_prefix(2);
    if (part.empty()) return 0;
  } else if (part.size() >= 2 && part[0] == '0') {
    base = 8;
    part.remove_prefix(1);
  }
  if (part.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : part) {
    const int digit = IsHex(c) ? HexValue(c) : base;
    if (digit >= base) return std::nullopt;
    value = value * base + digit;
    if (value > most) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

// Whether a resolver would take the host for an IPv4 address: its last label
// is a number.
bool LooksNumeric(std::string_view host) {
  const std::string_view last = host.substr(host.rfind('.') + 1);
  if (last.size() >= 2 && last[0] == '0' && Lower(last[1]) == 'x') {
    for (char c : last.substr(2)) {
      if (!IsHex(c)) return false;
    }
    return true;
  }
  for (char c : last) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

// Every IPv4 form: one to four parts, the last filling the bytes left.
std::optional<IpAddress> ParseLooseV4(std::string_view host) {
  const std::vector<std::string_view> parts = Split(host, '.');
  if (parts.size() > 4) return std::nullopt;
  uint32_t value = 0;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    const std::optional<uint32_t> part = V4Part(parts[i], 0xFF);
    if (!part) return std::nullopt;
    value |= *part << (24 - 8 * i);
  }
  const int last_bits = 32 - 8 * static_cast<int>(parts.size() - 1);
  const uint32_t most = last_bits == 32 ? 0xFFFFFFFFu : (1u << last_bits) - 1;
  const std::optional<uint32_t> last = V4Part(parts.back(), most);
  if (!last) return std::nullopt;
  return V4(value | *last);
}

// Only the plain dotted form, decimal, no leading zeros.
std::optional<IpAddress> ParseStrictV4(std::string_view text) {
  const std::vector<std::string_view> parts = Split(text, '.');
  if (parts.size() != 4) return std::nullopt;
  uint32_t value = 0;
  for (std::string_view part : parts) {
    unsigned byte = 0;
    const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), byte);
    if (part.empty() || (part.size() > 1 && part[0] == '0') || error != std::errc{} ||
        end != part.data() + part.size() || byte > 0xFF) {
      return std::nullopt;
    }
    value = value << 8 | byte;
  }
  return V4(value);
}

std::optional<IpAddress> ParseV6(std::string_view text) {
  IpAddress address;
  address.v4 = false;
  std::vector<uint16_t> head, tail;
  bool gap = false;
  if (text.starts_with("::")) {
    gap = true;
    text.remove_prefix(2);
  }
  while (!text.empty()) {
    std::vector<uint16_t>& groups = gap ? tail : head;
    const std::size_t end = text.find(':');
    const std::string_view group = text.substr(0, end);
    if (end == std::string_view::npos && group.find('.') != std::string_view::npos) {
      const std::optional<IpAddress> v4 = ParseStrictV4(group);
      if (!v4) return std::nullopt;
      groups.push_back(static_cast<uint16_t>(v4->bytes[0] << 8 | v4->bytes[1]));
      groups.push_back(static_cast<uint16_t>(v4->bytes[2] << 8 | v4->bytes[3]));
      break;
    }
    if (group.empty() || group.size() > 4) return std::nullopt;
    uint16_t value = 0;
    for (char c : group) {
      if (!IsHex(c)) return std::nullopt;
      value = static_cast<uint16_t>(value << 4 | HexValue(c));
    }
    groups.push_back(value);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
    if (text.starts_with(":")) {
      if (gap) return std::nullopt;
      gap = true;
      text.remove_prefix(1);
    } else if (text.empty()) {
      return std::nullopt;  // a trailing single colon
    }
  }
  const std::size_t count = head.size() + tail.size();
  if (gap ? count >= kIpv6Groups : count != kIpv6Groups) return std::nullopt;
  int at = 0;
  const auto put = [&](uint16_t group) {
    address.bytes[at++] = static_cast<uint8_t>(group >> 8);
    address.bytes[at++] = static_cast<uint8_t>(group);
  };
  for (uint16_t group : head) put(group);
  at = 16 - 2 * static_cast<int>(tail.size());
  for (uint16_t group : tail) put(group);
  return address;
}

bool IsPublicV6(const IpAddress& address) {
  const auto& b = address.bytes;
  const auto zero_until = [&](int end) {
    for (int i = 0; i < end; ++i) {
      if (b[i] != 0) return false;
    }
    return true;
  };
  // Mapped (::ffff:a.b.c.d) and compatible (::a.b.c.d) addresses reach the
  // IPv4 address inside; :: and ::1 fall in 0/8 that way.
  if (zero_until(10) && ((b[10] == 0xFF && b[11] == 0xFF) || (b[10] == 0 && b[11] == 0))) {
    return IsPublicV4(V4Value(address, 12));
  }
  // NAT64's well-known prefix, 64:ff9b::/96, and 6to4, 2002::/16, carry one too.
  if (b[0] == 0x00 && b[1] == 0x64 && b[2] == 0xFF && b[3] == 0x9B) {
    return IsPublicV4(V4Value(address, 12));
  }
  if (b[0] == 0x20 && b[1] == 0x02) {
    return IsPublicV4(V4Value(address, 2));
  }
  // Only global unicast, 2000::/3, is public; within it the protocol
  // assignments 2001::/23 (Teredo among them) and documentation 2001:db8::/32
  // are not.
  if ((b[0] & 0xE0) != 0x20) return false;
  if (b[0] == 0x20 && b[1] == 0x01 && b[2] < 0x02) return false;
  if (b[0] == 0x20 && b[1] == 0x01 && b[2] == 0x0D && b[3] == 0xB8) return false;
  return true;
}

std::string FormatHost(const IpAddress& address) {
  std::string text;
  if (address.v4) {
    for (int i = 0; i < 4; ++i) {
      if (i) text += '.';
      text += std::to_string(address.bytes[i]);
    }
    return text;
  }
  constexpr char kDigits[] = "0123456789abcdef";
  for (int i = 0; i < 16; i += 2) {
    if (i) text += ':';
    const unsigned group = address.bytes[i] << 8 | address.bytes[i + 1];
    bool started = false;
    for (int shift = 12; shift >= 0; shift -= 4) {
      const unsigned digit = group >> shift & 0xF;
      if (digit || started || shift == 0) {
        text += kDigits[digit];
        started = true;
      }
    }
  }
  return text;
}

bool IsNameLabel(std::string_view label) {
  if (label.empty() || label.size() > kLongestLabel) return false;
  for (char c : label) {
    if (!(IsDigit(c) || (c >= 'a' && c <= 'z') || c == '-' || c == '_')) return false;
  }
  return true;
}

std::optional<AvatarRefusal> CheckHost(std::string_view text, AvatarAddress& address) {
  if (text.starts_with("[")) {
    if (!text.ends_with("]")) return AvatarRefusal::kMalformedAddress;
    address.literal = ParseV6(text.substr(1, text.size() - 2));
    if (!address.literal) return AvatarRefusal::kMalformedAddress;
  } else {
    std::string host = LowerCopy(text);
    // One trailing dot names the same host; resolvers drop it.
    if (host.ends_with(".")) host.pop_back();
    if (host.empty() || host.size() > kLongestName) return AvatarRefusal::kMalformedAddress;
    if (LooksNumeric(host)) {
      address.literal = ParseLooseV4(host);
      if (!address.literal) return AvatarRefusal::kMalformedAddress;
    } else {
      for (std::string_view label : Split(host, '.')) {
        if (!IsNameLabel(label)) return AvatarRefusal::kMalformedAddress;
      }
      if (host == "localhost" || host.ends_with(".localhost")) return AvatarRefusal::kLocalName;
      address.host = std::move(host);
      return std::nullopt;
    }
  }
  if (!IsPublicAddress(*address.literal)) return AvatarRefusal::kNonPublicAddress;
  address.host = FormatHost(*address.literal);
  return std::nullopt;
}

std::optional<AvatarRefusal> CheckPort(std::string_view text, AvatarAddress& address) {
  unsigned port = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
  if (text.empty() || text.size() > 5 || error != std::errc{} || end != text.data() + text.size() ||
      port == 0 || port > 0xFFFF) {
    return AvatarRefusal::kMalformedAddress;
  }
  address.port = static_cast<uint16_t>(port);
  return std::nullopt;
}

}  // namespace

std::string_view AvatarRefusalWord(AvatarRefusal refusal) {
  switch (refusal) {
    case AvatarRefusal::kMalformedAddress:
      return "malformed_address";
    case AvatarRefusal::kLocalName:
      return "local_name";
    case AvatarRefusal::kNonPublicAddress:
      return "non_public_address";
    case AvatarRefusal::kInsecureRedirect:
      return "insecure_redirect";
    case AvatarRefusal::kTooManyRedirects:
      return "too_many_redirects";
  }
  return "refused";
}

bool IsPublicAddress(const IpAddress& address) {
  return address.v4 ? IsPublicV4(V4Value(address)) : IsPublicV6(address);
}

std::optional<IpAddress> ParseIpAddress(std::string_view text) {
  return text.find(':') == std::string_view::npos ? ParseStrictV4(text) : ParseV6(text);
}

std::string AvatarAddress::Url() const {
  std::string url = secure ? "https://" : "http://";
  const bool bracketed = literal && !literal->v4;
  if (bracketed) url += '[';
  url += host;
  if (bracketed) url += ']';
  if (port != (secure ? kHttpsPort : kHttpPort)) {
    url += ':';
    url += std::to_string(port);
  }
  url += path;
  return url;
}

AvatarAddressCheck CheckAvatarAddress(std::string_view url) {
  for (char c : url) {
    // Nothing a server or resolver could read two ways: no spaces, controls
    // or backslashes, which some read as a slash.
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F || c == '\\') {
      return AvatarRefusal::kMalformedAddress;
    }
  }
  AvatarAddress address;
  if (StartsWithNoCase(url, "https://")) {
    address.secure = true;
    url.remove_prefix(8);
  } else if (StartsWithNoCase(url, "http://")) {
    url.remove_prefix(7);
  } else {
    return AvatarRefusal::kMalformedAddress;
  }
  const std::size_t authority_end = url.find_first_of("/?#");
  const std::string_view authority = url.substr(0, authority_end);
  std::string_view rest = authority_end == std::string_view::npos ? "" : url.substr(authority_end);
  rest = rest.substr(0, rest.find('#'));
  if (!rest.starts_with("/")) address.path = '/';
  address.path += rest;
  // A user name, or a percent-escaped host, lets the host be read two ways.
  if (authority.find_first_of("@%") != std::string_view::npos) {
    return AvatarRefusal::kMalformedAddress;
  }
  for (char c : authority) {
    if (static_cast<unsigned char>(c) >= 0x80) return AvatarRefusal::kMalformedAddress;
  }
  const std::size_t host_end =
      authority.starts_with("[") ? authority.find(']') + 1 : authority.find(':');
  if (host_end == 0) return AvatarRefusal::kMalformedAddress;  // no closing bracket
  const std::string_view host = authority.substr(0, host_end);
  const std::string_view after = host_end >= authority.size() ? "" : authority.substr(host_end);
  address.port = address.secure ? kHttpsPort : kHttpPort;
  if (!after.empty()) {
    if (!after.starts_with(":")) return AvatarRefusal::kMalformedAddress;
    if (const auto refused = CheckPort(after.substr(1), address)) return *refused;
  }
  if (const auto refused = CheckHost(host, address)) return *refused;
  return address;
}

std::optional<AvatarRefusal> AvatarRoute::Follow(std::string_view location) {
  if (redirects_ == kAvatarMostRedirects) return AvatarRefusal::kTooManyRedirects;
  const std::string base = current_.Url();
  const std::string origin = base.substr(0, base.size() - current_.path.size());
  std::string next;
  const std::size_t colon = location.find(':');
  const bool has_scheme =
      colon != std::string_view::npos && colon > 0 && location.find_first_of("/?#") > colon;
  if (has_scheme) {
    next = location;
  } else if (location.starts_with("//")) {
    next = std::string(current_.secure ? "https:" : "http:") + std::string(location);
  } else if (location.starts_with("/")) {
    next = origin + std::string(location);
  } else {
    const std::string path = current_.path.substr(0, current_.path.find('?'));
    if (location.empty() || location.starts_with("#")) {
      next = origin + current_.path;
    } else if (location.starts_with("?")) {
      next = origin + path + std::string(location);
    } else {
      next = origin + path.substr(0, path.rfind('/') + 1) + std::string(location);
    }
  }
  AvatarAddressCheck checked = CheckAvatarAddress(next);
  if (const auto* refused = std::get_if<AvatarRefusal>(&checked)) return *refused;
  AvatarAddress& address = std::get<AvatarAddress>(checked);
  if (current_.secure && !address.secure) return AvatarRefusal::kInsecureRedirect;
  current_ = std::move(address);
  ++redirects_;
  return std::nullopt;
}
