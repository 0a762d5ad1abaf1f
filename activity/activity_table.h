#ifndef VELMO_ACTIVITY_ACTIVITY_TABLE_H_
#define VELMO_ACTIVITY_ACTIVITY_TABLE_H_

#include <array>
#include <cstddef>
#include <string_view>

// One known program: the normalised process name it is recognised by, and
// what the Flutter side shows for it.
struct ActivityRule {
  // Lower case, without ".exe".
  std::u16string_view process_key;
  // "music", "game" or "app".
  std::string_view category;
  std::u8string_view display_name;
};

inline constexpr std::size_t kActivityRuleCount = 41;

// The rules in their fixed order; among equally good matches of one process
// the earlier rule wins.
extern const std::array<ActivityRule, kActivityRuleCount> kActivityTable;

#endif  // VELMO_ACTIVITY_ACTIVITY_TABLE_H_
