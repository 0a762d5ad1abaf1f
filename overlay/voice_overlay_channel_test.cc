#include "overlay/voice_overlay_channel.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "base/utf8_to_utf16.h"
#include "overlay/member_text_limits.h"

namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

// Writes the answer as "true", "error <code> <message>", "not implemented" or "other".
class RecordingResult : public flutter::MethodResult {
 public:
  explicit RecordingResult(std::vector<std::string>& answers) : answers_(answers) {}

 protected:
  void SuccessInternal(const EncodableValue* value) override {
    answers_.push_back(value != nullptr && *value == EncodableValue(true) ? "true" : "other");
  }
  void ErrorInternal(const std::string& code, const std::string& message,
                     const EncodableValue* details) override {
    answers_.push_back("error " + code + " " + message + (details ? " with details" : ""));
  }
  void NotImplementedInternal() override { answers_.push_back("not implemented"); }

 private:
  std::vector<std::string>& answers_;
};

EncodableValue Map(EncodableMap map) { return EncodableValue(std::move(map)); }

EncodableValue Member(std::optional<EncodableValue> name, bool speaking = false,
                      std::optional<EncodableValue> url = std::nullopt) {
  EncodableMap map{{EncodableValue("speaking"), EncodableValue(speaking)},
                   {EncodableValue("muted"), EncodableValue(speaking)}};
  if (name) map[EncodableValue("name")] = *name;
  if (url) map[EncodableValue("avatarUrl")] = *url;
  return Map(std::move(map));
}

class VoiceOverlayChannelTest : public ::testing::Test {
 protected:
  std::string Call(const std::string& method, std::optional<EncodableValue> arguments) {
    std::vector<std::string> answers;
    auto owned = arguments ? std::make_unique<EncodableValue>(*arguments) : nullptr;
    HandleVoiceOverlayCall(flutter::MethodCall(method, std::move(owned)),
                           std::make_unique<RecordingResult>(answers), state_, hooks_);
    EXPECT_EQ(answers.size(), 1u) << method;
    return answers.empty() ? "" : answers.front();
  }
  std::string Members(EncodableList list) {
    return Call("setMembers", Map({{EncodableValue("members"), EncodableValue(list)}}));
  }
  // Avatars and the refresh run without the lock held.
  void ExpectUnlocked() {
    EXPECT_TRUE(state_.state_mutex.try_lock());
    state_.state_mutex.unlock();
  }

  OverlayState state_;
  std::vector<std::string> fetched_;
  int refreshes_ = 0;
  VoiceOverlayCallHooks hooks_{Utf8ToUtf16,
                               [this](const std::string& url) {
                                 ExpectUnlocked();
                                 fetched_.push_back(url);
                               },
                               [this] {
                                 ExpectUnlocked();
                                 ++refreshes_;
                               }};
};

TEST_F(VoiceOverlayChannelTest, MalformedCallsAreRejectedWithoutTouchingState) {
  state_.active = true;
  state_.members = {OverlayMember{u"Ann", "", false, false}};
  const std::string map = "error invalid_argument Expected a map.";
  const std::string list = "error invalid_argument members must be a list.";
  EXPECT_EQ(Call("setConfig", std::nullopt), map);
  EXPECT_EQ(Call("setSession", EncodableValue(false)), map);
  EXPECT_EQ(Call("setMembers", EncodableValue(EncodableList{})), map);
  EXPECT_EQ(Call("setMembers", Map({})), "error invalid_argument Missing members.");
  EXPECT_EQ(Call("setMembers", Map({{EncodableValue("members"), Map({})}})), list);
  EXPECT_EQ(Call("setMembers", Map({{EncodableValue("members"), EncodableValue()}})), list);
  EXPECT_EQ(Call("SetMembers", Map({})), "not implemented");
  EXPECT_TRUE(state_.active);
  EXPECT_EQ(state_.members.size(), 1u);
  EXPECT_EQ(refreshes_, 0);
}

TEST_F(VoiceOverlayChannelTest, ConfigClampsAndFallsBack) {
  // Each value is sent as both scale and opacity: expected scale, opacity.
  const std::vector<std::tuple<EncodableValue, double, double>> cases = {
      {EncodableValue(int32_t{3}), 1.5, 1.0},
      {EncodableValue(0.5), 0.7, 0.5},
      {EncodableValue(0.0), 0.7, 0.15},
      {EncodableValue(std::numeric_limits<double>::quiet_NaN()), 1.5, 1.0},
      {EncodableValue(std::string("1.2")), 1.15, 0.4},
      {EncodableValue(int64_t{1} << 40), 1.15, 0.4},
  };
  for (const auto& [value, scale, opacity] : cases) {
    state_.scale = 1.15;
    state_.opacity = 0.4;
    EXPECT_EQ(Call("setConfig",
                   Map({{EncodableValue("scale"), value}, {EncodableValue("opacity"), value}})),
              "true");
    EXPECT_DOUBLE_EQ(state_.scale, scale);
    EXPECT_DOUBLE_EQ(state_.opacity, opacity);
  }

  Call("setConfig", Map({{EncodableValue("enabled"), EncodableValue(int32_t{1})},
                         {EncodableValue("position"), EncodableValue(int32_t{2})}}));
  EXPECT_TRUE(state_.enabled);
  EXPECT_EQ(state_.position, "leftCenter");
  Call("setConfig", Map({{EncodableValue("enabled"), EncodableValue(false)},
                         {EncodableValue("position"), EncodableValue("anything")}}));
  EXPECT_FALSE(state_.enabled);
  EXPECT_EQ(state_.position, "anything");
  EXPECT_EQ(refreshes_, static_cast<int>(cases.size()) + 2);
}

TEST_F(VoiceOverlayChannelTest, SessionOffEmptiesMembersAndDefaultsToOff) {
  Members({Member(EncodableValue("Ann"))});
  Call("setSession", Map({{EncodableValue("active"), EncodableValue(true)}}));
  EXPECT_TRUE(state_.active);
  EXPECT_EQ(state_.members.size(), 1u) << "members are kept while inactive";

  Call("setSession", Map({{EncodableValue("active"), EncodableValue(int32_t{1})}}));
  EXPECT_FALSE(state_.active) << "a mistyped flag means off";
  EXPECT_TRUE(state_.members.empty());

  state_.active = true;
  EXPECT_EQ(Call("setSession", Map({})), "true");
  EXPECT_FALSE(state_.active);
}

TEST_F(VoiceOverlayChannelTest, MembersFieldsDefaultsAndTheSixteenLimit) {
  EncodableList list = {EncodableValue(int32_t{1}),
                        Member(EncodableValue("Bob"), true, EncodableValue("http://a/b")),
                        Member(std::nullopt),
                        Member(EncodableValue("")),
                        Member(EncodableValue(int32_t{5}), false, EncodableValue(int32_t{7})),
                        EncodableValue("x"),
                        Member(EncodableValue("\xC3\xA9\xFF"))};
  for (int i = 5; i < 20; ++i) {
    std::string name = "m";
    name += std::to_string(i);
    list.push_back(Member(EncodableValue(name), false, EncodableValue("http://s/a")));
  }
  EXPECT_EQ(Members(list), "true");
  ASSERT_EQ(state_.members.size(), 16u) << "non-maps are skipped, not counted";
  const OverlayMember& bob = state_.members[0];
  EXPECT_EQ(bob.name, u"Bob");
  EXPECT_TRUE(bob.speaking && bob.muted);
  EXPECT_EQ(bob.avatar_url, "http://a/b");
  for (int i : {1, 2, 3}) {
    EXPECT_EQ(state_.members[i].name, u"用户") << i;
    EXPECT_FALSE(state_.members[i].speaking || state_.members[i].muted);
    EXPECT_EQ(state_.members[i].avatar_url, "");
  }
  EXPECT_EQ(state_.members[4].name, u"\u00E9\uFFFD") << "ill-formed bytes are replaced";
  EXPECT_EQ(state_.members.back().name, u"m15");
  EXPECT_EQ(fetched_.size(), 12u) << "every member's address, duplicates included";
  EXPECT_EQ(fetched_.front(), "http://a/b");

  EXPECT_EQ(Members({}), "true");
  EXPECT_TRUE(state_.members.empty());
  EXPECT_EQ(refreshes_, 2);
}

TEST_F(VoiceOverlayChannelTest, NamesAreCleanedAndCutAndAddressesCapped) {
  const std::string sixty_four(64, 'a');
  const std::string emoji = "\xF0\x9F\x8E\xA7";  // one code point, two UTF-16 units
  std::string emojis;
  for (int i = 0; i < 70; ++i) emojis += emoji;
  std::u16string sixty_four_emojis;
  for (int i = 0; i < 64; ++i) sixty_four_emojis += u"\U0001F3A7";
  // The dropped characters, each between two letters: C0, DEL, C1, the Arabic
  // letter mark, LRM, RLM, the embeddings and overrides, the isolates.
  std::string controls =
      "A\tB\x7F"
      "C\xC2\x85"
      "D\xD8\x9C"
      "E\xE2\x80\x8E"
      "F\xE2\x80\x8F"
      "G";
  for (const char* last : {"\xAA", "\xAE"}) controls += std::string("\xE2\x80") + last + "H";
  for (const char* last : {"\xA6", "\xA9"}) controls += std::string("\xE2\x81") + last + "I";
  // Just past the cap, the first byte of a two-byte letter.
  std::string huge(kMaxMemberNameInputBytes - 1, '\x01');
  huge += "\xC3\xA9";
  const std::vector<std::pair<std::string, std::u16string>> names = {
      {sixty_four + "b", std::u16string(64, u'a')},
      {emojis, sixty_four_emojis},
      {controls, u"ABCDEFGHHII"},
      {"\xE2\x80\xAE\x1B", u"用户"},
      {"x\xE2\x80\xA9\xE2\x81\xA5y", u"x\u2029\u2065y"},  // neighbours stay
      {huge, u"用户"},
      {std::string(kMaxMemberNameInputBytes, '\n') + "ok", u"用户"},
      {std::string(kMaxMemberNameInputBytes - 1, '\n') + "ok", u"o"},
      {std::string(kMaxMemberNameInputBytes - 2, '\n') + "ok", u"ok"},
      {std::string(1 << 20, 'n'), std::u16string(64, u'n')},
  };
  const std::vector<std::pair<std::string, std::string>> urls = {
      {"http://s/" + std::string(kMaxAvatarUrlBytes - 8, 'u'), ""},
      {"http://s/" + std::string(kMaxAvatarUrlBytes - 9, 'u'), "kept"},
  };
  EncodableList list;
  for (const auto& name : names) list.push_back(Member(EncodableValue(name.first)));
  for (const auto& url : urls)
    list.push_back(Member(EncodableValue("u"), false, EncodableValue(url.first)));
  ASSERT_EQ(Members(list), "true");
  ASSERT_EQ(state_.members.size(), names.size() + urls.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(state_.members[i].name, names[i].second) << i;
  }
  EXPECT_TRUE(state_.members[names.size()].avatar_url.empty())
      << "too long: no address, the initial";
  EXPECT_EQ(state_.members[names.size() + 1].avatar_url, urls[1].first);
  EXPECT_EQ(fetched_, std::vector<std::string>{urls[1].first});
}

}  // namespace
