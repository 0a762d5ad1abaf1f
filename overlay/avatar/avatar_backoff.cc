#include "overlay/avatar/avatar_backoff.h"

bool AvatarBackoff::MayFetch(const std::string& url, Clock::time_point now) const {
  const auto found = last_failure_.find(url);
  return found == last_failure_.end() || now - found->second >= kRetryInterval;
}

void AvatarBackoff::RecordFailure(const std::string& url, Clock::time_point now) {
  std::erase_if(last_failure_,
                [now](const auto& entry) { return now - entry.second >= kRetryInterval; });
  last_failure_[url] = now;
}

void AvatarBackoff::RecordSuccess(const std::string& url) { last_failure_.erase(url); }
