#ifndef VELMO_ACTIVITY_ACTIVITY_CLASSIFIER_H_
#define VELMO_ACTIVITY_ACTIVITY_CLASSIFIER_H_

#include <span>
#include <string>
#include <string_view>

#include "activity/activity_table.h"
#include "channels/encodable_value.h"

// The form process names are compared in: ASCII letters folded to lower case
// and one trailing ".exe" (in any case) removed, unless the name is nothing
// but ".exe".
std::u16string NormalizeProcessName(std::u16string_view name);

// Lower is preferred: any game before any music player before any app.
int CategoryRank(std::string_view category);

// The rule that best describes a set of running processes, given their
// normalised names in snapshot order; null when no rule matches any of them.
// A better category always wins; within one, an exact name beats a substring
// and a longer key a shorter one; ties go to the process met first, then to
// the earlier rule.
const ActivityRule* FindActivityRule(std::span<const std::u16string> normalized_names);

// The "detect" answer for those processes: null, or a map of "type" (the
// category) and "name" (the display name).
flutter::EncodableValue ActivityReply(std::span<const std::u16string> normalized_names);

#endif  // VELMO_ACTIVITY_ACTIVITY_CLASSIFIER_H_
