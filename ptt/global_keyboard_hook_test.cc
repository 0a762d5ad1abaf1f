#include "ptt/global_keyboard_hook.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "channels/standard_method_codec.h"
#include "testing/fake_keyboard_hook/fake_keyboard_hook_installer.h"

namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kKeyA = 0x41;
constexpr uint32_t kScanA = 0x1E;
constexpr uint32_t kKeyB = 0x42;
constexpr uint32_t kScanB = 0x30;

const flutter::StandardMethodCodec& Codec() { return flutter::StandardMethodCodec::GetInstance(); }

// A decoded answer: "success", "error" or "not_implemented".
struct Answer {
  std::string kind;
  EncodableValue value;
  std::string code;
  std::string message;
};

class AnswerRecorder : public flutter::MethodResult {
 public:
  explicit AnswerRecorder(Answer* answer) : answer_(answer) {}

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    answer_->kind = "success";
    if (result != nullptr) answer_->value = *result;
  }
  void ErrorInternal(const std::string& error_code, const std::string& error_message,
                     const EncodableValue* details) override {
    *answer_ = {"error", details != nullptr ? *details : EncodableValue(), error_code,
                error_message};
  }
  void NotImplementedInternal() override { answer_->kind = "not_implemented"; }

 private:
  Answer* answer_;
};

Answer Decode(const Bytes& bytes) {
  Answer answer;
  AnswerRecorder recorder(&answer);
  if (bytes.empty() ||
      !Codec().DecodeAndProcessResponseEnvelope(bytes.data(), bytes.size(), &recorder)) {
    answer.kind = bytes.empty() ? "not_implemented" : "undecodable";
  }
  return answer;
}

struct KeyEvent {
  std::string type;
  int32_t virtual_key;
  int32_t scan_code;
  bool injected;
  bool operator==(const KeyEvent&) const = default;
};

std::ostream& operator<<(std::ostream& out, const KeyEvent& event) {
  return out << event.type << "(" << event.virtual_key << ", " << event.scan_code
             << (event.injected ? ", injected)" : ")");
}

// Keeps the registered handlers; every event and reply lands in `traffic`.
class FakeMessenger : public flutter::BinaryMessenger {
 public:
  void Send(const std::string& channel, const uint8_t* message, size_t size,
            flutter::BinaryReply reply) const override {
    EXPECT_EQ(channel, kPushToTalkEventsChannelName);
    EXPECT_FALSE(reply);
    traffic.push_back({"event", Bytes(message, message + size)});
  }
  void SetMessageHandler(const std::string& channel,
                         flutter::BinaryMessageHandler handler) override {
    if (handler) {
      handlers[channel] = std::move(handler);
    } else {
      handlers.erase(channel);
    }
  }

  Bytes Deliver(const std::string& channel, const std::string& method,
                std::unique_ptr<EncodableValue> arguments) {
    const auto message =
        Codec().EncodeMethodCall(flutter::MethodCall(method, std::move(arguments)));
    handlers.at(channel)(message->data(), message->size(),
                         [this](const uint8_t* data, size_t size) {
                           traffic.push_back({"reply", Bytes(data, data + size)});
                         });
    return traffic.back().first == "reply" ? traffic.back().second : Bytes{0xEE};
  }

  std::vector<KeyEvent> Events() const {
    std::vector<KeyEvent> events;
    for (const auto& [kind, bytes] : traffic) {
      if (kind != "event") continue;
      const EncodableMap map = std::get<EncodableMap>(Decode(bytes).value);
      EXPECT_EQ(map.size(), 4u);
      events.push_back({std::get<std::string>(map.at(EncodableValue("type"))),
                        std::get<int32_t>(map.at(EncodableValue("virtualKey"))),
                        std::get<int32_t>(map.at(EncodableValue("scanCode"))),
                        std::get<bool>(map.at(EncodableValue("injected")))});
    }
    return events;
  }

  mutable std::vector<std::pair<std::string, Bytes>> traffic;
  std::map<std::string, flutter::BinaryMessageHandler> handlers;
};

class GlobalKeyboardHookTest : public ::testing::Test {
 protected:
  GlobalKeyboardHookTest() {
    hook = std::make_unique<GlobalKeyboardHook>(
        &messenger, std::make_unique<FakeKeyboardHookInstaller>(&installer));
  }

  Answer Call(const std::string& method, std::unique_ptr<EncodableValue> arguments = nullptr) {
    return Decode(messenger.Deliver(kPushToTalkMethodsChannelName, method, std::move(arguments)));
  }
  Answer Start(EncodableValue arguments) {
    return Call("start", std::make_unique<EncodableValue>(std::move(arguments)));
  }
  Answer StartKey(uint32_t key) {
    return Start(EncodableValue(
        EncodableMap{{EncodableValue("virtualKey"), EncodableValue(static_cast<int32_t>(key))}}));
  }
  Bytes Events(const std::string& method) {
    return messenger.Deliver(kPushToTalkEventsChannelName, method, nullptr);
  }
  static void Key(uintptr_t message, uint32_t key, uint32_t scan, uint32_t flags = 0,
                  int code = kHookCodeAction) {
    GlobalKeyboardHook::HandleHookEvent(code, message, {key, scan, flags, 1234, 0});
  }

  FakeMessenger messenger;
  FakeKeyboardHookState installer;
  std::unique_ptr<GlobalKeyboardHook> hook;
};

const Bytes kSuccessWithoutValue = {0x00, 0x00};

TEST_F(GlobalKeyboardHookTest, KeyDownIsSentAsTheExactEnvelope) {
  ASSERT_EQ(Events("listen"), kSuccessWithoutValue);
  ASSERT_EQ(StartKey(kKeyA).kind, "success");
  messenger.traffic.clear();
  Key(kMessageKeyDown, kKeyA, kScanA);
  const Bytes expected = {
      0x00, 0x0D, 0x04, 0x07, 0x08, 'i', 'n', 'j', 'e',  'c',  't',  'e',  'd',  0x02, 0x07, 0x08,
      's',  'c',  'a',  'n',  'C',  'o', 'd', 'e', 0x03, 0x1E, 0x00, 0x00, 0x00, 0x07, 0x04, 't',
      'y',  'p',  'e',  0x07, 0x07, 'k', 'e', 'y', 'D',  'o',  'w',  'n',  0x07, 0x0A, 'v',  'i',
      'r',  't',  'u',  'a',  'l',  'K', 'e', 'y', 0x03, 0x41, 0x00, 0x00, 0x00};
  ASSERT_EQ(expected.size(), 61u);
  ASSERT_EQ(messenger.traffic.size(), 1u);
  EXPECT_EQ(messenger.traffic[0].second, expected);
}

struct Step {
  uintptr_t message;
  uint32_t key;
  uint32_t scan;
  uint32_t flags = 0;
  int code = kHookCodeAction;
};

struct Sequence {
  const char* name;
  std::vector<Step> steps;
  std::vector<KeyEvent> expected;
};

void PrintTo(const Sequence& sequence, std::ostream* out) { *out << sequence.name; }

class RecordedSequenceTest : public GlobalKeyboardHookTest,
                             public ::testing::WithParamInterface<Sequence> {};

TEST_P(RecordedSequenceTest, ReportsOnlyTheEdgesOfTheWatchedKey) {
  Events("listen");
  StartKey(kKeyA);
  messenger.traffic.clear();
  for (const Step& step : GetParam().steps) {
    Key(step.message, step.key, step.scan, step.flags, step.code);
  }
  EXPECT_EQ(messenger.Events(), GetParam().expected);
}

const KeyEvent kDownA{"keyDown", 0x41, 0x1E, false};
const KeyEvent kUpA{"keyUp", 0x41, 0x1E, false};

INSTANTIATE_TEST_SUITE_P(Sequences, RecordedSequenceTest,
                         ::testing::Values(Sequence{"PressAndRelease",
                                                    {{kMessageKeyDown, kKeyA, kScanA},
                                                     {kMessageKeyUp, kKeyA, kScanA}},
                                                    {kDownA, kUpA}},
                                           Sequence{"AutoRepeatReportsOneDown",
                                                    {{kMessageKeyDown, kKeyA, kScanA},
                                                     {kMessageKeyDown, kKeyA, kScanA},
                                                     {kMessageKeyDown, kKeyA, kScanA},
                                                     {kMessageKeyUp, kKeyA, kScanA},
                                                     {kMessageKeyUp, kKeyA, kScanA}},
                                                    {kDownA, kUpA}},
                                           Sequence{"SystemKeysWithAltAreReportedLikePlainOnes",
                                                    {{kMessageSysKeyDown, kKeyA, kScanA},
                                                     {kMessageKeyDown, kKeyA, kScanA},
                                                     {kMessageSysKeyUp, kKeyA, kScanA}},
                                                    {kDownA, kUpA}},
                                           Sequence{"ReleaseWithoutReportedPressIsIgnored",
                                                    {{kMessageKeyUp, kKeyA, kScanA},
                                                     {kMessageKeyDown, kKeyA, kScanA},
                                                     {kMessageKeyUp, kKeyA, 0x9E}},
                                                    {kDownA, {"keyUp", 0x41, 0x9E, false}}},
                                           Sequence{"OtherKeysOtherMessagesAndOtherCodesAreIgnored",
                                                    {{kMessageKeyDown, kKeyB, kScanB},
                                                     {kMessageKeyUp, kKeyB, kScanB},
                                                     {0x0102, kKeyA, kScanA},
                                                     {kMessageKeyDown, kKeyA, kScanA, 0, 3}},
                                                    {}},
                                           Sequence{"InjectedFlagIsReported",
                                                    {{kMessageKeyDown, kKeyA, kScanA, 0x10 | 0x01},
                                                     {kMessageKeyUp, kKeyA, kScanA, 0x80}},
                                                    {{"keyDown", 0x41, 0x1E, true}, kUpA}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(GlobalKeyboardHookTest, SameKeyAgainChangesNothing) {
  Events("listen");
  StartKey(kKeyA);
  Key(kMessageKeyDown, kKeyA, kScanA);
  const Answer again = StartKey(kKeyA);
  EXPECT_EQ(again.kind, "success");
  EXPECT_EQ(again.value, EncodableValue(true));
  Key(kMessageKeyUp, kKeyA, kScanA);
  EXPECT_EQ(messenger.Events(), (std::vector<KeyEvent>{kDownA, kUpA}));
  EXPECT_EQ(installer.log, "install;");
}

TEST_F(GlobalKeyboardHookTest, RetargetWhileHeldReleasesTheOldKeyFirst) {
  Events("listen");
  StartKey(kKeyA);
  Key(kMessageKeyDown, kKeyA, kScanA, 0x10);
  EXPECT_EQ(StartKey(kKeyB).kind, "success");
  EXPECT_EQ(installer.log, "install;remove;install;");
  Key(kMessageKeyUp, kKeyA, kScanA);
  Key(kMessageKeyDown, kKeyB, kScanB);
  EXPECT_EQ(messenger.Events(), (std::vector<KeyEvent>{{"keyDown", 0x41, 0x1E, true},
                                                       {"keyUp", 0x41, 0x1E, true},
                                                       {"keyDown", 0x42, 0x30, false}}));
}

TEST_F(GlobalKeyboardHookTest, StopReleasesAHeldKeyBeforeAnswering) {
  Events("listen");
  StartKey(kKeyA);
  Key(kMessageKeyDown, kKeyA, kScanA);
  messenger.traffic.clear();
  EXPECT_EQ(Call("stop").kind, "success");
  ASSERT_EQ(messenger.traffic.size(), 2u);
  EXPECT_EQ(messenger.traffic[0].first, "event");
  EXPECT_EQ(messenger.traffic[1], (std::pair<std::string, Bytes>{"reply", kSuccessWithoutValue}));
  EXPECT_EQ(messenger.Events(), std::vector<KeyEvent>{kUpA});
  EXPECT_EQ(GlobalKeyboardHook::active(), nullptr);
  EXPECT_FALSE(installer.installed);
  EXPECT_EQ(Call("isListening").value, EncodableValue(false));

  // Idle now: keys and a second stop report nothing.
  Key(kMessageKeyDown, kKeyA, kScanA);
  EXPECT_EQ(Decode(messenger.Deliver(kPushToTalkMethodsChannelName, "stop", nullptr)).kind,
            "success");
  EXPECT_EQ(messenger.Events(), std::vector<KeyEvent>{kUpA});
}

TEST_F(GlobalKeyboardHookTest, EventsReachOnlyAListeningSide) {
  StartKey(kKeyA);
  Key(kMessageKeyDown, kKeyA, kScanA);
  Key(kMessageKeyUp, kKeyA, kScanA);
  Events("listen");
  Key(kMessageKeyDown, kKeyA, kScanA);
  Events("cancel");
  Key(kMessageKeyUp, kKeyA, kScanA);
  Key(kMessageKeyDown, kKeyA, kScanA);
  EXPECT_EQ(messenger.Events(), std::vector<KeyEvent>{kDownA});
}

TEST_F(GlobalKeyboardHookTest, FailedInstallationLeavesTheHookIdle) {
  Events("listen");
  installer.fail_with = 0x80070005;
  const Answer answer = StartKey(kKeyA);
  EXPECT_EQ(answer.kind, "error");
  EXPECT_EQ(answer.code, "hook_install_failed");
  EXPECT_EQ(answer.message, "Unable to install the Windows keyboard hook");
  EXPECT_EQ(answer.value, EncodableValue(EncodableMap{{EncodableValue("win32Error"),
                                                       EncodableValue(int64_t{0x80070005})}}));
  EXPECT_EQ(installer.log, "install;");
  EXPECT_EQ(GlobalKeyboardHook::active(), nullptr);
  EXPECT_EQ(Call("isListening").value, EncodableValue(false));
  Key(kMessageKeyDown, kKeyA, kScanA);
  EXPECT_TRUE(messenger.Events().empty());

  installer.fail_with = 0;
  EXPECT_EQ(StartKey(kKeyA).value, EncodableValue(true));
  EXPECT_EQ(Call("isListening").value, EncodableValue(true));
  EXPECT_EQ(Call("isListening2").kind, "not_implemented");
}

struct BadArguments {
  const char* name;
  EncodableValue arguments;
  const char* code;
};

void PrintTo(const BadArguments& arguments, std::ostream* out) { *out << arguments.name; }

class StartArgumentsTest : public GlobalKeyboardHookTest,
                           public ::testing::WithParamInterface<BadArguments> {};

TEST_P(StartArgumentsTest, AreRejectedWithoutInstalling) {
  const Answer answer = Start(GetParam().arguments);
  EXPECT_EQ(answer.kind, "error");
  EXPECT_EQ(answer.code, GetParam().code);
  EXPECT_EQ(answer.message, std::string(GetParam().code) == "invalid_arguments"
                                ? "start requires a virtualKey argument"
                                : "virtualKey must be between 1 and 254");
  EXPECT_TRUE(answer.value.IsNull());
  EXPECT_EQ(installer.log, "");
}

EncodableValue KeyMap(EncodableValue key) {
  return EncodableValue(EncodableMap{{EncodableValue("virtualKey"), std::move(key)}});
}

INSTANTIATE_TEST_SUITE_P(
    Table, StartArgumentsTest,
    ::testing::Values(
        BadArguments{"None", EncodableValue(), "invalid_arguments"},
        BadArguments{"List", EncodableValue(EncodableList{EncodableValue(65)}),
                     "invalid_arguments"},
        BadArguments{"Number", EncodableValue(65), "invalid_arguments"},
        BadArguments{"MapWithoutKey",
                     EncodableValue(EncodableMap{{EncodableValue("key"), EncodableValue(65)}}),
                     "invalid_arguments"},
        BadArguments{"Zero", KeyMap(EncodableValue(0)), "invalid_virtual_key"},
        BadArguments{"Negative", KeyMap(EncodableValue(-65)), "invalid_virtual_key"},
        BadArguments{"TwoFiftyFive", KeyMap(EncodableValue(255)), "invalid_virtual_key"},
        BadArguments{"Int64", KeyMap(EncodableValue(int64_t{65})), "invalid_virtual_key"},
        BadArguments{"Double", KeyMap(EncodableValue(65.0)), "invalid_virtual_key"},
        BadArguments{"String", KeyMap(EncodableValue("A")), "invalid_virtual_key"},
        BadArguments{"Null", KeyMap(EncodableValue()), "invalid_virtual_key"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GlobalKeyboardHookTest, RangeEndsAreAccepted) {
  EXPECT_EQ(Start(KeyMap(EncodableValue(1))).value, EncodableValue(true));
  EXPECT_EQ(Start(KeyMap(EncodableValue(254))).value, EncodableValue(true));
}

TEST_F(GlobalKeyboardHookTest, DestructionReleasesAHeldKeyAndUnregisters) {
  Events("listen");
  StartKey(kKeyA);
  Key(kMessageKeyDown, kKeyA, kScanA);
  hook.reset();
  EXPECT_EQ(messenger.Events(), (std::vector<KeyEvent>{kDownA, kUpA}));
  EXPECT_TRUE(messenger.handlers.empty());
  EXPECT_EQ(GlobalKeyboardHook::active(), nullptr);
  EXPECT_FALSE(installer.installed);
}

}  // namespace
