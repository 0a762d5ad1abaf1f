#ifndef VELMO_OVERLAY_OVERLAY_STATE_H_
#define VELMO_OVERLAY_OVERLAY_STATE_H_

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

// One row of the overlay's member list.
struct OverlayMember {
  std::u16string name;     // never empty once parsed
  std::string avatar_url;  // UTF-8, exactly as received; may be empty
  bool speaking = false;
  bool muted = false;
  bool operator==(const OverlayMember&) const = default;
};

inline constexpr std::size_t kMaxOverlayMembers = 16;
inline constexpr double kDefaultOverlayScale = 1.15;
inline constexpr double kMinOverlayScale = 0.7;
inline constexpr double kMaxOverlayScale = 1.5;
inline constexpr double kDefaultOverlayOpacity = 0.4;
inline constexpr double kMinOverlayOpacity = 0.15;
inline constexpr double kMaxOverlayOpacity = 1.0;
inline constexpr char kDefaultOverlayPosition[] = "leftCenter";

// What the Flutter side has told the overlay. Everything from `enabled` on is
// guarded by `state_mutex`, which is only ever taken on the main thread and
// never held across drawing, file access or downloads.
struct OverlayState {
  std::mutex state_mutex;
  bool enabled = true;
  bool active = false;
  double scale = kDefaultOverlayScale;      // always within 0.7 to 1.5
  double opacity = kDefaultOverlayOpacity;  // always within 0.15 to 1.0
  std::string position = kDefaultOverlayPosition;
  std::vector<OverlayMember> members;  // at most kMaxOverlayMembers
};

// A copy of what one frame or one visibility decision needs.
struct OverlaySnapshot {
  bool enabled = true;
  bool active = false;
  double scale = kDefaultOverlayScale;
  double opacity = kDefaultOverlayOpacity;
  std::string position;
  std::vector<OverlayMember> members;
};

// Takes the lock for the copy.
OverlaySnapshot TakeSnapshot(OverlayState& state);

// The scale and opacity as stored: a NaN lands on the upper bound, as the
// upper clamp comes first and keeps its bound when the comparison fails.
double ClampScale(double scale);
double ClampOpacity(double opacity);

#endif  // VELMO_OVERLAY_OVERLAY_STATE_H_
