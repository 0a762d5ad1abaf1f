#include "overlay/avatar/avatar_backoff.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using std::chrono::seconds;
using Failures = std::vector<AvatarFailure>;
constexpr auto kNetwork = AvatarFailure::kNetwork;
constexpr auto kContent = AvatarFailure::kContent;
const auto kStart = AvatarBackoff::Clock::time_point{} + std::chrono::hours(1);
const std::string kUrl = "http://a";

// Fails `url` once for each of `failures`, each as soon as the rest before
// it ended; returns when the last rest ends.
AvatarBackoff::Clock::time_point FailInARow(AvatarBackoff& backoff, const std::string& url,
                                            const Failures& failures,
                                            AvatarBackoff::Clock::time_point now) {
  for (AvatarFailure failure : failures) {
    while (!backoff.MayFetch(url, now)) now += seconds(1);
    backoff.RecordFailure(url, failure, now);
  }
  while (!backoff.MayFetch(url, now)) now += seconds(1);
  return now;
}

TEST(AvatarBackoffTest, RestDoublesFromItsKindUpToTheLongest) {
  const struct {
    const char* name;
    Failures failures;
    seconds rest;  // after the last failure
  } cases[] = {
      {"network", {kNetwork}, seconds(30)},
      {"network twice", {kNetwork, kNetwork}, seconds(60)},
      {"network six times", Failures(6, kNetwork), seconds(960)},
      {"network seven times", Failures(7, kNetwork), seconds(1800)},
      {"network forty times", Failures(40, kNetwork), seconds(1800)},  // no overflow
      {"content", {kContent}, seconds(120)},
      {"content three times", Failures(3, kContent), seconds(480)},
      {"content five times", Failures(5, kContent), seconds(1800)},
      {"network, then content", {kNetwork, kNetwork, kContent}, seconds(120)},
      {"content, then network", {kContent, kNetwork}, seconds(240)},
  };
  for (const auto& c : cases) {
    AvatarBackoff backoff;
    Failures before(c.failures.begin(), c.failures.end() - 1);
    const auto failed = FailInARow(backoff, kUrl, before, kStart);
    backoff.RecordFailure(kUrl, c.failures.back(), failed);
    EXPECT_FALSE(backoff.MayFetch(kUrl, failed + c.rest - seconds(1))) << c.name;
    EXPECT_TRUE(backoff.MayFetch(kUrl, failed + c.rest)) << c.name;
    EXPECT_TRUE(backoff.MayFetch("http://b", failed)) << c.name << ": others are not held back";
    backoff.RecordSuccess(kUrl);
    backoff.RecordFailure(kUrl, kNetwork, failed);
    EXPECT_TRUE(backoff.MayFetch(kUrl, failed + seconds(30))) << c.name << ": a success resets";
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
