// The hook procedures' decisions run for every keystroke and mouse event of the
// desktop. A key or mouse event that is not watched should cost under 2 ns; a
// watched edge builds and sends its event. The watchdog's tick runs ten times
// a second while a key is watched.
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "channels/standard_method_codec.h"
#include "ptt/global_keyboard_hook.h"
#include "testing/fake_push_to_talk_system/fake_push_to_talk_system.h"

namespace {

constexpr uint32_t kWatchedKey = 0x41;
constexpr uint32_t kWatchedScanCode = 0x1E;
constexpr uint32_t kOtherKey = 0x42;
constexpr uint32_t kSideButton = 0x05;

// Drops what is sent; keeps the handlers so the benchmark can listen.
class DiscardingMessenger : public flutter::BinaryMessenger {
 public:
  void Send(const std::string&, const uint8_t* message, size_t size,
            flutter::BinaryReply) const override {
    benchmark::DoNotOptimize(message);
    benchmark::DoNotOptimize(size);
  }
  void SetMessageHandler(const std::string& channel,
                         flutter::BinaryMessageHandler handler) override {
    if (channel == kPushToTalkEventsChannelName) events_handler = std::move(handler);
    if (channel == kPushToTalkMethodsChannelName) methods_handler = std::move(handler);
  }

  void Call(const flutter::BinaryMessageHandler& handler, const std::string& method,
            std::unique_ptr<flutter::EncodableValue> arguments) {
    const auto message = flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(
        flutter::MethodCall(method, std::move(arguments)));
    handler(message->data(), message->size(), [](const uint8_t*, size_t) {});
  }

  flutter::BinaryMessageHandler events_handler;
  flutter::BinaryMessageHandler methods_handler;
};

// A hook watching `key`, with the Flutter side listening.
struct WatchingHook {
  explicit WatchingHook(uint32_t key = kWatchedKey)
      : hook(&messenger, std::make_unique<FakePushToTalkSystem>(&system)) {
    messenger.Call(messenger.events_handler, "listen", nullptr);
    messenger.Call(messenger.methods_handler, "start",
                   std::make_unique<flutter::EncodableValue>(flutter::EncodableMap{
                       {flutter::EncodableValue("virtualKey"),
                        flutter::EncodableValue(static_cast<int32_t>(key))}}));
  }

  DiscardingMessenger messenger;
  FakePushToTalkState system;
  GlobalKeyboardHook hook;
};

void BM_UnwatchedKey(benchmark::State& state) {
  WatchingHook watching;
  KeyOrButtonRecord record{kOtherKey, 0x30, 0, 0, 0};
  for (auto _ : state) {
    benchmark::DoNotOptimize(record);
    KeyWatch::HandleKeyboardEvent(kHookCodeAction, kMessageKeyDown, record);
  }
}
BENCHMARK(BM_UnwatchedKey);

// A mouse move while a side button is watched: the mouse procedure's test
// before it builds any record.
void BM_UnwatchedMouseEvent(benchmark::State& state) {
  WatchingHook watching(kSideButton);
  uintptr_t message = kMessageMouseMove;
  for (auto _ : state) {
    benchmark::DoNotOptimize(message);
    benchmark::DoNotOptimize(KeyWatch::TakeMouseMessage(message));
  }
}
BENCHMARK(BM_UnwatchedMouseEvent);

// One watchdog tick on which the system's key state agrees with the hook:
// the decision without the system calls (clock and key state are the fake's).
void BM_WatchdogTick(benchmark::State& state) {
  WatchingHook watching;
  for (auto _ : state) {
    watching.system.now_ms += kWatchdogPeriodMs;
    KeyWatch::HandleWatchdogTick();
  }
}
BENCHMARK(BM_WatchdogTick);

// One press and one release: two events encoded and sent.
void BM_WatchedEdgePair(benchmark::State& state) {
  WatchingHook watching;
  KeyOrButtonRecord record{kWatchedKey, kWatchedScanCode, 0, 0, 0};
  for (auto _ : state) {
    KeyWatch::HandleKeyboardEvent(kHookCodeAction, kMessageKeyDown, record);
    KeyWatch::HandleKeyboardEvent(kHookCodeAction, kMessageKeyUp, record);
  }
  state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_WatchedEdgePair);

// Auto-repeat of the held watched key: no event.
void BM_WatchedKeyRepeat(benchmark::State& state) {
  WatchingHook watching;
  KeyOrButtonRecord record{kWatchedKey, kWatchedScanCode, 0, 0, 0};
  KeyWatch::HandleKeyboardEvent(kHookCodeAction, kMessageKeyDown, record);
  for (auto _ : state) {
    benchmark::DoNotOptimize(record);
    KeyWatch::HandleKeyboardEvent(kHookCodeAction, kMessageKeyDown, record);
  }
}
BENCHMARK(BM_WatchedKeyRepeat);

}  // namespace
