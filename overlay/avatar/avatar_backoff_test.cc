#include "overlay/avatar/avatar_backoff.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using std::chrono::seconds;
using Failures = std::vector<AvatarFailure>;
constexpr auto kNetwork = AvatarFailure::kNetwork;
constexpr auto kContent = AvatarFailure::kContent;
const auto kStart = AvatarBackoff::Clock::time_point{} + std::chrono::hours(1);
const std::string kUrl = "http://a";

// Fails kUrl once for each of `failures`, each as soon as the rest before it
// ended; returns when the last rest ends.
AvatarBackoff::Clock::time_point FailInARow(AvatarBackoff& backoff, const Failures& failures) {
  auto now = kStart;
  for (AvatarFailure failure : failures) {
    while (!backoff.MayFetch(kUrl, now)) now += seconds(1);
    backoff.RecordFailure(kUrl, failure, now);
  }
  while (!backoff.MayFetch(kUrl, now)) now += seconds(1);
  return now;
}

TEST(AvatarBackoffTest, RestDoublesFromItsKindUpToTheLongest) {
  // Failures in a row, and the rest after the last of them.
  // clang-format off
  const std::pair<Failures, seconds> cases[] = {
      {{kNetwork}, seconds(30)}, {{kNetwork, kNetwork}, seconds(60)},
      {Failures(6, kNetwork), seconds(960)}, {Failures(7, kNetwork), seconds(1800)},
      {Failures(40, kNetwork), seconds(1800)},  // no overflow
      {{kContent}, seconds(120)}, {Failures(3, kContent), seconds(480)},
      {Failures(5, kContent), seconds(1800)},
      {{kNetwork, kNetwork, kContent}, seconds(120)}, {{kContent, kNetwork}, seconds(240)}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    const auto& [failures, rest] = c;
    AvatarBackoff backoff;
    const auto failed = FailInARow(backoff, {failures.begin(), failures.end() - 1});
    backoff.RecordFailure(kUrl, failures.back(), failed);
    EXPECT_FALSE(backoff.MayFetch(kUrl, failed + rest - seconds(1)));
    EXPECT_TRUE(backoff.MayFetch(kUrl, failed + rest));
    EXPECT_TRUE(backoff.MayFetch("http://b", failed));  // others are not held back
    backoff.RecordSuccess(kUrl);                        // which resets the rest
    backoff.RecordFailure(kUrl, kNetwork, failed);
    EXPECT_TRUE(backoff.MayFetch(kUrl, failed + seconds(30)));
  }
}

TEST(AvatarBackoffTest, RemembersBoundedlyMany) {
  AvatarBackoff backoff;
  backoff.RecordFailure("http://soonest", kNetwork, kStart);
  for (std::size_t i = 1; i <= AvatarBackoff::kMostRemembered; ++i) {
    backoff.RecordFailure("http://" + std::to_string(i), kContent, kStart);
  }
  EXPECT_EQ(backoff.remembered(), AvatarBackoff::kMostRemembered);
  EXPECT_TRUE(backoff.MayFetch("http://soonest", kStart)) << "the one free soonest went";
  EXPECT_FALSE(backoff.MayFetch("http://1", kStart));
  EXPECT_FALSE(backoff.MayFetch("http://256", kStart));

  // Free for the longest rest since its own rest ended: not asked again.
  const auto free = kStart + AvatarBackoff::kFirstContentRest;
  backoff.RecordFailure("http://late", kNetwork, free + AvatarBackoff::kLongestRest - seconds(1));
  EXPECT_EQ(backoff.remembered(), AvatarBackoff::kMostRemembered);
  backoff.RecordFailure("http://later", kNetwork, free + AvatarBackoff::kLongestRest);
  EXPECT_EQ(backoff.remembered(), 2u);
}

}  // namespace
