#include "overlay/avatar/avatar_fetch_policy.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

namespace {

// No case here opens a connection: these are only addresses to classify.
// clang-format off
struct Allowed { const char* url; const char* host; uint16_t port; const char* path; };
const Allowed kAllowed[] = {
    {"http://203.0.113.7/a.png", "203.0.113.7", 80, "/a.png"},
    {"HTTPS://Avatars.Example.COM./x?y=1#frag", "avatars.example.com", 443, "/x?y=1"},
    {"https://host:8443", "host", 8443, "/"}, {"http://host?q", "host", 80, "/?q"},
    {"http://[2606:4700::1111]:81/p", "2606:4700:0:0:0:0:0:1111", 81, "/p"},
    {"http://8.8.8.8/", "8.8.8.8", 80, "/"}, {"http://203.0.113.255/", "203.0.113.255", 80, "/"},
    {"http://0xcb.0.113.1/", "203.0.113.1", 80, "/"},
    {"http://host:65535/", "host", 65535, "/"}, {"http://-_/", "-_", 80, "/"},
    {"http://z.zz/", "z.zz", 80, "/"}, {"http://notlocalhost/", "notlocalhost", 80, "/"},
    {"http://localhost.example/", "localhost.example", 80, "/"},
    {"http://[::ffff:203.0.113.9]/", "0:0:0:0:0:ffff:cb00:7109", 80, "/"},
    {"http://aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa.zz/",
     "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa.zz", 80, "/"}};
const std::pair<AvatarRefusal, std::vector<const char*>> kRefused[] = {
    {AvatarRefusal::kMalformedAddress, {
        "ftp://203.0.113.7/", "http:/203.0.113.7/", "http://", "http://:80/",
        "http://a@203.0.113.7/", "http://203.0.113.7@127.0.0.1/", "http://%31%32%37.0.0.1/",
        "http://host name/", "http://host\\@127.0.0.1/", "http://ho\xc3\xa9st/", "http://host:/",
        "http://host:0/", "http://host:65536/", "http://host:8x/", "http://host..", "http://a..b/",
        "http://a+b/", "http://[::1/", "http://[::1]x/", "http://[fe80::1%25eth0]/",
        "http://999.0.0.1/", "http://1.2.3.4.5/", "http://1.2.3.4.0/", "http://203.0.113.256/",
        "http://host/a b", "http://host/a\x7f", "http://host/a\x01", "http://09.0.0.1/",
        "http://aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa.zz/"}},
    {AvatarRefusal::kLocalName, {"http://localhost/", "http://LocalHost./", "http://a.localhost/"}},
    {AvatarRefusal::kNonPublicAddress, {
        "http://0x/", "http://127.0.0.1:8080/api", "http://127.0.0.1./", "http://2130706433/",
        "http://0x7f.1/", "http://0177.0.0.1/", "http://127.1/", "http://0x7F000001/",
        "http://192.168.1.1/cgi-bin/x?reboot=1", "http://[::1]/", "http://[::ffff:127.0.0.1]/",
        "http://[::ffff:7f00:1]/"}},
};
// clang-format on

std::optional<AvatarRefusal> RefusalOf(const char* url) {
  const AvatarAddressCheck checked = CheckAvatarAddress(url);
  const auto* refusal = std::get_if<AvatarRefusal>(&checked);
  return refusal ? std::optional(*refusal) : std::nullopt;
}

TEST(AvatarFetchPolicyTest, ChecksEachAddress) {
  for (const Allowed& c : kAllowed) {
    const AvatarAddressCheck checked = CheckAvatarAddress(c.url);
    ASSERT_TRUE(std::holds_alternative<AvatarAddress>(checked)) << c.url;
    const AvatarAddress& a = std::get<AvatarAddress>(checked);
    EXPECT_EQ(std::tie(a.host, a.port, a.path), std::tuple(std::string(c.host), c.port, c.path))
        << c.url;
    EXPECT_EQ(a.secure, (c.url[4] | 0x20) == 's') << c.url;  // "https" or "HTTPS"
  }
  for (const auto& [refusal, urls] : kRefused) {
    for (const char* url : urls) EXPECT_EQ(RefusalOf(url), refusal) << url;
  }
}

TEST(AvatarFetchPolicyTest, ClassifiesEachAddress) {
  // clang-format off
  const std::pair<bool, std::vector<const char*>> classified[] = {
      {true, {
          "203.0.113.1", "198.51.100.1", "192.0.2.1", "1.1.1.1", "223.255.255.255", "9.255.255.255",
          "11.0.0.0", "100.63.255.255", "100.128.0.0", "169.253.0.1", "172.15.255.255",
          "172.32.0.0", "192.169.0.1", "198.20.0.0", "::8.8.8.8", "::ffff:8.8.8.8",
          "64:ff9b::cb00:7101", "2002:808:808::", "2002:10a::", "::ffff:1.10.0.0", "2001:200::1",
          "2001:db9::1", "2001:cb8::1", "2606:4700::1111", "3fff::1", "2a00:1:2:3:4:5:6:7"}},
      {false, {
          "0.0.0.0", "0.255.255.255", "10.1.2.3", "100.64.0.1", "100.127.255.255", "127.255.0.1",
          "169.254.169.254", "172.16.0.1", "172.31.255.255", "192.0.0.8", "192.88.99.1",
          "192.88.99.255", "192.168.0.1", "198.18.0.1", "198.19.255.255", "224.0.0.1",
          "239.255.255.250", "240.0.0.1", "255.255.255.255", "::", "::1", "::127.0.0.1",
          "::ffff:10.0.0.1", "::fffe:808:808", "64:ff9b::a00:1", "2002:7f00:1::", "fc00::1",
          "fdff::1", "fe80::1",
          "fec0::1", "ff02::1", "2001::1", "2001:1ff::1", "2001:db8::1", "4000::1", "1fff::1",
          "1:2:3:4:5:6:7:8"}},
  };
  // clang-format on
  for (const auto& [is_public, texts] : classified) {
    for (const char* text : texts) {
      const std::optional<IpAddress> address = ParseIpAddress(text);
      ASSERT_TRUE(address) << text;
      EXPECT_EQ(IsPublicAddress(*address), is_public) << text;
    }
  }
}

TEST(AvatarFetchPolicyTest, ParsesOnlyWholeAddresses) {
  for (const char* text : {"", "1.2.3", "1.2.3.4.", "01.2.3.4", "1.2.3.256", "1:2:3:4:5:6:7",
                           "1:2:3:4:5:6:7:8:9", "1::2::3", ":1::", "1::2:", "12345::", "g::",
                           "::1.2.3", "1:2:3:4:5:6:7::8", "::1:2:3:4:5:6:7:8"}) {
    EXPECT_FALSE(ParseIpAddress(text)) << text;
  }
  EXPECT_EQ(ParseIpAddress("1:2:3:4:5:6:1.2.3.4"), ParseIpAddress("1:2:3:4:5:6:102:304"));
  EXPECT_EQ(ParseIpAddress("1::"), ParseIpAddress("1:0:0:0:0:0:0:0"));
  EXPECT_EQ(ParseIpAddress("1:2:3:4:5:6:7::"), ParseIpAddress("1:2:3:4:5:6:7:0"));
}

TEST(AvatarFetchPolicyTest, FollowsEachRedirect) {
  const auto from =
      std::get<AvatarAddress>(CheckAvatarAddress("https://a.example/dir/pic.png?q=1"));
  using enum AvatarRefusal;
  // clang-format off
  const std::pair<const char*, const char*> reached[] = {
      {"https://b.example/c.png", "https://b.example/c.png"},
      {"//b.example:444/c", "https://b.example:444/c"}, {"/root.png", "https://a.example/root.png"},
      {"sibling.png?x", "https://a.example/dir/sibling.png?x"},
      {"?other", "https://a.example/dir/pic.png?other"},
      {"#top", "https://a.example/dir/pic.png?q=1"}, {":x.png", "https://a.example/dir/:x.png"}};
  const std::pair<const char*, AvatarRefusal> refused[] = {
      {"p:q", kMalformedAddress}, {"file:///etc/passwd", kMalformedAddress},
      {"http://b.example/", kInsecureRedirect}, {"HTTP://b.example/", kInsecureRedirect},
      {"https://127.0.0.1/", kNonPublicAddress}, {"//localhost/", kLocalName}};
  // clang-format on
  for (const auto& [location, then] : reached) {
    AvatarRoute route(from);
    EXPECT_EQ(route.Follow(location), std::nullopt) << location;
    EXPECT_EQ(route.current().Url(), then) << location;
  }
  for (const auto& [location, refusal] : refused) {
    EXPECT_EQ(AvatarRoute(from).Follow(location), refusal) << location;
  }
}

TEST(AvatarFetchPolicyTest, FollowsAtMostThreeRedirects) {
  AvatarRoute route(std::get<AvatarAddress>(CheckAvatarAddress("http://a.example/")));
  EXPECT_EQ(route.Follow("http://[2606:4700::1]:8080/x"), std::nullopt);
  EXPECT_EQ(route.current().Url(), "http://[2606:4700:0:0:0:0:0:1]:8080/x");
  EXPECT_EQ(route.Follow("https://b.example/"), std::nullopt);
  EXPECT_EQ(route.Follow("https://c.example/"), std::nullopt);
  EXPECT_EQ(route.Follow("https://d.example/"), AvatarRefusal::kTooManyRedirects);
  EXPECT_EQ(route.current().host, "c.example");
}

TEST(AvatarFetchPolicyTest, NamesEachRefusal) {
  EXPECT_EQ(AvatarRefusalWord(AvatarRefusal::kMalformedAddress), "malformed_address");
  EXPECT_EQ(AvatarRefusalWord(AvatarRefusal::kLocalName), "local_name");
  EXPECT_EQ(AvatarRefusalWord(AvatarRefusal::kNonPublicAddress), "non_public_address");
  EXPECT_EQ(AvatarRefusalWord(AvatarRefusal::kInsecureRedirect), "insecure_redirect");
  EXPECT_EQ(AvatarRefusalWord(AvatarRefusal::kTooManyRedirects), "too_many_redirects");
}

}  // namespace
