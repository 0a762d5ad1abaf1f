#include "ptt/global_keyboard_hook.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "channels/standard_method_codec.h"
#include "testing/fake_keyboard_hook/fake_keyboard_hook_installer.h"

namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using Bytes = std::vector<uint8_t>;
using Traffic = std::vector<Bytes>;

constexpr uint32_t kKeyA = 0x41;
constexpr uint32_t kScanA = 0x1E;
constexpr uint32_t kKeyB = 0x42;
constexpr uint32_t kScanB = 0x30;

const flutter::StandardMethodCodec& Codec() { return flutter::StandardMethodCodec::GetInstance(); }

const Bytes kSuccessWithoutValue = {0x00, 0x00};
const Bytes kSuccessTrue = {0x00, 0x01};
const Bytes kSuccessFalse = {0x00, 0x02};

Bytes Error(const std::string& code, const std::string& message,
            const EncodableValue* details = nullptr) {
  return *Codec().EncodeErrorEnvelope(code, message, details);
}

Bytes Event(const char* type, uint32_t key, uint32_t scan, bool injected = false) {
  const EncodableValue event(
      EncodableMap{{EncodableValue("type"), EncodableValue(type)},
                   {EncodableValue("virtualKey"), EncodableValue(static_cast<int32_t>(key))},
                   {EncodableValue("scanCode"), EncodableValue(static_cast<int32_t>(scan))},
                   {EncodableValue("injected"), EncodableValue(injected)}});
  return *Codec().EncodeSuccessEnvelope(&event);
}

const Bytes kDownA = Event("keyDown", kKeyA, kScanA);
const Bytes kUpA = Event("keyUp", kKeyA, kScanA);

// Keeps the registered handlers and the events sent.
class FakeMessenger : public flutter::BinaryMessenger {
 public:
  void Send(const std::string& channel, const uint8_t* message, size_t size,
            flutter::BinaryReply reply) const override {
    EXPECT_EQ(channel, kPushToTalkEventsChannelName);
    EXPECT_FALSE(reply);
    traffic.emplace_back(message, message + size);
  }
  void SetMessageHandler(const std::string& channel,
                         flutter::BinaryMessageHandler handler) override {
    if (handler) {
      handlers[channel] = std::move(handler);
    } else {
      handlers.erase(channel);
    }
  }

  // The reply to the call.
  Bytes Deliver(const std::string& channel, const std::string& method,
                std::unique_ptr<EncodableValue> arguments = nullptr) {
    const auto message =
        Codec().EncodeMethodCall(flutter::MethodCall(method, std::move(arguments)));
    Bytes answer = {0xEE};
    handlers.at(channel)(message->data(), message->size(), [&](const uint8_t* data, size_t size) {
      answer.assign(data, data + size);
      events_before_reply = traffic.size();
    });
    return answer;
  }

  mutable Traffic traffic;
  size_t events_before_reply = 0;
  std::map<std::string, flutter::BinaryMessageHandler> handlers;
};

EncodableValue KeyMap(EncodableValue key) {
  return EncodableValue(EncodableMap{{EncodableValue("virtualKey"), std::move(key)}});
}

class GlobalKeyboardHookTest : public ::testing::Test {
 protected:
  GlobalKeyboardHookTest()
      : hook(std::make_unique<GlobalKeyboardHook>(
            &messenger, std::make_unique<FakeKeyboardHookInstaller>(&installer))) {}

  Bytes Call(const std::string& method, EncodableValue arguments = EncodableValue()) {
    return messenger.Deliver(kPushToTalkMethodsChannelName, method,
                             std::make_unique<EncodableValue>(std::move(arguments)));
  }
  Bytes StartKey(uint32_t key) {
    return Call("start", KeyMap(EncodableValue(static_cast<int32_t>(key))));
  }
  Bytes Stream(const std::string& method) {
    return messenger.Deliver(kPushToTalkEventsChannelName, method);
  }
  static void Key(uintptr_t message, uint32_t key, uint32_t scan, uint32_t flags = 0,
                  int code = kHookCodeAction) {
    GlobalKeyboardHook::HandleHookEvent(code, message, {key, scan, flags, 1234, 0});
  }

  FakeMessenger messenger;
  FakeKeyboardHookState installer;
  std::unique_ptr<GlobalKeyboardHook> hook;
};

TEST_F(GlobalKeyboardHookTest, KeyDownIsSentAsTheExactEnvelope) {
  ASSERT_EQ(Stream("listen"), kSuccessWithoutValue);
  ASSERT_EQ(StartKey(kKeyA), kSuccessTrue);
  Key(kMessageKeyDown, kKeyA, kScanA);
  const Bytes expected = {
      0x00, 0x0D, 0x04, 0x07, 0x08, 'i', 'n', 'j', 'e',  'c',  't',  'e',  'd',  0x02, 0x07, 0x08,
      's',  'c',  'a',  'n',  'C',  'o', 'd', 'e', 0x03, 0x1E, 0x00, 0x00, 0x00, 0x07, 0x04, 't',
      'y',  'p',  'e',  0x07, 0x07, 'k', 'e', 'y', 'D',  'o',  'w',  'n',  0x07, 0x0A, 'v',  'i',
      'r',  't',  'u',  'a',  'l',  'K', 'e', 'y', 0x03, 0x41, 0x00, 0x00, 0x00};
  ASSERT_EQ(expected.size(), 61u);
  EXPECT_EQ(messenger.traffic, Traffic{expected});
}

struct Step {
  uintptr_t message;
  uint32_t key = kKeyA;
  uint32_t scan = kScanA;
  uint32_t flags = 0;
  int code = kHookCodeAction;
};

struct Sequence {
  const char* name;
  std::vector<Step> steps;
  Traffic expected;
};

void PrintTo(const Sequence& sequence, std::ostream* out) { *out << sequence.name; }

class RecordedSequenceTest : public GlobalKeyboardHookTest,
                             public ::testing::WithParamInterface<Sequence> {};

TEST_P(RecordedSequenceTest, ReportsOnlyTheEdgesOfTheWatchedKey) {
  Stream("listen");
  StartKey(kKeyA);
  for (const Step& step : GetParam().steps) {
    Key(step.message, step.key, step.scan, step.flags, step.code);
  }
  EXPECT_EQ(messenger.traffic, GetParam().expected);
}

constexpr uintptr_t kDown = kMessageKeyDown;
constexpr uintptr_t kUp = kMessageKeyUp;

INSTANTIATE_TEST_SUITE_P(
    Sequences, RecordedSequenceTest,
    ::testing::Values(
        Sequence{
            "AutoRepeatReportsOneDown", {{kDown}, {kDown}, {kDown}, {kUp}, {kUp}}, {kDownA, kUpA}},
        Sequence{"AltKeysArePlainPresses",
                 {{kMessageSysKeyDown}, {kMessageSysKeyUp}, {kMessageSysKeyDown}, {kDown}, {kUp}},
                 {kDownA, kUpA, kDownA, kUpA}},
        Sequence{"ReleaseWithoutReportedPressIsIgnored",
                 {{kUp}, {kDown}, {kUp, kKeyA, 0x9E}},
                 {kDownA, Event("keyUp", kKeyA, 0x9E)}},
        Sequence{
            "OtherKeysMessagesAndCodesAreIgnored",
            {{kDown, kKeyB, kScanB}, {kUp, kKeyB, kScanB}, {0x0102}, {kDown, kKeyA, kScanA, 0, 3}},
            {}},
        Sequence{"InjectedFlagIsReported",
                 {{kDown, kKeyA, kScanA, kInjectedFlag | 0x01}, {kUp, kKeyA, kScanA, 0x80}},
                 {Event("keyDown", kKeyA, kScanA, true), kUpA}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GlobalKeyboardHookTest, RetargetWhileHeldReleasesTheOldKeyFirst) {
  Stream("listen");
  StartKey(kKeyA);
  Key(kMessageKeyDown, kKeyA, kScanA, kInjectedFlag);
  // The same key again changes nothing: no reinstallation, no release.
  EXPECT_EQ(StartKey(kKeyA), kSuccessTrue);
  EXPECT_EQ(installer.log, "install;");
  EXPECT_EQ(StartKey(kKeyB), kSuccessTrue);
  EXPECT_EQ(installer.log, "install;remove;install;");
  Key(kMessageKeyUp, kKeyA, kScanA);
  Key(kMessageKeyDown, kKeyB, kScanB);
  EXPECT_EQ(messenger.traffic,
            (Traffic{Event("keyDown", kKeyA, kScanA, true), Event("keyUp", kKeyA, kScanA, true),
                     Event("keyDown", kKeyB, kScanB)}));
}

TEST_F(GlobalKeyboardHookTest, StopReleasesAHeldKeyBeforeAnswering) {
  Stream("listen");
  StartKey(kKeyA);
  Key(kMessageKeyDown, kKeyA, kScanA);
  EXPECT_EQ(Call("stop"), kSuccessWithoutValue);
  EXPECT_EQ(messenger.traffic, (Traffic{kDownA, kUpA}));
  EXPECT_EQ(messenger.events_before_reply, 2u);
  EXPECT_EQ(GlobalKeyboardHook::active(), nullptr);
  EXPECT_FALSE(installer.installed);
  EXPECT_EQ(Call("isListening"), kSuccessFalse);
  // Idle now: keys and a second stop report nothing.
  Key(kMessageKeyDown, kKeyA, kScanA);
  EXPECT_EQ(Call("stop"), kSuccessWithoutValue);
  EXPECT_EQ(messenger.traffic.size(), 2u);
}

TEST_F(GlobalKeyboardHookTest, EventsReachOnlyAListeningSide) {
  StartKey(kKeyA);
  Key(kMessageKeyDown, kKeyA, kScanA);
  Key(kMessageKeyUp, kKeyA, kScanA);
  Stream("listen");
  Key(kMessageKeyDown, kKeyA, kScanA);
  Stream("cancel");
  Key(kMessageKeyUp, kKeyA, kScanA);
  Key(kMessageKeyDown, kKeyA, kScanA);
  EXPECT_EQ(messenger.traffic, Traffic{kDownA});
}

TEST_F(GlobalKeyboardHookTest, FailedInstallationLeavesTheHookIdle) {
  Stream("listen");
  installer.fail_with = 0x80070005;
  const EncodableValue details(
      EncodableMap{{EncodableValue("win32Error"), EncodableValue(int64_t{0x80070005})}});
  EXPECT_EQ(StartKey(kKeyA),
            Error("hook_install_failed", "Unable to install the Windows keyboard hook", &details));
  EXPECT_EQ(GlobalKeyboardHook::active(), nullptr);
  EXPECT_EQ(Call("isListening"), kSuccessFalse);
  Key(kMessageKeyDown, kKeyA, kScanA);
  EXPECT_TRUE(messenger.traffic.empty());

  installer.fail_with = 0;
  EXPECT_EQ(StartKey(kKeyA), kSuccessTrue);
  EXPECT_EQ(Call("isListening"), kSuccessTrue);
  EXPECT_EQ(Call("isListening2"), Bytes{});
}

TEST_F(GlobalKeyboardHookTest, StartArgumentsAreCheckedBeforeInstalling) {
  const Bytes no_arguments = Error("invalid_arguments", "start requires a virtualKey argument");
  const Bytes bad_key = Error("invalid_virtual_key", "virtualKey must be between 1 and 254");
  const std::vector<std::pair<EncodableValue, Bytes>> refused = {
      {EncodableValue(), no_arguments},
      {EncodableValue(65), no_arguments},
      {EncodableValue(EncodableMap{{EncodableValue("key"), EncodableValue(65)}}), no_arguments},
      {KeyMap(EncodableValue(0)), bad_key},
      {KeyMap(EncodableValue(255)), bad_key},
      {KeyMap(EncodableValue(int64_t{65})), bad_key},
      {KeyMap(EncodableValue("A")), bad_key},
      {KeyMap(EncodableValue()), bad_key},
  };
  for (size_t i = 0; i < refused.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Call("start", refused[i].first), refused[i].second);
  }
  EXPECT_EQ(installer.log, "");
  EXPECT_EQ(StartKey(1), kSuccessTrue);
  EXPECT_EQ(StartKey(254), kSuccessTrue);
  EXPECT_EQ(installer.log, "install;remove;install;");
}

TEST_F(GlobalKeyboardHookTest, DestructionReleasesAHeldKeyAndUnregisters) {
  Stream("listen");
  StartKey(kKeyA);
  Key(kMessageKeyDown, kKeyA, kScanA);
  hook.reset();
  EXPECT_EQ(messenger.traffic, (Traffic{kDownA, kUpA}));
  EXPECT_TRUE(messenger.handlers.empty());
  EXPECT_EQ(GlobalKeyboardHook::active(), nullptr);
  EXPECT_FALSE(installer.installed);
}

}  // namespace
