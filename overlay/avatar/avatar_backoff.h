#ifndef VELMO_OVERLAY_AVATAR_AVATAR_BACKOFF_H_
#define VELMO_OVERLAY_AVATAR_AVATAR_BACKOFF_H_

#include <chrono>
#include <cstddef>
#include <string>
#include <unordered_map>

// Why a fetch failed, as far as trying again is concerned: a network failure
// may pass soon, while a server that sent something other than a usable
// picture will most likely send it again.
enum class AvatarFailure { kNetwork, kContent };

// Remembers avatar addresses whose fetch failed, counted from the end of the
// attempt, and keeps each back for twice as long after every failure in a
// row, so that a dead or hostile server costs little bandwidth.
class AvatarBackoff {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kFirstNetworkRest{30};
  static constexpr std::chrono::seconds kFirstContentRest{120};
  static constexpr std::chrono::seconds kLongestRest{30 * 60};
  static constexpr std::size_t kMostRemembered = 256;

  // Whether `url` may be fetched at `now`: never failed, or its rest is over.
  bool MayFetch(const std::string& url, Clock::time_point now) const;
  // Starts or doubles the address's rest. Also forgets addresses whose rest
  // has been over for kLongestRest, and beyond kMostRemembered the one free
  // soonest, so that addresses never asked again do not pile up.
  void RecordFailure(const std::string& url, AvatarFailure failure, Clock::time_point now);
  void RecordSuccess(const std::string& url);
  std::size_t remembered() const { return rests_.size(); }

 private:
  struct Rest {
    Clock::time_point until;
    std::chrono::seconds length;
  };
  void Forget(Clock::time_point now);

  std::unordered_map<std::string, Rest> rests_;
};

#endif  // VELMO_OVERLAY_AVATAR_AVATAR_BACKOFF_H_
