#include "overlay/avatar/avatar_naming.h"

#include <gtest/gtest.h>

#include "overlay/avatar/avatar_backoff.h"

namespace {

TEST(AvatarNaming, FileNameFromFnv1a) {
  EXPECT_EQ(OldAvatarFileName("abc"), "a_1a47e90b.img");
  EXPECT_EQ(OldAvatarFileName(""), "a_811c9dc5.img");
  EXPECT_EQ(OldAvatarFileName("\xFF\x80"), "a_ee1eea4a.img") << "bytes are unsigned";
}

TEST(AvatarNaming, OnlyLowerCaseHttpSchemes) {
  EXPECT_TRUE(IsFetchableAvatarUrl("http://127.0.0.1/a.png"));
  EXPECT_TRUE(IsFetchableAvatarUrl("https://host/a"));
  for (const char* url : {"", "ftp://host/a.png", "HTTP://host/a.png", "Https://host/a",
                          "http:/host", " http://host/a", "file:///c:/a.png"}) {
    EXPECT_FALSE(IsFetchableAvatarUrl(url)) << url;
  }
}

TEST(AvatarBackoffTest, FailedAddressWaitsTheInterval) {
  AvatarBackoff backoff;
  const auto start = AvatarBackoff::Clock::time_point{} + std::chrono::hours(1);
  const auto retry = start + AvatarBackoff::kRetryInterval;
  backoff.RecordFailure("http://a", start);
  EXPECT_FALSE(backoff.MayFetch("http://a", retry - std::chrono::milliseconds(1)));
  EXPECT_TRUE(backoff.MayFetch("http://b", start)) << "other addresses are not held back";
  EXPECT_TRUE(backoff.MayFetch("http://a", retry));

  backoff.RecordFailure("http://a", retry);
  EXPECT_FALSE(backoff.MayFetch("http://a", retry));
  backoff.RecordSuccess("http://a");
  EXPECT_TRUE(backoff.MayFetch("http://a", retry));
}

}  // namespace
