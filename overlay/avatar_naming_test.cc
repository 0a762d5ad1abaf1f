#include "overlay/avatar_naming.h"

#include <gtest/gtest.h>

#include "overlay/avatar_backoff.h"

namespace {

TEST(AvatarNaming, FileNameFromFnv1a) {
  EXPECT_EQ(Fnv1a32(""), 0x811C9DC5u);
  EXPECT_EQ(Fnv1a32("abc"), 0x1A47E90Bu);
  EXPECT_EQ(AvatarFileName("abc"), "a_1a47e90b.img");
  EXPECT_EQ(AvatarFileName(""), "a_811c9dc5.img");
  EXPECT_EQ(
      AvatarFileName("\xFF\x80"), "a_" +
                                      [] {
                                        char hex[9];
                                        std::snprintf(hex, sizeof(hex), "%08x",
                                                      Fnv1a32("\xFF\x80"));
                                        return std::string(hex);
                                      }() +
                                      ".img")
      << "bytes are unsigned";
  EXPECT_NE(Fnv1a32("\xFF"), Fnv1a32("\x7F"));
}

TEST(AvatarNaming, OnlyLowerCaseHttpSchemes) {
  EXPECT_TRUE(IsFetchableAvatarUrl("http://127.0.0.1/a.png"));
  EXPECT_TRUE(IsFetchableAvatarUrl("https://host/a"));
  for (const char* url : {"", "ftp://host/a.png", "HTTP://host/a.png", "Https://host/a",
                          "host/a.png", "http:/host", " http://host/a", "file:///c:/a.png"}) {
    EXPECT_FALSE(IsFetchableAvatarUrl(url)) << url;
  }
}

TEST(AvatarBackoffTest, FailedAddressWaitsTheInterval) {
  AvatarBackoff backoff;
  const auto start = AvatarBackoff::Clock::time_point{} + std::chrono::hours(1);
  EXPECT_TRUE(backoff.MayFetch("http://a", start));
  backoff.RecordFailure("http://a", start);
  EXPECT_FALSE(backoff.MayFetch("http://a", start + std::chrono::milliseconds(400)));
  EXPECT_FALSE(backoff.MayFetch(
      "http://a", start + AvatarBackoff::kRetryInterval - std::chrono::milliseconds(1)));
  EXPECT_TRUE(backoff.MayFetch("http://b", start)) << "other addresses are not held back";
  EXPECT_TRUE(backoff.MayFetch("http://a", start + AvatarBackoff::kRetryInterval));

  backoff.RecordFailure("http://a", start + AvatarBackoff::kRetryInterval);
  EXPECT_FALSE(backoff.MayFetch("http://a", start + AvatarBackoff::kRetryInterval));
  backoff.RecordSuccess("http://a");
  EXPECT_TRUE(backoff.MayFetch("http://a", start + AvatarBackoff::kRetryInterval));
}

}  // namespace
