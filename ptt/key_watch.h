#ifndef VELMO_PTT_KEY_WATCH_H_
#define VELMO_PTT_KEY_WATCH_H_

#include <cstdint>
#include <functional>

#include "ptt/hook_event_records.h"
#include "ptt/key_watchdog.h"
#include "ptt/push_to_talk_system.h"
#include "ptt/raw_key_events.h"
#include "ptt/watched_key.h"

// What takes the user's input away from this desktop.
enum class SessionEvent { kLock, kDisconnect, kSuspend };

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
    ++watch->keyboard_.hook_calls;
    if ((record.vk_code | watch->watched_.side_bit) == watch->watched_.match_code &&
        code == kHookCodeAction) {
      watch->HandleWatchedKeyEvent(message, record, kFromHook);
    }
  }

  // Counts a button event of the mouse hook and tells whether its message
  // may concern the watched button: two comparisons, so that the caller
  // builds no record for moves and other buttons.
  static bool TakeMouseMessage(uintptr_t message) {
    KeyWatch* watch = active_instance_;
    if (watch == nullptr) {
      return false;
    }
    if (message - kMessageLeftButtonDown <= kButtonMessageSpan && message != kMessageWheel) {
      ++watch->mouse_.hook_calls;
    }
    return message - watch->watched_.down_message <= 1;
  }
  // Decides about a mouse event for which TakeMouseMessage held.
  static void HandleMouseEvent(int code, uintptr_t message, const MouseEventRecord& record) {
    if (code == kHookCodeAction) {
      active_instance_->HandleWatchedButtonEvent(message, record);
    }
  }

  // One key event as Raw Input reports it, after the hooks had their turn:
  // the evidence of what the keyboard hook should have seen, and the source
  // of the watched key's edges the hook missed.
  static void HandleRawKeyEvent(const RawKeyEvent& raw);
  // The button flags of one mouse report from Raw Input.
  static void HandleRawMouseButtons(uint16_t button_flags);

  // The watchdog's periodic check while a key is watched.
  static void HandleWatchdogTick() {
    if (active_instance_ != nullptr) {
      active_instance_->CheckKeyState();
    }
  }

  // The user's input goes elsewhere for a while: a key still held gets its
  // "keyUp", as its release would not reach the hook.
  static void HandleSessionEvent(SessionEvent event);

  // Watches `virtual_key` (1 to 254); a watch of another key ends first, with
  // the "keyUp" of a key still held.
  StartOutcome Start(uint32_t virtual_key);
  // Back to idle: a held key gets its closing "keyUp" and the hooks go.
  void Stop();
  bool listening() const { return hook_ != kNoHook; }

 private:
  // Calls of one kind's hook and that kind's input events from Raw Input.
  struct InputCounts {
    uint32_t hook_calls = 0;
    uint32_t raw_events = 0;
  };

  static constexpr bool kFromHook = true;
  // The button messages of the mouse hook run from the left button's press
  // to the side buttons' release, with the wheel among them.
  static constexpr uintptr_t kButtonMessageSpan = 0x020C - kMessageLeftButtonDown;
  static constexpr uintptr_t kMessageWheel = 0x020A;

  // Installs a fresh hook before removing the current one, so that no event
  // falls between the two.
  void ReinstallHook(ReinstallReason reason);
  // True when a key was held.
  bool ReleaseHeldKey();
  void HandleWatchedKeyEvent(uintptr_t message, const KeyOrButtonRecord& record, bool from_hook);
  void HandleWatchedButtonEvent(uintptr_t message, const MouseEventRecord& record);
  // `side` 0 or 1: which of the key's codes (left or right for a generic
  // modifier) went down or up.
  void Press(uint32_t side, const KeyOrButtonRecord& record);
  void Release(uint32_t side, const KeyOrButtonRecord& record);
  // Whether the system counts `code` as held, leaving out what only the
  // events the hook ignores would hold.
  bool SystemHolds(uint32_t code) const;
  // Bit per side that the system counts as held now.
  uint32_t SidesHeldNow() const;
  InputCounts& CountsOfWatchedKind() {
    return watched_.hook == HookKind::kKeyboard ? keyboard_ : mouse_;
  }
  WatchdogReading ReadState();
  void CheckKeyState();
  // The watchdog found the key held without a reported press.
  void PressFromSystemState();
  bool key_down() const { return sides_down_ != 0; }

  static KeyWatch* active_instance_;

  PushToTalkSystem& system_;
  EdgeHandler edges_;
  // The watched kind's hook, the only one installed.
  HookId hook_ = kNoHook;
  // Raw Input of the watched kind reaches the input thread.
  bool raw_input_ = false;
  // virtual_key 0 when no key is watched, else a virtual-key code from 1 to 254.
  WatchedKey watched_ = kNothingWatched;
  // Bit 0 and 1: which of the key's codes are held. The key is down while
  // either is.
  uint32_t sides_down_ = 0;
  // Sides held when the watch began: they report nothing until released and
  // pressed again.
  uint32_t sides_held_before_ = 0;
  KeyOrButtonRecord last_down_event_;
  InputCounts keyboard_;
  InputCounts mouse_;
  SeenKeyEvents seen_;
  KeyWatchdog watchdog_;
};

#endif  // VELMO_PTT_KEY_WATCH_H_
