#ifndef VELMO_TESTING_FAKE_PUSH_TO_TALK_SYSTEM_FAKE_PUSH_TO_TALK_SYSTEM_H_
#define VELMO_TESTING_FAKE_PUSH_TO_TALK_SYSTEM_FAKE_PUSH_TO_TALK_SYSTEM_H_

#include <cstdint>
#include <set>
#include <string>

#include "ptt/global_keyboard_hook.h"
#include "ptt/push_to_talk_system.h"

// A key or mouse button as the system and the hooks see it.
struct FakeKey {
  uint32_t key;
  uint32_t scan = 0;
  // The generic modifier code the system also counts as held with this side.
  uint32_t generic = 0;
  // The button's press message; 0 for a key.
  uintptr_t mouse_down = 0;
  uint32_t mouse_data = 0;
  uint32_t mouse_flags = 0;
};

// What the fake system did and what it pretends, kept by the test so it
// outlives the fake.
struct FakePushToTalkState {
  // A press or release: the system's key state follows, and the hooks get it
  // unless delivery stopped. `hook_only`: an event that was held up reaches
  // the hooks alone, after the system's state already changed.
  void Input(const FakeKey& key, bool down, bool hook_only = false) {
    if (!hook_only) {
      for (uint32_t code : {key.key, key.generic}) {
        down ? (void)keys_down.insert(code) : (void)keys_down.erase(code);
      }
      if (!delivering) return;
    }
    const uintptr_t message = down ? key.mouse_down : key.mouse_down + 1;
    if (key.mouse_down == 0) {
      GlobalKeyboardHook::HandleHookEvent(kHookCodeAction, down ? kMessageKeyDown : kMessageKeyUp,
                                          {key.key, key.scan, 0, 0, 0});
    } else if (GlobalKeyboardHook::WatchesMouseMessage(message)) {
      GlobalKeyboardHook::HandleMouseHookEvent(kHookCodeAction, message,
                                               {key.mouse_data, key.mouse_flags, 0, 0});
    }
  }

  // Non-zero: the error code of a refused installation.
  uint32_t fail_with = 0;
  // The hooks installed now, by id; ids count up from 1.
  std::set<HookId> hooks;
  HookId last_hook = kNoHook;
  // False: the hooks stay installed but receive nothing, as when the system
  // has dropped them. A fresh installation delivers again.
  bool delivering = true;
  bool timer_running = false;
  uint64_t now_ms = 0;
  // The keys the system counts as held.
  std::set<uint32_t> keys_down;
  // Every hook call and log line, in order ("install keyboard 1;remove 1;");
  // the test may add its own entries to see the order of both.
  std::string journal;
};

class FakePushToTalkSystem : public PushToTalkSystem {
 public:
  explicit FakePushToTalkSystem(FakePushToTalkState* state) : state_(state) {}

  HookId InstallHook(HookKind kind) override {
    // The hook procedure must find its instance from the moment it can run.
    state_->journal += GlobalKeyboardHook::active() != nullptr ? "install " : "install(no active) ";
    state_->journal += kind == HookKind::kMouse ? "mouse" : "keyboard";
    if (state_->fail_with != 0) {
      state_->journal += " refused;";
      return kNoHook;
    }
    state_->hooks.insert(++state_->last_hook);
    state_->delivering = true;
    state_->journal.append(" ").append(std::to_string(state_->last_hook)).append(";");
    return state_->last_hook;
  }
  void RemoveHook(HookId hook) override {
    state_->journal.append("remove ").append(std::to_string(hook)).append(";");
    state_->hooks.erase(hook);
  }
  uint32_t LastError() const override { return state_->fail_with; }
  void StartWatchdogTimer() override { state_->timer_running = true; }
  void StopWatchdogTimer() override { state_->timer_running = false; }
  uint64_t NowMs() const override { return state_->now_ms; }
  bool IsKeyDown(uint32_t virtual_key) const override {
    return state_->keys_down.count(virtual_key) != 0;
  }
  uint32_t ScanCodeOf(uint32_t virtual_key) const override { return virtual_key + kScanOffset; }
  void Log(const char* line) override { state_->journal.append(line).append(";"); }

  // Scan codes the fake makes up: the key's code plus this.
  static constexpr uint32_t kScanOffset = 0x100;

 private:
  FakePushToTalkState* state_;
};

#endif  // VELMO_TESTING_FAKE_PUSH_TO_TALK_SYSTEM_FAKE_PUSH_TO_TALK_SYSTEM_H_
