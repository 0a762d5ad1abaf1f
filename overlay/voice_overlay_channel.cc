#include "overlay/voice_overlay_channel.h"

#include <mutex>
#include <utility>
#include <variant>

#include "channels/argument_lookup.h"
#include "overlay/member_text_limits.h"

namespace {

constexpr char kSetConfigMethod[] = "setConfig";
constexpr char kSetSessionMethod[] = "setSession";
constexpr char kSetMembersMethod[] = "setMembers";

constexpr char kEnabledKey[] = "enabled";
constexpr char kScaleKey[] = "scale";
constexpr char kOpacityKey[] = "opacity";
constexpr char kPositionKey[] = "position";
constexpr char kActiveKey[] = "active";
constexpr char kMembersKey[] = "members";
constexpr char kNameKey[] = "name";
constexpr char kSpeakingKey[] = "speaking";
constexpr char kMutedKey[] = "muted";
constexpr char kAvatarUrlKey[] = "avatarUrl";

constexpr char kInvalidArgumentCode[] = "invalid_argument";
constexpr char kExpectedMapMessage[] = "Expected a map.";
constexpr char kMissingMembersMessage[] = "Missing members.";
constexpr char kMembersNotListMessage[] = "members must be a list.";

void SetConfig(const flutter::EncodableMap& arguments, OverlayState& state) {
  std::lock_guard lock(state.state_mutex);
  state.enabled = flutter::LookupBool(arguments, kEnabledKey, state.enabled);
  state.scale = ClampScale(flutter::LookupNumber(arguments, kScaleKey, state.scale));
  state.opacity = ClampOpacity(flutter::LookupNumber(arguments, kOpacityKey, state.opacity));
  state.position = flutter::LookupString(arguments, kPositionKey, state.position);
}

void SetSession(const flutter::EncodableMap& arguments, OverlayState& state) {
  const bool active = flutter::LookupBool(arguments, kActiveKey, false);
  std::lock_guard lock(state.state_mutex);
  state.active = active;
  if (!active) {
    state.members.clear();
  }
}

std::vector<std::string> AvatarUrls(OverlayState& state) {
  std::lock_guard lock(state.state_mutex);
  std::vector<std::string> urls;
  for (const OverlayMember& member : state.members) {
    if (!member.avatar_url.empty()) {
      urls.push_back(member.avatar_url);
    }
  }
  return urls;
}

}  // namespace

std::vector<OverlayMember> ParseMembers(const flutter::EncodableList& list,
                                        const Utf16Converter& to_utf16) {
  std::vector<OverlayMember> members;
  for (const flutter::EncodableValue& element : list) {
    if (members.size() == kMaxOverlayMembers) {
      break;
    }
    const auto* map = std::get_if<flutter::EncodableMap>(&element);
    if (map == nullptr) {
      continue;
    }
    OverlayMember member;
    const std::string name = flutter::LookupString(*map, kNameKey, "");
    member.name = CleanMemberName(to_utf16(MemberNameInput(name)));
    if (member.name.empty()) {
      member.name = kDefaultMemberName;
    }
    member.speaking = flutter::LookupBool(*map, kSpeakingKey, false);
    member.muted = flutter::LookupBool(*map, kMutedKey, false);
    member.avatar_url = BoundedAvatarUrl(flutter::LookupString(*map, kAvatarUrlKey, ""));
    members.push_back(std::move(member));
  }
  return members;
}

void HandleVoiceOverlayCall(const flutter::MethodCall& call,
                            std::unique_ptr<flutter::MethodResult> result, OverlayState& state,
                            const VoiceOverlayCallHooks& hooks) {
  const std::string& method = call.method_name();
  if (method != kSetConfigMethod && method != kSetSessionMethod && method != kSetMembersMethod) {
    result->NotImplemented();
    return;
  }
  const flutter::EncodableMap* arguments = flutter::MapArgument(call.arguments());
  if (arguments == nullptr) {
    result->Error(kInvalidArgumentCode, kExpectedMapMessage);
    return;
  }

  if (method == kSetConfigMethod) {
    SetConfig(*arguments, state);
  } else if (method == kSetSessionMethod) {
    SetSession(*arguments, state);
  } else {
    const flutter::EncodableValue* members_value = flutter::FindValue(*arguments, kMembersKey);
    if (members_value == nullptr) {
      result->Error(kInvalidArgumentCode, kMissingMembersMessage);
      return;
    }
    const auto* list = std::get_if<flutter::EncodableList>(members_value);
    if (list == nullptr) {
      result->Error(kInvalidArgumentCode, kMembersNotListMessage);
      return;
    }
    std::vector<OverlayMember> members = ParseMembers(*list, hooks.to_utf16);
    {
      std::lock_guard lock(state.state_mutex);
      state.members = std::move(members);
    }
    // Only queued: the fetcher's thread downloads them and the answer does not
    // wait; duplicates cost a lookup.
    for (const std::string& url : AvatarUrls(state)) {
      hooks.get_avatar(url);
    }
  }
  hooks.refresh();
  result->Success(flutter::EncodableValue(true));
}
