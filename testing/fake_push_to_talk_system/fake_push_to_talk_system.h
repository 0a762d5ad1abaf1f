#ifndef VELMO_TESTING_FAKE_PUSH_TO_TALK_SYSTEM_FAKE_PUSH_TO_TALK_SYSTEM_H_
#define VELMO_TESTING_FAKE_PUSH_TO_TALK_SYSTEM_FAKE_PUSH_TO_TALK_SYSTEM_H_

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "ptt/key_watch.h"
#include "ptt/push_to_talk_system.h"

// A key or mouse button as the system and the hooks see it.
struct FakeKey {
  uint32_t key;
  uint32_t scan = 0;
  // The generic modifier code the system also counts as held while this side
  // (or the other side) is.
  uint32_t generic = 0;
  // The button's press message; 0 for a key.
  uintptr_t mouse_down = 0;
  uint32_t mouse_data = 0;
  uint32_t mouse_flags = 0;
  uint32_t key_flags = 0;
};

// How an input event travels.
enum class FakeRoute {
  // The system's state follows, and the hooks get it unless delivery stopped.
  kEverywhere,
  // An event that was held up reaches the hooks alone, after the system's
  // state already changed.
  kLateToHooks,
  // Our hooks see it, then a later hook swallows it: the system's key state
  // never changes.
  kSwallowedAfterHooks,
  // Only the system's key state changes, as when Raw Input's buffer
  // overflowed while the hooks were blind.
  kStateOnly,
};

// What the fake system did and what it pretends, kept by the test so it
// outlives the fake.
struct FakePushToTalkState {
  void Input(const FakeKey& key, bool down, FakeRoute route = FakeRoute::kEverywhere) {
    input_count += route != FakeRoute::kLateToHooks ? 1 : 0;
    const bool keyboard = key.mouse_down == 0;
    const uintptr_t message = down ? key.mouse_down : key.mouse_down + 1;
    const bool reaches_hooks =
        ((keyboard ? keyboard_delivering : mouse_delivering) && route != FakeRoute::kStateOnly) ||
        route == FakeRoute::kLateToHooks;
    if (reaches_hooks && keyboard) {
      KeyWatch::HandleKeyboardEvent(kHookCodeAction, down ? kMessageKeyDown : kMessageKeyUp,
                                    {key.key, key.scan, key.key_flags, 0, 0});
    } else if (reaches_hooks && KeyWatch::TakeMouseMessage(message)) {
      KeyWatch::HandleMouseEvent(kHookCodeAction, message, {key.mouse_data, key.mouse_flags, 0, 0});
    }
    if (route == FakeRoute::kSwallowedAfterHooks) return;
    // Raw Input has each event after the hooks, but none the system made up
    // itself (the 0x200 mark), none a later hook swallowed, and a late one
    // already when the system took it in.
    const bool raw = route == FakeRoute::kEverywhere;
    if (raw && keyboard && raw_keyboard && (key.scan & kSimulatedScan) == 0) {
      const bool right = (key.key_flags & kExtended) != 0 || key.key == 0xA3 || key.key == 0xA5;
      KeyWatch::HandleRawKeyEvent(
          {static_cast<uint16_t>(key.scan),
           static_cast<uint16_t>((down ? 0 : kRawKeyBreak) | (right ? kRawKeyE0 : 0)),
           static_cast<uint16_t>(key.generic != 0 ? key.generic : key.key),
           static_cast<uint32_t>(down ? kMessageKeyDown : kMessageKeyUp),
           (key.key_flags & kInjectedFlag) != 0});
    } else if (raw && !keyboard && raw_mouse) {
      // One button bit for a press or a release, none for a move.
      KeyWatch::HandleRawMouseButtons(key.key != 0 ? 1 : 0);
    }
    if (key.key == 0) return;
    // The system keeps the physical button's state.
    const bool swap = buttons_swapped && key.mouse_down != 0 && (key.key == 1 || key.key == 2);
    const uint32_t code = swap ? 3 - key.key : key.key;
    generic_of[code] = key.generic;
    down ? (void)keys_down.insert(code) : (void)keys_down.erase(code);
  }

  bool IsKeyDown(uint32_t code) const {
    for (const uint32_t held : keys_down) {
      if (held == code || generic_of.at(held) == code) return true;
    }
    return false;
  }

  // Runs what was posted to the input thread while hold_input_thread was set.
  void RunInputThread() {
    while (!input_tasks.empty()) {
      const std::function<void()> task = std::move(input_tasks.front());
      input_tasks.pop_front();
      task();
    }
  }

  // Non-zero: the error code of a refused installation.
  uint32_t fail_with = 0;
  // The hooks installed now, by id; ids count up from 1.
  std::set<HookId> hooks;
  HookId last_hook = kNoHook;
  static constexpr uint32_t kSimulatedScan = 0x200;
  static constexpr uint32_t kExtended = 0x01;

  // False: that kind's hooks stay installed but receive nothing, as when the
  // system has dropped them. A fresh installation of the kind delivers again.
  bool keyboard_delivering = true;
  bool mouse_delivering = true;
  // Set: Raw Input registrations are refused.
  bool refuse_raw_input = false;
  // Which kind's Raw Input reaches the watch.
  bool raw_keyboard = false;
  bool raw_mouse = false;
  bool timer_running = false;
  bool buttons_swapped = false;
  uint64_t now_ms = 0;
  // The system's input counter: every event it takes in moves it.
  uint32_t input_count = 0;
  // The keys (and physical buttons) the system counts as held, each with its
  // generic modifier code or 0.
  std::set<uint32_t> keys_down;
  std::map<uint32_t, uint32_t> generic_of;
  // Set: the input thread's tasks wait in input_tasks until RunInputThread.
  bool hold_input_thread = false;
  bool input_thread_stopped = false;
  std::deque<std::function<void()>> input_tasks;
  // Every hook call and log line, in order ("install keyboard 1;remove 1;");
  // the test may add its own entries to see the order of both.
  std::string journal;
};

class FakePushToTalkSystem : public PushToTalkSystem {
 public:
  explicit FakePushToTalkSystem(FakePushToTalkState* state) : state_(state) {}

  void RunOnInputThread(std::function<void()> task) override {
    if (state_->input_thread_stopped) return;
    if (state_->hold_input_thread) {
      state_->input_tasks.push_back(std::move(task));
    } else {
      task();
    }
  }
  void RunOnPlatformThread(std::function<void()> task) override {
    if (!state_->input_thread_stopped) task();
  }
  void StopInputThread() override {
    state_->RunInputThread();
    state_->input_thread_stopped = true;
  }

  HookId InstallHook(HookKind kind) override {
    // The hook procedure must find its instance from the moment it can run.
    state_->journal += KeyWatch::active() != nullptr ? "install " : "install(no active) ";
    state_->journal += kind == HookKind::kMouse ? "mouse" : "keyboard";
    if (state_->fail_with != 0) {
      state_->journal += " refused;";
      return kNoHook;
    }
    state_->hooks.insert(++state_->last_hook);
    (kind == HookKind::kMouse ? state_->mouse_delivering : state_->keyboard_delivering) = true;
    state_->journal.append(" ").append(std::to_string(state_->last_hook)).append(";");
    return state_->last_hook;
  }
  void RemoveHook(HookId hook) override {
    state_->journal.append("remove ").append(std::to_string(hook)).append(";");
    state_->hooks.erase(hook);
  }
  uint32_t LastError() const override { return state_->fail_with; }
  bool StartRawInput(HookKind kind) override {
    if (state_->refuse_raw_input) return false;
    (kind == HookKind::kMouse ? state_->raw_mouse : state_->raw_keyboard) = true;
    return true;
  }
  void StopRawInput() override { state_->raw_keyboard = state_->raw_mouse = false; }
  void StartWatchdogTimer() override { state_->timer_running = true; }
  void StopWatchdogTimer() override { state_->timer_running = false; }
  uint64_t NowMs() const override { return state_->now_ms; }
  uint32_t LastInputTime() const override { return state_->input_count; }
  bool IsKeyDown(uint32_t virtual_key) const override { return state_->IsKeyDown(virtual_key); }
  bool ButtonsSwapped() const override { return state_->buttons_swapped; }
  uint32_t ScanCodeOf(uint32_t virtual_key) const override { return virtual_key + kScanOffset; }
  void Log(const char* line) override { state_->journal.append(line).append(";"); }

  // Scan codes the fake makes up: the key's code plus this.
  static constexpr uint32_t kScanOffset = 0x100;

 private:
  FakePushToTalkState* state_;
};

#endif  // VELMO_TESTING_FAKE_PUSH_TO_TALK_SYSTEM_FAKE_PUSH_TO_TALK_SYSTEM_H_
