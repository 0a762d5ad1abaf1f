#include "ptt/global_keyboard_hook.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "channels/byte_streams.h"
#include "channels/standard_codec_serializer.h"
#include "channels/standard_method_codec.h"
#include "testing/fake_push_to_talk_system/fake_push_to_talk_system.h"

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
    // "down 41 1e;", "up 5 0 i;": the event among the hook calls.
    flutter::ByteBufferStreamReader reader(message + 1, size - 1);
    const auto event =
        std::get<EncodableMap>(flutter::StandardCodecSerializer().ReadValue(&reader));
    const auto field = [&](const char* key) { return event.at(EncodableValue(key)); };
    char entry[32];
    std::snprintf(entry, sizeof(entry), "%s %x %x%s;",
                  std::get<std::string>(field("type")) == "keyDown" ? "down" : "up",
                  std::get<int32_t>(field("virtualKey")), std::get<int32_t>(field("scanCode")),
                  std::get<bool>(field("injected")) ? " i" : "");
    *journal += entry;
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
    // An answer may come after the call returned, once the input thread
    // reported back.
    const size_t index = replies.size();
    replies.push_back({0xEE});
    handlers.at(channel)(message->data(), message->size(),
                         [this, index](const uint8_t* data, size_t size) {
                           replies[index].assign(data, data + size);
                           events_before_reply = traffic.size();
                         });
    return replies[index];
  }

  std::vector<Bytes> replies;

  mutable Traffic traffic;
  std::string* journal = nullptr;
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
            &messenger, std::make_unique<FakePushToTalkSystem>(&installer))) {
    messenger.journal = &installer.journal;
  }

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
    KeyWatch::HandleKeyboardEvent(code, message, {key, scan, flags, 1234, 0});
  }

  FakeMessenger messenger;
  FakePushToTalkState installer;
  std::unique_ptr<GlobalKeyboardHook> hook;
};

TEST_F(GlobalKeyboardHookTest, KeyDownIsSentAsTheExactEnvelope) {
  ASSERT_EQ(Stream("listen"), kSuccessWithoutValue);
  ASSERT_EQ(StartKey(kKeyA), kSuccessTrue);
  EXPECT_TRUE(installer.timer_running);
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
        Sequence{"OtherKeysMessagesAndCodesAreIgnored",
                 {{kDown, kKeyB, kScanB},
                  {kUp, kKeyB, kScanB},
                  {kDown, kKeyA - 1, 0},
                  {0x0102},
                  {kDown, kKeyA, kScanA, 0, 3}},
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
  EXPECT_EQ(StartKey(kKeyB), kSuccessTrue);
  // The old key's release goes out before the new hook can report anything.
  EXPECT_EQ(installer.journal,
            "install keyboard 1;down 41 1e i;up 41 1e i;remove 1;install keyboard 2;");
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
  EXPECT_EQ(KeyWatch::active(), nullptr);
  EXPECT_TRUE(installer.hooks.empty());
  EXPECT_FALSE(installer.timer_running);
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
  EXPECT_EQ(KeyWatch::active(), nullptr);
  EXPECT_EQ(Call("isListening"), kSuccessFalse);
  Key(kMessageKeyDown, kKeyA, kScanA);
  EXPECT_TRUE(messenger.traffic.empty());

  // A mouse button's refusal names the mouse hook.
  EXPECT_EQ(StartKey(5),
            Error("hook_install_failed", "Unable to install the Windows mouse hook", &details));

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
  EXPECT_EQ(installer.journal, "");
  EXPECT_EQ(StartKey(1), kSuccessTrue);
  EXPECT_EQ(StartKey(254), kSuccessTrue);
  // Only the watched kind's hook: no mouse hook for a keyboard key.
  EXPECT_EQ(installer.journal, "install mouse 1;remove 1;install keyboard 2;");
}

TEST_F(GlobalKeyboardHookTest, DestructionReleasesAHeldKeyAndUnregisters) {
  Stream("listen");
  StartKey(kKeyA);
  Key(kMessageKeyDown, kKeyA, kScanA);
  hook.reset();
  EXPECT_EQ(messenger.traffic, (Traffic{kDownA, kUpA}));
  EXPECT_TRUE(messenger.handlers.empty());
  EXPECT_EQ(KeyWatch::active(), nullptr);
  EXPECT_TRUE(installer.hooks.empty());
}

TEST_F(GlobalKeyboardHookTest, AnswersWaitForTheInputThreadAndFollowItsEdges) {
  installer.hold_input_thread = true;
  Stream("listen");
  EXPECT_EQ(StartKey(kKeyA), Bytes{0xEE});
  EXPECT_TRUE(installer.hooks.empty());
  installer.RunInputThread();
  EXPECT_EQ(messenger.replies.back(), kSuccessTrue);
  Key(kMessageKeyDown, kKeyA, kScanA);
  EXPECT_EQ(Call("stop"), Bytes{0xEE});
  EXPECT_EQ(messenger.traffic, Traffic{kDownA});
  installer.RunInputThread();
  EXPECT_EQ(messenger.replies.back(), kSuccessWithoutValue);
  EXPECT_EQ(messenger.events_before_reply, 2u);
  // A call still on its way when the window goes is answered before the
  // channel is.
  EXPECT_EQ(Call("isListening"), Bytes{0xEE});
  hook.reset();
  EXPECT_EQ(messenger.replies.back(), kSuccessFalse);
}

// Keys of the scripts. G: the left Control AltGr sends; H, J, U: Shift made up
// around a numpad key by the keyboard (extended) and by the system (0x200);
// X: a key the system simulated, still a press; E, F: right Control and right
// Shift, extended as the hook reports them; Z: the right Alt (AltGr with G);
// C: either Control; K: the left button.
const std::map<char, FakeKey> kScriptKeys = {{'A', {kKeyA, kScanA}},
                                             {'B', {kKeyB, kScanB}},
                                             {'L', {0xA2, 0x1D, 0x11}},
                                             {'R', {0xA3, 0x1D, 0x11}},
                                             {'P', {0xA1, 0x36, 0x10}},
                                             {'Q', {0xA4, 0x38, 0x12}},
                                             {'G', {0xA2, 0x21D, 0x11}},
                                             {'H', {0xA0, 0x2A, 0x10, 0, 0, 0, 0x01}},
                                             {'J', {0xA1, 0x236, 0x10}},
                                             {'U', {0xA0, 0x22A, 0x10}},
                                             {'X', {kKeyA, 0x21E}},
                                             {'E', {0xA3, 0x1D, 0x11, 0, 0, 0, 0x01}},
                                             {'F', {0xA1, 0x36, 0x10, 0, 0, 0, 0x01}},
                                             {'M', {5, 0, 0, 0x20B, 0x10000}},
                                             {'I', {5, 0, 0, 0x20B, 0x10000, 1}},
                                             {'N', {6, 0, 0, 0x20B, 0x20000}},
                                             {'Z', {0xA5, 0x38, 0x12, 0, 0, 0, 0x01}},
                                             {'C', {0x11, 0x1D}},
                                             {'K', {1, 0, 0, kMessageLeftButtonDown}},
                                             {'m', {0, 0, 0, kMessageMouseMove}}};

// One case: watch `key`, play `steps` and compare the journal of hook calls,
// events and log lines after the start. Steps: vX / ^X press / release X (the
// system's state, Raw Input, and the hook unless delivery stopped), dX / uX
// the hook alone gets a late press / release, sX a later hook swallows the
// release of X after ours saw it, nX / NX only the system's state has X
// pressed / released, x the hooks of both kinds stop delivering silently, k
// only the keyboard's, o only the mouse's, f installations fail, t a tick on
// time, w one just not late, T a tick after a 3 s freeze, p 3 s pass without
// a tick (no timer runs), SX start watching X, ~ the mouse buttons are
// swapped, ! the session is locked, % it is disconnected, # the system
// suspends.
struct Script {
  const char* name;
  uint32_t key;
  const char* steps;
  const char* journal;
  // False: the system refuses Raw Input, and the watchdog has only the time
  // of the last input.
  bool raw_input = true;
};

void PrintTo(const Script& script, std::ostream* out) { *out << script.name; }

class ScriptTest : public GlobalKeyboardHookTest, public ::testing::WithParamInterface<Script> {
 protected:
  void Play(const std::string& steps) {
    for (size_t i = 0; i < steps.size(); ++i) {
      const char step = steps[i];
      installer.keyboard_delivering &= step != 'x' && step != 'k';
      installer.mouse_delivering &= step != 'x' && step != 'o';
      if (const size_t event = std::string("!%#").find(step); event != std::string::npos) {
        KeyWatch::HandleSessionEvent(static_cast<SessionEvent>(event));
      }
      installer.fail_with = step == 'f' ? 5 : installer.fail_with;
      installer.buttons_swapped |= step == '~';
      installer.now_ms += step == 'p' ? 3000 : 0;
      if (step == 't' || step == 'w' || step == 'T') {
        installer.now_ms += step == 't'   ? kWatchdogPeriodMs
                            : step == 'w' ? kWatchdogPeriodMs + kWatchdogLatenessMs
                                          : 3000;
        KeyWatch::HandleWatchdogTick();
      }
      if (std::string("v^dusnNS").find(step) == std::string::npos) continue;
      const FakeKey& key = kScriptKeys.at(steps[++i]);
      if (step == 'S') {
        StartKey(key.key);
      } else {
        const FakeRoute route = step == 's'                  ? FakeRoute::kSwallowedAfterHooks
                                : step == 'd' || step == 'u' ? FakeRoute::kLateToHooks
                                : step == 'n' || step == 'N' ? FakeRoute::kStateOnly
                                                             : FakeRoute::kEverywhere;
        installer.Input(key, step == 'v' || step == 'd' || step == 'n', route);
      }
    }
  }
};

TEST_P(ScriptTest, ReportsEachPressOnceAndKeepsAHookAlive) {
  installer.refuse_raw_input = !GetParam().raw_input;
  Stream("listen");
  ASSERT_EQ(StartKey(GetParam().key), kSuccessTrue);
  installer.journal.clear();
  Play(GetParam().steps);
  EXPECT_EQ(installer.journal, GetParam().journal);
}

const auto kCaseName = [](const auto& info) { return std::string(info.param.name); };

// Reinstalling after a start: the fresh hook, then the old one goes.
#define REINSTALLED(reason) "install keyboard 2;remove 1;ptt_hook_reinstalled reason=" reason ";"
#define REINSTALLED_FOR_BUTTON(reason) \
  "install mouse 2;remove 1;ptt_hook_reinstalled reason=" reason ";"
#define DOWN_UP_A "down 41 1e;up 41 1e;"

constexpr bool kNoRawInput = false;

INSTANTIATE_TEST_SUITE_P(
    Watchdog, ScriptTest,
    ::testing::Values(
        Script{"AgreementChangesNothing", kKeyA, "t vA t t vA t ^A t t vB ^B t", DOWN_UP_A},
        Script{"KeysTypedPastABlindHookComeOnceEachFromRawInput", kKeyA, "x vA ^A vA ^A",
               DOWN_UP_A DOWN_UP_A},
        Script{"MissedUpComesAtOnceAndTheHookIsReinstalled", kKeyA, "vA t x ^A t t vA ^A",
               DOWN_UP_A REINSTALLED("missed_input") DOWN_UP_A},
        Script{"MissInTheSameTickAsASeenEventCounts", kKeyA, "vA x ^A t",
               DOWN_UP_A REINSTALLED("missed_input")},
        Script{"LateHookEventAfterItsRawInputHidesNoLaterRelease", kKeyA, "x vA ^A uA vA ^A",
               DOWN_UP_A DOWN_UP_A},
        Script{"SwallowedReleaseHidesALaterMissOnlyUntilTheWatchdog", kKeyA, "vA sA x vA ^A t t",
               DOWN_UP_A "down 41 1e;" REINSTALLED("missed_input") "up 41 1e;"},
        Script{"BlindHookIsReinstalledWhateverTheKeyState", kKeyB, "x vA ^A t",
               REINSTALLED("missed_input")},
        Script{"ReinstallsAreRateLimited", kKeyB, "x vA t x vA t t t t t t t t t t",
               REINSTALLED("missed_input") "install keyboard 3;remove 2;ptt_hook_reinstalled "
                                           "reason=missed_input;"},
        Script{"DeadKeyboardHookBesideALiveMouseHook", kKeyA, "vA t k ^A vm t t",
               DOWN_UP_A REINSTALLED("missed_input")},
        Script{"DeadMouseHookIsNoEvidenceForAKey", kKeyA, "vA sA o vm t vm t t", DOWN_UP_A},
        Script{"LiveHookOutranksASwallowedRelease", kKeyA, "vA sA t t t vm t t", DOWN_UP_A},
        Script{"HeldKeyOfAnotherProgramIsNoEvidence", kKeyA, "vB x vm t t t", ""},
        Script{"LateTickOnlyReinstalls", kKeyA, "vA sA T t t", DOWN_UP_A REINSTALLED("late_tick")},
        Script{"TickAtTheLatenessLimitIsOnTime", kKeyA, "w", ""},
        Script{"LateTickReinstallsNewBeforeOld", kKeyA, "T t", REINSTALLED("late_tick")},
        Script{"RefusedReinstallKeepsTheOldHook", kKeyA, "f T vA",
               "install keyboard refused;ptt_hook_reinstall_failed reason=late_tick "
               "win32_error=5;down 41 1e;"},
        Script{"MissedModifierDownNotesTheSideHeld", 0x11, "x nR vB t t ^R",
               REINSTALLED("missed_input") "down 11 111;up a3 1d;"},
        Script{"OneControlReleasedUnseenWhileTheOtherIsHeld", 0x11, "vL vR x ^L t t ^R t t",
               "down a2 1d;" REINSTALLED("missed_input") "up a3 1d;"},
        Script{"AltGrHeldWhileBlindIsNoControl", 0x11, "x vG vZ t t ^G ^Z vm t t",
               REINSTALLED("missed_input")},
        Script{"AltGrHeldAtStartHidesNoLeftControl", kKeyA, "vG vZ SC ^G ^Z vL ^L",
               "remove 1;install keyboard 2;down a2 1d;up a2 1d;"},
        Script{"MissedButtonUp", 5, "vM t x ^M t t",
               "down 5 0;" REINSTALLED_FOR_BUTTON("missed_input") "up 5 0;"},
        Script{"SwappedButtonsReadThePhysicalOne", 1, "~ x vK t t ^K vK ^K",
               REINSTALLED_FOR_BUTTON("missed_input") "down 1 101;up 1 0;down 1 0;up 1 0;"},
        Script{"UnswappedButtonsReadTheirOwn", 1, "t x vK t t",
               REINSTALLED_FOR_BUTTON("missed_input") "down 1 101;"},
        Script{"SwappedButtonsLeaveKeysAlone", kKeyA, "~ x nA vB t t",
               REINSTALLED("missed_input") "down 41 141;"},
        Script{"RetargetReleasesTheOldKeyBeforeInstalling", kKeyA, "vA SB t t",
               DOWN_UP_A "remove 1;install keyboard 2;"},
        Script{"StartAfterAnIdleSpellIsNoLateTick", kKeyA, "p SB t",
               "remove 1;install keyboard 2;"},
        Script{"ButtonHeldAtStartIsNoEvidence", kKeyA, "vM SM x vm t t",
               "remove 1;install mouse 2;"},
        Script{"KeyHeldAtStartWaitsForItsNextPress", kKeyB, "vA SA vA t t x vm t t ^A t t vA ^A",
               "remove 1;install keyboard 2;install keyboard 3;remove 2;ptt_hook_reinstalled "
               "reason=missed_input;" DOWN_UP_A},
        Script{"SessionChangesReleaseAHeldKey", kKeyA, "vA ! ^A vA % ^A vA # ^A !",
               DOWN_UP_A "ptt_key_released reason=session_lock;" DOWN_UP_A
                         "ptt_key_released reason=session_disconnect;" DOWN_UP_A
                         "ptt_key_released reason=suspend;"}),
    kCaseName);

// Without Raw Input the watchdog has only the time of the last input, which
// the mouse moves too.
INSTANTIATE_TEST_SUITE_P(
    WatchdogWithoutRawInput, ScriptTest,
    ::testing::Values(
        Script{"MissedUpIsMadeUpOnTheSecondTick", kKeyA, "vA t x ^A t t uA t t vA ^A",
               DOWN_UP_A REINSTALLED("missed_key_up") DOWN_UP_A, kNoRawInput},
        Script{"OneBlindDisagreeingTickAfterAnAgreeingOneIsNoEdge", kKeyA, "vA t x ^A t uA t",
               DOWN_UP_A, kNoRawInput},
        Script{"AfterAMadeUpEdgeCountingStartsAfresh", kKeyA, "vA t x ^A t t x vA t dA t",
               DOWN_UP_A REINSTALLED("missed_key_up") "down 41 1e;", kNoRawInput},
        Script{"MissEarlierInTheSameTickShowsWithTheNext", kKeyA, "vA x ^A t t vm t t",
               DOWN_UP_A REINSTALLED("missed_key_up"), kNoRawInput},
        Script{"OneDisagreeingTickIsAnEventOnItsWay", kKeyA, "x vA t dA t uA ^A t t", DOWN_UP_A,
               kNoRawInput},
        Script{"PressIsNeverMadeUp", kKeyA, "x vA t t t ^A", "", kNoRawInput},
        Script{"DeadKeyboardHookIsSeen", kKeyA, "vA t k ^A vm t t",
               DOWN_UP_A REINSTALLED("missed_key_up"), kNoRawInput},
        Script{"MouseMovesOutrankNoSwallowedRelease", kKeyA, "vA sA vm t vm t t", DOWN_UP_A,
               kNoRawInput},
        Script{"InputInAPeriodWithHookCallsCountsAsSeen", kKeyA, "vA NA t t", "down 41 1e;",
               kNoRawInput},
        Script{"LateTickOnlyReinstalls", kKeyA, "vA sA T t t", DOWN_UP_A REINSTALLED("late_tick"),
               kNoRawInput},
        Script{"OneControlReleasedUnseenWhileTheOtherIsHeld", 0x11, "vL vR x ^L t t ^R t t",
               "down a2 1d;up a2 1d;" REINSTALLED("missed_key_up"), kNoRawInput}),
    kCaseName);

INSTANTIATE_TEST_SUITE_P(
    BothSidesAndButtons, ScriptTest,
    ::testing::Values(
        Script{"EitherControlHoldsTheKey", 0x11, "vL vR ^L vL ^R ^L vR ^R",
               "down a2 1d;up a2 1d;down a3 1d;up a3 1d;"},
        Script{"SideHeldBeforeStartIsIgnored", 0x11, "uL vR vR ^R", "down a3 1d;up a3 1d;"},
        Script{"ShiftWatchesOnlyShift", 0x10, "vQ ^Q vP ^P", "down a1 36;up a1 36;"},
        Script{"AltWatchesOnlyAlt", 0x12, "vP ^P vQ ^Q", "down a4 38;up a4 38;"},
        Script{"SideButtonOne", 5, "vm vN ^N vI vM ^M", "down 5 0 i;up 5 0;"},
        Script{"SideButtonTwo", 6, "vM ^M vN ^N", "down 6 0;up 6 0;"},
        Script{"AltGrsLeftControlIsNoControl", 0x11, "vG vQ ^G ^Q vE ^E", "down a3 1d;up a3 1d;"},
        Script{"OnlyModifiersAreMadeUp", kKeyA, "vX ^X", "down 41 21e;up 41 21e;"},
        Script{"ShiftsAroundNumpadKeysAreNoShift", 0x10, "vH ^H vJ ^J vU ^U vF ^F",
               "down a1 36;up a1 36;"}),
    kCaseName);

struct RawCase {
  RawKeyEvent raw;
  bool has_key;
  KeyOrButtonRecord record;
};

TEST(RawKeyEventsTest, BecomeTheRecordsTheHookGets) {
  const std::vector<RawCase> cases = {
      {{0x1E, 0, 0x41, 0x100, false}, true, {0x41, 0x1E, 0x00}},
      {{0x1E, kRawKeyBreak, 0x41, 0x101, true}, true, {0x41, 0x1E, 0x80 | kInjectedFlag}},
      {{0x2A, 0, 0x10, 0x100, false}, true, {0xA0, 0x2A, 0x00}},
      {{0x36, 0, 0x10, 0x100, false}, true, {0xA1, 0x36, 0x00}},
      {{0x1D, 0, 0x11, 0x100, false}, true, {0xA2, 0x1D, 0x00}},
      {{0x1D, kRawKeyE0, 0x11, 0x100, false}, true, {0xA3, 0x1D, 0x01}},
      {{0x38, 0, 0x12, 0x104, false}, true, {0xA4, 0x38, 0x00}},
      {{0x38, kRawKeyE0 | kRawKeyBreak, 0x12, 0x105, false}, true, {0xA5, 0x38, 0x81}},
      {{0x45, kRawKeyE1, 0x13, 0x100, false}, true, {0x13, 0x45, 0x00}},
      {{0x2A, kRawKeyE0, 0xFF, 0x100, false}, false, {}},
      {{0x00, 0, 0x00, 0x100, false}, false, {}},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    KeyOrButtonRecord record{1, 2, 3, 4, 5};
    ASSERT_EQ(HookRecordFromRaw(cases[i].raw, record), cases[i].has_key);
    if (cases[i].has_key) {
      EXPECT_EQ(record.vk_code, cases[i].record.vk_code);
      EXPECT_EQ(record.scan_code, cases[i].record.scan_code);
      EXPECT_EQ(record.flags, cases[i].record.flags);
    }
  }
  // Down and up bits of the five buttons count; the wheel's (0x0400) does not.
  EXPECT_EQ(RawButtonTransitions(0x0000), 0u);
  EXPECT_EQ(RawButtonTransitions(0x0001), 1u);
  EXPECT_EQ(RawButtonTransitions(0x0201), 2u);
  EXPECT_EQ(RawButtonTransitions(0x07FF), 10u);
}

TEST(SeenKeyEventsTest, MatchesInOrderDropsTheUnmatchedAndForgetsAfterAPeriod) {
  SeenKeyEvents seen;
  seen.Note(0, true);
  seen.Note(0, false);
  seen.Note(1, true);
  // A match takes the older entries with it.
  EXPECT_TRUE(seen.TakeMatching(0, false));
  EXPECT_FALSE(seen.TakeMatching(0, true));
  EXPECT_TRUE(seen.TakeMatching(1, true));
  EXPECT_FALSE(seen.TakeMatching(1, true));
  // An entry lives through the next tick, not the one after.
  seen.Note(0, true);
  seen.Expire();
  seen.Note(0, false);
  EXPECT_TRUE(seen.TakeMatching(0, true));
  seen.Note(0, true);
  seen.Expire();
  seen.Expire();
  EXPECT_FALSE(seen.TakeMatching(0, true));
  EXPECT_FALSE(seen.TakeMatching(0, false));
  // When full, the oldest goes first.
  for (int i = 0; i < 16; ++i) seen.Note(1, false);
  seen.Note(0, true);
  EXPECT_TRUE(seen.TakeMatching(0, true));
  EXPECT_FALSE(seen.TakeMatching(1, false));
  seen.Clear();
  for (int i = 0; i < 17; ++i) seen.Note(i == 0 ? 0 : 1, i == 0);
  EXPECT_FALSE(seen.TakeMatching(0, true));
}

}  // namespace
