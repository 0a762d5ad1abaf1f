#include "overlay/avatar/avatar_fetch_policy.h"

#include <gtest/gtest.h>

namespace {

// No case here opens a connection: these are only addresses to classify.
struct Case {
  const char* url;
  std::optional<AvatarRefusal> refusal;  // none: allowed
  const char* host = "";                 // what the network is handed, when allowed
  uint16_t port = 0;
  const char* path = "";
};

constexpr auto kMalformed = AvatarRefusal::kMalformedAddress;
constexpr auto kLocal = AvatarRefusal::kLocalName;
constexpr auto kPrivate = AvatarRefusal::kNonPublicAddress;

const Case kAddresses[] = {
    {"http://203.0.113.7/a.png", std::nullopt, "203.0.113.7", 80, "/a.png"},
    {"HTTPS://Avatars.Example.COM./x?y=1#frag", std::nullopt, "avatars.example.com", 443, "/x?y=1"},
    {"https://host:8443", std::nullopt, "host", 8443, "/"},
    {"http://host?q", std::nullopt, "host", 80, "/?q"},
    {"http://[2606:4700::1111]:81/p", std::nullopt, "2606:4700:0:0:0:0:0:1111", 81, "/p"},
    {"http://8.8.8.8/", std::nullopt, "8.8.8.8", 80, "/"},
    {"http://0xcb.0.113.1/", std::nullopt, "203.0.113.1", 80, "/"},
    {"ftp://203.0.113.7/", kMalformed},
    {"http:/203.0.113.7/", kMalformed},
    {"http://", kMalformed},
    {"http://:80/", kMalformed},
    {"http://a@203.0.113.7/", kMalformed},
    {"http://203.0.113.7@127.0.0.1/", kMalformed},
    {"http://%31%32%37.0.0.1/", kMalformed},
    {"http://host name/", kMalformed},
    {"http://host\\@127.0.0.1/", kMalformed},
    {"http://ho\xc3\xa9st/", kMalformed},
    {"http://host:/", kMalformed},
    {"http://host:0/", kMalformed},
    {"http://host:65536/", kMalformed},
    {"http://host:8x/", kMalformed},
    {"http://host:65535/", std::nullopt, "host", 65535, "/"},
    {"http://host..", kMalformed},
    {"http://a..b/", kMalformed},
    {"http://-_/", std::nullopt, "-_", 80, "/"},
    {"http://a+b/", kMalformed},
    {"http://[::1/", kMalformed},
    {"http://[::1]x/", kMalformed},
    {"http://[fe80::1%25eth0]/", kMalformed},
    {"http://999.0.0.1/", kMalformed},
    {"http://1.2.3.4.5/", kMalformed},
    {"http://1.2.3.4.0/", kMalformed},
    {"http://203.0.113.256/", kMalformed},
    {"http://host/a b", kMalformed},
    {"http://host/a\x7f", kMalformed},
    {"http://host/a\x01", kMalformed},
    {"http://z.zz/", std::nullopt, "z.zz", 80, "/"},
    {"http://0x/", kPrivate},
    {"http://09.0.0.1/", kMalformed},
    {"http://localhost/", kLocal},
    {"http://LocalHost./", kLocal},
    {"http://a.localhost/", kLocal},
    {"http://localhost.example/", std::nullopt, "localhost.example", 80, "/"},
    {"http://notlocalhost/", std::nullopt, "notlocalhost", 80, "/"},
    {"http://127.0.0.1:8080/api", kPrivate},
    {"http://127.0.0.1./", kPrivate},
    {"http://2130706433/", kPrivate},
    {"http://0x7f.1/", kPrivate},
    {"http://0177.0.0.1/", kPrivate},
    {"http://127.1/", kPrivate},
    {"http://0x7F000001/", kPrivate},
    {"http://192.168.1.1/cgi-bin/x?reboot=1", kPrivate},
    {"http://[::1]/", kPrivate},
    {"http://[::ffff:127.0.0.1]/", kPrivate},
    {"http://[::ffff:7f00:1]/", kPrivate},
    {"http://[::ffff:203.0.113.9]/", std::nullopt, "0:0:0:0:0:ffff:cb00:7109", 80, "/"},
};

TEST(AvatarFetchPolicyTest, ChecksEachAddress) {
  for (const Case& c : kAddresses) {
    const AvatarAddressCheck checked = CheckAvatarAddress(c.url);
    if (c.refusal) {
      ASSERT_TRUE(std::holds_alternative<AvatarRefusal>(checked)) << c.url;
      EXPECT_EQ(std::get<AvatarRefusal>(checked), *c.refusal) << c.url;
      continue;
    }
    ASSERT_TRUE(std::holds_alternative<AvatarAddress>(checked)) << c.url;
    const AvatarAddress& address = std::get<AvatarAddress>(checked);
    EXPECT_EQ(address.host, c.host) << c.url;
    EXPECT_EQ(address.port, c.port) << c.url;
    EXPECT_EQ(address.path, c.path) << c.url;
    EXPECT_EQ(address.secure, std::string_view(c.url).substr(0, 5) == "HTTPS" ||
                                  std::string_view(c.url).substr(0, 5) == "https")
        << c.url;
  }
}

struct Classified {
  const char* address;
  bool is_public;
};

const Classified kClassified[] = {
    {"203.0.113.1", true},
    {"198.51.100.1", true},
    {"192.0.2.1", true},
    {"1.1.1.1", true},
    {"223.255.255.255", true},
    {"0.0.0.0", false},
    {"0.255.255.255", false},
    {"10.1.2.3", false},
    {"9.255.255.255", true},
    {"11.0.0.0", true},
    {"100.64.0.1", false},
    {"100.127.255.255", false},
    {"100.63.255.255", true},
    {"100.128.0.0", true},
    {"127.255.0.1", false},
    {"169.254.169.254", false},
    {"169.253.0.1", true},
    {"172.16.0.1", false},
    {"172.31.255.255", false},
    {"172.15.255.255", true},
    {"172.32.0.0", true},
    {"192.0.0.8", false},
    {"192.88.99.1", false},
    {"192.168.0.1", false},
    {"192.169.0.1", true},
    {"198.18.0.1", false},
    {"198.19.255.255", false},
    {"198.20.0.0", true},
    {"224.0.0.1", false},
    {"239.255.255.250", false},
    {"240.0.0.1", false},
    {"255.255.255.255", false},
    {"::", false},
    {"::1", false},
    {"::127.0.0.1", false},
    {"::8.8.8.8", true},
    {"::ffff:10.0.0.1", false},
    {"::ffff:8.8.8.8", true},
    {"::fffe:808:808", false},
    {"64:ff9b::a00:1", false},
    {"64:ff9b::808:808", true},
    {"2002:7f00:1::", false},
    {"2002:808:808::", true},
    {"2002:10a::", true},
    {"::ffff:1.10.0.0", true},
    {"fc00::1", false},
    {"fdff::1", false},
    {"fe80::1", false},
    {"fec0::1", false},
    {"ff02::1", false},
    {"2001::1", false},
    {"2001:1ff::1", false},
    {"2001:200::1", true},
    {"2001:db8::1", false},
    {"2001:db9::1", true},
    {"2001:cb8::1", true},
    {"2606:4700::1111", true},
    {"3fff::1", true},
    {"4000::1", false},
    {"1fff::1", false},
    {"1:2:3:4:5:6:7:8", false},
    {"2a00:1:2:3:4:5:6:7", true},
};

TEST(AvatarFetchPolicyTest, ClassifiesEachAddress) {
  for (const Classified& c : kClassified) {
    const std::optional<IpAddress> address = ParseIpAddress(c.address);
    ASSERT_TRUE(address) << c.address;
    EXPECT_EQ(IsPublicAddress(*address), c.is_public) << c.address;
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

struct Hop {
  const char* location;
  std::optional<AvatarRefusal> refusal;
  const char* then = "";  // the address reached
};

// Each row follows one Location from the same address.
const Hop kHops[] = {
    {"https://b.example/c.png", std::nullopt, "https://b.example/c.png"},
    {"//b.example:444/c", std::nullopt, "https://b.example:444/c"},
    {"/root.png", std::nullopt, "https://a.example/root.png"},
    {"sibling.png?x", std::nullopt, "https://a.example/dir/sibling.png?x"},
    {"?other", std::nullopt, "https://a.example/dir/pic.png?other"},
    {"#top", std::nullopt, "https://a.example/dir/pic.png?q=1"},
    {"p:q", AvatarRefusal::kMalformedAddress},
    {"http://b.example/", AvatarRefusal::kInsecureRedirect},
    {"HTTP://b.example/", AvatarRefusal::kInsecureRedirect},
    {"https://127.0.0.1/", AvatarRefusal::kNonPublicAddress},
    {"//localhost/", AvatarRefusal::kLocalName},
    {"file:///etc/passwd", AvatarRefusal::kMalformedAddress},
};

TEST(AvatarFetchPolicyTest, FollowsEachRedirect) {
  for (const Hop& hop : kHops) {
    AvatarRoute route(
        std::get<AvatarAddress>(CheckAvatarAddress("https://a.example/dir/pic.png?q=1")));
    EXPECT_EQ(route.Follow(hop.location), hop.refusal) << hop.location;
    if (!hop.refusal) {
      EXPECT_EQ(route.current().Url(), hop.then) << hop.location;
    }
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
