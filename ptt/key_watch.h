#ifndef VELMO_PTT_KEY_WATCH_H_
#define VELMO_PTT_KEY_WATCH_H_

#include <cstdint>
#include <functional>

#include "ptt/hook_event_records.h"
#include "ptt/key_watchdog.h"
#include "ptt/push_to_talk_system.h"
#include "ptt/watched_key.h"

// How a "start" ended.
struct StartOutcome {
  bool installed = false;
  // When not installed: the hook the system refused and its error code.
  HookKind refused = HookKind::kKeyboard;
  uint32_t win32_error = 0;
};

// The watch over one key or mouse button, on the input thread: owns the
// system's hooks and the watchdog timer, decides about each event the hooks
// receive and hands each edge (the first press, the matching release) to
// `edges` in the order they happened. Everything here runs on the input
// thread.
class KeyWatch {
 public:
  // `type` is "keyDown" or "keyUp"; `record` the event that made the edge.
  using EdgeHandler = std::function<void(const char* type, const KeyOrButtonRecord& record)>;

  KeyWatch(PushToTalkSystem& system, EdgeHandler edges);
  ~KeyWatch();

  KeyWatch(const KeyWatch&) = delete;
  KeyWatch& operator=(const KeyWatch&) = delete;

  // The watch whose hooks are installed, or null. The hook procedures get no
  // context of their own, so they find the instance here.
  static KeyWatch* active() { return active_instance_; }

  // Decides about one event the keyboard hook received. Runs for every
  // keystroke of the desktop, so any key but the watched one costs a count
  // and a single masked comparison. The caller passes every event on
  // whatever happens here.
  static void HandleKeyboardEvent(int code, uintptr_t message, const KeyOrButtonRecord& record) {
    KeyWatch* watch = active_instance_;
    if (watch == nullptr) {
      return;
    }
    ++watch->hook_calls_;
    if ((record.vk_code | watch->watched_.side_bit) == watch->watched_.match_code &&
        code == kHookCodeAction) {
      watch->HandleWatchedKeyEvent(message, record);
    }
  }

  // Counts a call of the mouse hook and tells whether its message may
  // concern the watched button: one comparison, so that the caller builds no
  // record for moves and other buttons.
  static bool TakeMouseMessage(uintptr_t message) {
    KeyWatch* watch = active_instance_;
    if (watch == nullptr) {
      return false;
    }
    ++watch->hook_calls_;
    return message - watch->watched_.down_message <= 1;
  }
  // Decides about a mouse event for which TakeMouseMessage held.
  static void HandleMouseEvent(int code, uintptr_t message, const MouseEventRecord& record) {
    if (code == kHookCodeAction) {
      active_instance_->HandleWatchedButtonEvent(message, record);
    }
  }

  // The watchdog's periodic check while a key is watched.
  static void HandleWatchdogTick() {
    if (active_instance_ != nullptr) {
      active_instance_->CheckKeyState();
    }
  }

  // Watches `virtual_key` (1 to 254); a watch of another key ends first, with
  // the "keyUp" of a key still held.
  StartOutcome Start(uint32_t virtual_key);
  // Back to idle: a held key gets its closing "keyUp" and the hooks go.
  void Stop();
  bool listening() const { return hooks_.keyboard != kNoHook; }

 private:
  // The watched kind's hook decides; the other only shows that input reaches
  // us, since the system's input counter moves with keys and mouse alike.
  struct HookPair {
    HookId keyboard = kNoHook;
    HookId mouse = kNoHook;
  };

  // Installs both hooks, the watched kind first; on a refusal none stays.
  bool InstallHooks(HookPair& hooks, HookKind& refused);
  void RemoveHooks(HookPair& hooks);
  // Installs fresh hooks before removing the current ones, so that no event
  // falls between the two.
  void ReinstallHooks(const char* reason);
  void ReleaseHeldKey();
  void HandleWatchedKeyEvent(uintptr_t message, const KeyOrButtonRecord& record);
  void HandleWatchedButtonEvent(uintptr_t message, const MouseEventRecord& record);
  // `side` 0 or 1: which of the key's codes (left or right for a generic
  // modifier) went down or up.
  void Press(uint32_t side, const KeyOrButtonRecord& record);
  void Release(uint32_t side, const KeyOrButtonRecord& record);
  // Bit per side that the system counts as held now.
  uint32_t SidesHeldNow() const;
  WatchdogReading ReadState() const;
  void CheckKeyState();
  // The watchdog found the key held without a reported press.
  void PressFromSystemState();
  bool key_down() const { return sides_down_ != 0; }

  static KeyWatch* active_instance_;

  PushToTalkSystem& system_;
  EdgeHandler edges_;
  HookPair hooks_;
  // virtual_key 0 when no key is watched, else a virtual-key code from 1 to 254.
  WatchedKey watched_ = kNothingWatched;
  // Bit 0 and 1: which of the key's codes are held. The key is down while
  // either is.
  uint32_t sides_down_ = 0;
  // Sides held when the watch began: they report nothing until released and
  // pressed again.
  uint32_t sides_held_before_ = 0;
  KeyOrButtonRecord last_down_event_;
  // Calls of either hook; they show the watchdog that input reaches us.
  uint32_t hook_calls_ = 0;
  KeyWatchdog watchdog_;
};

#endif  // VELMO_PTT_KEY_WATCH_H_
