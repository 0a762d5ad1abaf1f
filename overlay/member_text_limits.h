#ifndef VELMO_OVERLAY_MEMBER_TEXT_LIMITS_H_
#define VELMO_OVERLAY_MEMBER_TEXT_LIMITS_H_

#include <cstddef>
#include <string>
#include <string_view>

// Names and avatar addresses come from other people: every new label is
// measured and drawn on the main thread, and every address is fetched, so
// both are bounded before they reach the state.
inline constexpr std::size_t kMaxMemberNameCodePoints = 64;
inline constexpr std::size_t kMaxAvatarUrlBytes = 2048;
// Enough UTF-8 for the longest name kept even behind a run of dropped
// characters, so a huge name is not converted whole.
inline constexpr std::size_t kMaxMemberNameInputBytes = 4096;

// The start of `utf8` up to kMaxMemberNameInputBytes, cut before a lead byte.
std::string_view MemberNameInput(std::string_view utf8);

// `name` without control characters or bidirectional controls (embeddings,
// overrides, isolates and marks, which could reorder the rest of the
// overlay's text), cut after kMaxMemberNameCodePoints code points.
std::u16string CleanMemberName(std::u16string_view name);

// `url`, or empty (no picture, the initial is drawn) past kMaxAvatarUrlBytes.
std::string BoundedAvatarUrl(std::string url);

#endif  // VELMO_OVERLAY_MEMBER_TEXT_LIMITS_H_
