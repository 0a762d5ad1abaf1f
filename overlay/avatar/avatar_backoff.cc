#include "overlay/avatar/avatar_backoff.h"

#include <algorithm>

bool AvatarBackoff::MayFetch(const std::string& url, Clock::time_point now) const {
  const auto found = rests_.find(url);
  return found == rests_.end() || now >= found->second.until;
}

void AvatarBackoff::RecordFailure(const std::string& url, AvatarFailure failure,
                                  Clock::time_point now) {
  Forget(now);
  const std::chrono::seconds first =
      failure == AvatarFailure::kContent ? kFirstContentRest : kFirstNetworkRest;
  const auto found = rests_.find(url);
  std::chrono::seconds length = first;
  if (found != rests_.end()) {
    length = std::max(first, std::min(2 * found->second.length, kLongestRest));
  } else if (rests_.size() >= kMostRemembered) {
    rests_.erase(std::min_element(rests_.begin(), rests_.end(), [](const auto& a, const auto& b) {
      return a.second.until < b.second.until;
    }));
  }
  rests_[url] = Rest{now + length, length};
}

void AvatarBackoff::RecordSuccess(const std::string& url) { rests_.erase(url); }

void AvatarBackoff::Forget(Clock::time_point now) {
  std::erase_if(rests_,
                [now](const auto& entry) { return now - entry.second.until >= kLongestRest; });
}
