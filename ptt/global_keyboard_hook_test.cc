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

Bytes Success(const EncodableValue& value) { return *Codec().EncodeSuccessEnvelope(&value); }
const Bytes kSuccessWithoutValue = {0x00, 0x00};
const Bytes kSuccessTrue = {0x00, 0x01};
const Bytes kSuccessFalse = {0x00, 0x02};

Bytes Error(const std::string& code, const std::string& message,
            const EncodableValue* details = nullptr) {
  return *Codec().EncodeErrorEnvelope(code, message, details);
}

// The event as the Flutter side must receive it.
Bytes Event(const char* type, uint32_t key, uint32_t scan, bool injected = false) {
  return Success(EncodableValue(
      EncodableMap{{EncodableValue("type"), EncodableValue(type)},
                   {EncodableValue("virtualKey"), EncodableValue(static_cast<int32_t>(key))},
                   {EncodableValue("scanCode"), EncodableValue(static_cast<int32_t>(scan))},
                   {EncodableValue("injected"), EncodableValue(injected)}}));
}

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

  mutable std::vector<Bytes> traffic;
  size_t events_before_reply = 0;
  std::map<std::string, flutter::BinaryMessageHandler> handlers;
};

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
    return Call("start", EncodableValue(EncodableMap{{EncodableValue("virtualKey"),
                                                      EncodableValue(static_cast<int>(key))}}));
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
  EXPECT_EQ(messenger.traffic, std::vector<Bytes>{expected});
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
  std::vector<Bytes> expected;
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

const Bytes kDownA = Event("keyDown", kKeyA, kScanA);
const Bytes kUpA = Event("keyUp", kKeyA, kScanA);

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
                                                    {kDownA, Event("keyUp", kKeyA, 0x9E)}},
                                           Sequence{"OtherKeysOtherMessagesAndOtherCodesAreIgnored",
                                                    {{kMessageKeyDown, kKeyB, kScanB},
                                                     {kMessageKeyUp, kKeyB, kScanB},
                                                     {0x0102, kKeyA, kScanA},
                                                     {kMessageKeyDown, kKeyA, kScanA, 0, 3}},
                                                    {}},
                                           Sequence{"InjectedFlagIsReported",
                                                    {{kMessageKeyDown, kKeyA, kScanA, 0x10 | 0x01},
                                                     {kMessageKeyUp, kKeyA, kScanA, 0x80}},
                                                    {Event("keyDown", kKeyA, kScanA, true), kUpA}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(GlobalKeyboardHookTest, SameKeyAgainChangesNothing) {
  Stream("listen");
  StartKey(kKeyA);
  Key(kMessageKeyDown, kKeyA, kScanA);
  EXPECT_EQ(StartKey(kKeyA), kSuccessTrue);
  Key(kMessageKeyUp, kKeyA, kScanA);
  EXPECT_EQ(messenger.traffic, (std::vector<Bytes>{kDownA, kUpA}));
  EXPECT_EQ(installer.log, "install;");
}

TEST_F(GlobalKeyboardHookTest, RetargetWhileHeldReleasesTheOldKeyFirst) {
  Stream("listen");
  StartKey(kKeyA);
  Key(kMessageKeyDown, kKeyA, kScanA, 0x10);
  EXPECT_EQ(StartKey(kKeyB), kSuccessTrue);
  EXPECT_EQ(installer.log, "install;remove;install;");
  Key(kMessageKeyUp, kKeyA, kScanA);
  Key(kMessageKeyDown, kKeyB, kScanB);
  EXPECT_EQ(messenger.traffic, (std::vector<Bytes>{Event("keyDown", kKeyA, kScanA, true),
                                                   Event("keyUp", kKeyA, kScanA, true),
                                                   Event("keyDown", kKeyB, kScanB)}));
}

TEST_F(GlobalKeyboardHookTest, StopReleasesAHeldKeyBeforeAnswering) {
  Stream("listen");
  StartKey(kKeyA);
  Key(kMessageKeyDown, kKeyA, kScanA);
  messenger.traffic.clear();
  EXPECT_EQ(Call("stop"), kSuccessWithoutValue);
  EXPECT_EQ(messenger.traffic, std::vector<Bytes>{kUpA});
  EXPECT_EQ(messenger.events_before_reply, 1u);
  EXPECT_EQ(GlobalKeyboardHook::active(), nullptr);
  EXPECT_FALSE(installer.installed);
  EXPECT_EQ(Call("isListening"), kSuccessFalse);

  // Idle now: keys and a second stop report nothing.
  Key(kMessageKeyDown, kKeyA, kScanA);
  EXPECT_EQ(Call("stop"), kSuccessWithoutValue);
  EXPECT_EQ(messenger.traffic, std::vector<Bytes>{kUpA});
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
  EXPECT_EQ(messenger.traffic, std::vector<Bytes>{kDownA});
}

TEST_F(GlobalKeyboardHookTest, FailedInstallationLeavesTheHookIdle) {
  Stream("listen");
  installer.fail_with = 0x80070005;
  const EncodableValue details(
      EncodableMap{{EncodableValue("win32Error"), EncodableValue(int64_t{0x80070005})}});
  EXPECT_EQ(StartKey(kKeyA),
            Error("hook_install_failed", "Unable to install the Windows keyboard hook", &details));
  EXPECT_EQ(installer.log, "install;");
  EXPECT_EQ(GlobalKeyboardHook::active(), nullptr);
  EXPECT_EQ(Call("isListening"), kSuccessFalse);
  Key(kMessageKeyDown, kKeyA, kScanA);
  EXPECT_TRUE(messenger.traffic.empty());

  installer.fail_with = 0;
  EXPECT_EQ(StartKey(kKeyA), kSuccessTrue);
  EXPECT_EQ(Call("isListening"), kSuccessTrue);
  EXPECT_EQ(Call("isListening2"), Bytes{});
}

EncodableValue KeyMap(EncodableValue key) {
  return EncodableValue(EncodableMap{{EncodableValue("virtualKey"), std::move(key)}});
}

struct StartArguments {
  const char* name;
  EncodableValue arguments;
  Bytes reply;
};

void PrintTo(const StartArguments& arguments, std::ostream* out) { *out << arguments.name; }

class StartArgumentsTest : public GlobalKeyboardHookTest,
                           public ::testing::WithParamInterface<StartArguments> {};

TEST_P(StartArgumentsTest, AreCheckedBeforeInstalling) {
  EXPECT_EQ(Call("start", GetParam().arguments), GetParam().reply);
  EXPECT_EQ(installer.log, GetParam().reply == kSuccessTrue ? "install;" : "");
}

const Bytes kInvalidArguments = Error("invalid_arguments", "start requires a virtualKey argument");
const Bytes kInvalidKey = Error("invalid_virtual_key", "virtualKey must be between 1 and 254");

INSTANTIATE_TEST_SUITE_P(
    Table, StartArgumentsTest,
    ::testing::Values(StartArguments{"None", EncodableValue(), kInvalidArguments},
                      StartArguments{"List", EncodableValue(EncodableList{EncodableValue(65)}),
                                     kInvalidArguments},
                      StartArguments{"Number", EncodableValue(65), kInvalidArguments},
                      StartArguments{
                          "MapWithoutKey",
                          EncodableValue(EncodableMap{{EncodableValue("key"), EncodableValue(65)}}),
                          kInvalidArguments},
                      StartArguments{"Zero", KeyMap(EncodableValue(0)), kInvalidKey},
                      StartArguments{"Negative", KeyMap(EncodableValue(-65)), kInvalidKey},
                      StartArguments{"TwoFiftyFive", KeyMap(EncodableValue(255)), kInvalidKey},
                      StartArguments{"Int64", KeyMap(EncodableValue(int64_t{65})), kInvalidKey},
                      StartArguments{"Double", KeyMap(EncodableValue(65.0)), kInvalidKey},
                      StartArguments{"String", KeyMap(EncodableValue("A")), kInvalidKey},
                      StartArguments{"Null", KeyMap(EncodableValue()), kInvalidKey},
                      StartArguments{"One", KeyMap(EncodableValue(1)), kSuccessTrue},
                      StartArguments{"TwoFiftyFour", KeyMap(EncodableValue(254)), kSuccessTrue}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GlobalKeyboardHookTest, DestructionReleasesAHeldKeyAndUnregisters) {
  Stream("listen");
  StartKey(kKeyA);
  Key(kMessageKeyDown, kKeyA, kScanA);
  hook.reset();
  EXPECT_EQ(messenger.traffic, (std::vector<Bytes>{kDownA, kUpA}));
  EXPECT_TRUE(messenger.handlers.empty());
  EXPECT_EQ(GlobalKeyboardHook::active(), nullptr);
  EXPECT_FALSE(installer.installed);
}

}  // namespace
