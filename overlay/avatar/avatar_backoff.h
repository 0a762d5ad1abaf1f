#ifndef VELMO_OVERLAY_AVATAR_AVATAR_BACKOFF_H_
#define VELMO_OVERLAY_AVATAR_AVATAR_BACKOFF_H_

#include <chrono>
#include <string>
#include <unordered_map>

// Remembers avatar addresses whose fetch failed, counted from the end of the
// attempt, so that a slow or dead server is not asked again at once.
class AvatarBackoff {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kRetryInterval{30};

  // Whether `url` may be fetched at `now`: never failed, or its last failure
  // is at least kRetryInterval old.
  bool MayFetch(const std::string& url, Clock::time_point now) const;
  // Also forgets failures old enough to be retried, so addresses that are
  // never asked again do not pile up.
  void RecordFailure(const std::string& url, Clock::time_point now);
  void RecordSuccess(const std::string& url);

 private:
  std::unordered_map<std::string, Clock::time_point> last_failure_;
};

#endif  // VELMO_OVERLAY_AVATAR_AVATAR_BACKOFF_H_
