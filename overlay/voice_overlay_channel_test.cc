#include "overlay/voice_overlay_channel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "overlay/utf16_text.h"

namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter::MethodCall;
using flutter::MethodResult;

struct Answer {
  enum class Kind { kNone, kSuccess, kError, kNotImplemented };
  Kind kind = Kind::kNone;
  int count = 0;
  std::optional<EncodableValue> value;
  std::string code;
  std::string message;
  bool has_details = false;
};

class RecordingResult : public MethodResult {
 public:
  explicit RecordingResult(Answer& answer) : answer_(answer) {}

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    Record(Answer::Kind::kSuccess);
    if (result != nullptr) answer_.value = *result;
  }
  void ErrorInternal(const std::string& code, const std::string& message,
                     const EncodableValue* details) override {
    Record(Answer::Kind::kError);
    answer_.code = code;
    answer_.message = message;
    answer_.has_details = details != nullptr;
  }
  void NotImplementedInternal() override { Record(Answer::Kind::kNotImplemented); }

 private:
  void Record(Answer::Kind kind) {
    answer_.kind = kind;
    ++answer_.count;
  }
  Answer& answer_;
};

EncodableMap Member(std::optional<EncodableValue> name, bool speaking = false, bool muted = false,
                    std::optional<EncodableValue> url = std::nullopt) {
  EncodableMap map{{EncodableValue("speaking"), EncodableValue(speaking)},
                   {EncodableValue("muted"), EncodableValue(muted)}};
  if (name) map[EncodableValue("name")] = *name;
  if (url) map[EncodableValue("avatarUrl")] = *url;
  return map;
}

class VoiceOverlayChannelTest : public ::testing::Test {
 protected:
  Answer Call(const std::string& method, std::optional<EncodableValue> arguments) {
    Answer answer;
    auto owned = arguments ? std::make_unique<EncodableValue>(*arguments) : nullptr;
    HandleVoiceOverlayCall(MethodCall(method, std::move(owned)),
                           std::make_unique<RecordingResult>(answer), state_, hooks_);
    EXPECT_EQ(answer.count, 1) << method;
    return answer;
  }
  Answer Config(EncodableMap map) { return Call("setConfig", EncodableValue(std::move(map))); }
  Answer Members(EncodableList list) {
    return Call("setMembers",
                EncodableValue(EncodableMap{{EncodableValue("members"), EncodableValue(list)}}));
  }

  OverlayState state_;
  std::vector<std::string> fetched_;
  int refreshes_ = 0;
  VoiceOverlayCallHooks hooks_{Utf8ToUtf16,
                               [this](const std::string& url) {
                                 // The lock is free while avatars are fetched.
                                 EXPECT_TRUE(state_.state_mutex.try_lock());
                                 state_.state_mutex.unlock();
                                 fetched_.push_back(url);
                               },
                               [this] {
                                 EXPECT_TRUE(state_.state_mutex.try_lock());
                                 state_.state_mutex.unlock();
                                 ++refreshes_;
                               }};
};

TEST_F(VoiceOverlayChannelTest, MalformedCallsAreRejectedWithoutTouchingState) {
  state_.active = true;
  state_.members = {OverlayMember{u"Ann", "", false, false}};
  struct Case {
    std::string method;
    std::optional<EncodableValue> arguments;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"setConfig", std::nullopt, "Expected a map."},
      {"setSession", std::nullopt, "Expected a map."},
      {"setSession", EncodableValue(false), "Expected a map."},
      {"setMembers", EncodableValue(EncodableList{}), "Expected a map."},
      {"setMembers", EncodableValue(EncodableMap{}), "Missing members."},
      {"setMembers",
       EncodableValue(EncodableMap{{EncodableValue("members"), EncodableValue(EncodableMap{})}}),
       "members must be a list."},
      {"setMembers", EncodableValue(EncodableMap{{EncodableValue("members"), EncodableValue()}}),
       "members must be a list."},
  };
  for (const Case& c : cases) {
    const Answer answer = Call(c.method, c.arguments);
    EXPECT_EQ(answer.kind, Answer::Kind::kError) << c.method;
    EXPECT_EQ(answer.code, "invalid_argument");
    EXPECT_EQ(answer.message, c.message);
    EXPECT_FALSE(answer.has_details);
  }
  EXPECT_TRUE(state_.active);
  EXPECT_EQ(state_.members.size(), 1u);
  EXPECT_EQ(refreshes_, 0);
}

TEST_F(VoiceOverlayChannelTest, OtherNamesAreNotImplemented) {
  for (const char* method : {"setconfig", "SetMembers", "", "setMembers "}) {
    EXPECT_EQ(Call(method, EncodableValue(EncodableMap{})).kind, Answer::Kind::kNotImplemented);
  }
  EXPECT_EQ(refreshes_, 0);
}

TEST_F(VoiceOverlayChannelTest, ConfigClampsAndFallsBack) {
  struct Case {
    EncodableValue value;
    double scale;
    double opacity;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<Case> cases = {
      {EncodableValue(int32_t{3}), 1.5, 1.0},
      {EncodableValue(0.5), 0.7, 0.5},
      {EncodableValue(0.0), 0.7, 0.15},
      {EncodableValue(2.5), 1.5, 1.0},
      {EncodableValue(nan), 1.5, 1.0},
      {EncodableValue(1.2), 1.2, 1.0},
      {EncodableValue(std::string("1.2")), 1.15, 0.4},
      {EncodableValue(int64_t{1} << 40), 1.15, 0.4},
  };
  for (const Case& c : cases) {
    state_.scale = 1.15;
    state_.opacity = 0.4;
    ASSERT_EQ(
        Config({{EncodableValue("scale"), c.value}, {EncodableValue("opacity"), c.value}}).kind,
        Answer::Kind::kSuccess);
    EXPECT_DOUBLE_EQ(state_.scale, c.scale);
    EXPECT_DOUBLE_EQ(state_.opacity, c.opacity);
  }
}

TEST_F(VoiceOverlayChannelTest, ConfigKeepsWhatIsMissingOrMistyped) {
  const Answer answer = Config({});
  EXPECT_EQ(answer.value, EncodableValue(true));
  EXPECT_EQ(refreshes_, 1);
  EXPECT_TRUE(state_.enabled);
  EXPECT_EQ(state_.position, "leftCenter");

  Config({{EncodableValue("enabled"), EncodableValue(int32_t{1})},
          {EncodableValue("position"), EncodableValue(int32_t{2})}});
  EXPECT_TRUE(state_.enabled);
  EXPECT_EQ(state_.position, "leftCenter");

  Config({{EncodableValue("enabled"), EncodableValue(false)},
          {EncodableValue("position"), EncodableValue("anything")}});
  EXPECT_FALSE(state_.enabled);
  EXPECT_EQ(state_.position, "anything");
}

TEST_F(VoiceOverlayChannelTest, SessionOffEmptiesMembersAndDefaultsToOff) {
  Members({EncodableValue(Member(EncodableValue("Ann")))});
  ASSERT_EQ(state_.members.size(), 1u) << "members are kept while inactive";
  Call("setSession",
       EncodableValue(EncodableMap{{EncodableValue("active"), EncodableValue(true)}}));
  EXPECT_TRUE(state_.active);
  EXPECT_EQ(state_.members.size(), 1u);

  Call("setSession",
       EncodableValue(EncodableMap{{EncodableValue("active"), EncodableValue(int32_t{1})}}));
  EXPECT_FALSE(state_.active) << "a mistyped flag means off";
  EXPECT_TRUE(state_.members.empty());

  state_.active = true;
  state_.members = {OverlayMember{u"Ann", "", false, false}};
  EXPECT_EQ(Call("setSession", EncodableValue(EncodableMap{})).value, EncodableValue(true));
  EXPECT_FALSE(state_.active);
  EXPECT_TRUE(state_.members.empty());
  EXPECT_EQ(refreshes_, 4);
}

TEST_F(VoiceOverlayChannelTest, MembersFieldsAndDefaults) {
  Members(
      {EncodableValue(Member(EncodableValue("Bob"), true, true, EncodableValue("http://a/b"))),
       EncodableValue(Member(std::nullopt)), EncodableValue(Member(EncodableValue(""))),
       EncodableValue(Member(EncodableValue(int32_t{5}), false, false, EncodableValue(int32_t{7}))),
       EncodableValue(Member(EncodableValue("\xC3\xA9\xFF")))});
  ASSERT_EQ(state_.members.size(), 5u);
  const OverlayMember& bob = state_.members[0];
  EXPECT_EQ(bob.name, u"Bob");
  EXPECT_TRUE(bob.speaking);
  EXPECT_TRUE(bob.muted);
  EXPECT_EQ(bob.avatar_url, "http://a/b");
  for (int i : {1, 2, 3}) {
    EXPECT_EQ(state_.members[i].name, u"用户") << i;
    EXPECT_FALSE(state_.members[i].speaking);
    EXPECT_EQ(state_.members[i].avatar_url, "");
  }
  EXPECT_EQ(state_.members[4].name, u"\u00E9\uFFFD") << "ill-formed bytes are replaced";
  EXPECT_EQ(fetched_, std::vector<std::string>{"http://a/b"});
}

TEST_F(VoiceOverlayChannelTest, MembersStopAtSixteenAndSkipNonMaps) {
  EncodableList list = {EncodableValue(int32_t{1}), EncodableValue("x"), EncodableValue()};
  for (int i = 0; i < 20; ++i) {
    std::string name = "m";
    name += std::to_string(i);
    list.push_back(
        EncodableValue(Member(EncodableValue(name), false, false, EncodableValue("http://s/a"))));
  }
  EXPECT_EQ(Members(list).value, EncodableValue(true));
  ASSERT_EQ(state_.members.size(), 16u);
  EXPECT_EQ(state_.members.front().name, u"m0");
  EXPECT_EQ(state_.members.back().name, u"m15");
  EXPECT_EQ(fetched_.size(), 16u) << "every member's address, duplicates included";

  Members({});
  EXPECT_TRUE(state_.members.empty());
  EXPECT_EQ(refreshes_, 2);
}

}  // namespace
