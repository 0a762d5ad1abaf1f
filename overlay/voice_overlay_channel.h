#ifndef VELMO_OVERLAY_VOICE_OVERLAY_CHANNEL_H_
#define VELMO_OVERLAY_VOICE_OVERLAY_CHANNEL_H_

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "channels/encodable_value.h"
#include "channels/method_call.h"
#include "channels/method_result.h"
#include "overlay/overlay_state.h"

inline constexpr char kVoiceOverlayChannelName[] = "parlora/voice_overlay";
inline constexpr char16_t kDefaultMemberName[] = u"用户";

using Utf16Converter = std::function<std::u16string(std::string_view)>;

// What a handled call asks of the overlay beyond its state.
struct VoiceOverlayCallHooks {
  // Converts member names: Utf8ToUtf16 of base/ in the product.
  Utf16Converter to_utf16;
  // Queues one avatar for fetching, without waiting; called without the
  // lock held.
  std::function<void(const std::string& url)> get_avatar;
  // Shows, hides and repaints the overlay; called without the lock held.
  std::function<void()> refresh;
};

// The member rows of a "members" list: at most 16, elements that are not maps
// skipped without counting, each field falling back as the channel defines.
std::vector<OverlayMember> ParseMembers(const flutter::EncodableList& list,
                                        const Utf16Converter& to_utf16);

// Answers one call of "parlora/voice_overlay" against `state`.
void HandleVoiceOverlayCall(const flutter::MethodCall& call,
                            std::unique_ptr<flutter::MethodResult> result, OverlayState& state,
                            const VoiceOverlayCallHooks& hooks);

#endif  // VELMO_OVERLAY_VOICE_OVERLAY_CHANNEL_H_
