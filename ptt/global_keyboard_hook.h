#ifndef VELMO_PTT_GLOBAL_KEYBOARD_HOOK_H_
#define VELMO_PTT_GLOBAL_KEYBOARD_HOOK_H_

#include <cstdint>
#include <memory>

#include "channels/binary_messenger.h"
#include "channels/encodable_value.h"
#include "channels/event_channel.h"
#include "channels/event_sink.h"
#include "channels/method_call.h"
#include "channels/method_channel.h"
#include "channels/method_result.h"
#include "channels/stream_handler.h"
#include "ptt/key_watchdog.h"
#include "ptt/keyboard_event_record.h"
#include "ptt/push_to_talk_system.h"
#include "ptt/watched_key.h"

inline constexpr char kPushToTalkMethodsChannelName[] = "app/windows_ptt/methods";
inline constexpr char kPushToTalkEventsChannelName[] = "app/windows_ptt/events";

// Push-to-talk: watches one key or mouse button system-wide and reports each
// press and release of it on "app/windows_ptt/events";
// "app/windows_ptt/methods" chooses the key. The key is only observed: every
// event goes on to the focused application. A watchdog makes up for events the
// hook missed and reinstalls a hook the system may have dropped. Everything
// here runs on the thread of the window message loop.
class GlobalKeyboardHook {
 public:
  GlobalKeyboardHook(flutter::BinaryMessenger* messenger, std::unique_ptr<PushToTalkSystem> system);
  ~GlobalKeyboardHook();

  GlobalKeyboardHook(const GlobalKeyboardHook&) = delete;
  GlobalKeyboardHook& operator=(const GlobalKeyboardHook&) = delete;

  // The instance whose hook is installed, or null. The hook procedure gets no
  // context of its own, so it finds the instance here.
  static GlobalKeyboardHook* active() { return active_instance_; }

  // Decides about one event the hook procedure received. Runs for every
  // keystroke of the desktop, so any key but the watched one costs a single
  // masked comparison. The caller passes every event on whatever happens here.
  static void HandleHookEvent(int code, uintptr_t message, const KeyboardEventRecord& record) {
    GlobalKeyboardHook* hook = active_instance_;
    if (hook != nullptr &&
        (record.vk_code | hook->watched_.side_bit) == hook->watched_.match_code &&
        code == kHookCodeAction) {
      hook->HandleWatchedKeyEvent(message, record);
    }
  }

  // Whether a mouse message may concern the watched button: one comparison,
  // so that the caller builds no record for moves and other buttons.
  static bool WatchesMouseMessage(uintptr_t message) {
    const GlobalKeyboardHook* hook = active_instance_;
    return hook != nullptr && message - hook->watched_.down_message <= 1;
  }
  // Decides about a mouse event for which WatchesMouseMessage held.
  static void HandleMouseHookEvent(int code, uintptr_t message, const MouseEventRecord& record) {
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

  // Streams the key events to whoever listens on the events channel.
  class KeyboardStreamHandler : public flutter::StreamHandler {
   public:
    // Sends `event` as a success event, or drops it while nobody listens.
    void Deliver(const flutter::EncodableValue& event);

   protected:
    std::unique_ptr<flutter::StreamHandlerError> OnListenInternal(
        const flutter::EncodableValue* arguments,
        std::unique_ptr<flutter::EventSink>&& events) override;
    std::unique_ptr<flutter::StreamHandlerError> OnCancelInternal(
        const flutter::EncodableValue* arguments) override;

   private:
    std::unique_ptr<flutter::EventSink> sink_;
  };

 private:
  void HandleMethodCall(const flutter::MethodCall& call,
                        std::unique_ptr<flutter::MethodResult> result);
  void Start(const flutter::EncodableValue* arguments, flutter::MethodResult& result);
  // Back to idle: a held key gets its closing "keyUp" and the hook goes.
  void Stop();
  void RemoveHook();
  // Installs a fresh hook before removing the current one, so that no event
  // falls between the two.
  void ReinstallHook(const char* reason);
  void ReleaseHeldKey();
  void HandleWatchedKeyEvent(uintptr_t message, const KeyboardEventRecord& record);
  void HandleWatchedButtonEvent(uintptr_t message, const MouseEventRecord& record);
  // `side` 0 or 1: which of the key's codes (left or right for a generic
  // modifier) went down or up.
  void Press(uint32_t side, const KeyboardEventRecord& record);
  void Release(uint32_t side, const KeyboardEventRecord& record);
  void CheckKeyState();
  // The watchdog found the key held without a reported press.
  void PressFromSystemState();
  void Emit(const char* type, const KeyboardEventRecord& record);
  bool key_down() const { return sides_down_ != 0; }

  static GlobalKeyboardHook* active_instance_;

  std::unique_ptr<flutter::MethodChannel> methods_channel_;
  std::unique_ptr<flutter::EventChannel> events_channel_;
  // Owned by the events channel's registration, which lives until this object
  // removes it.
  KeyboardStreamHandler* stream_handler_ = nullptr;
  std::unique_ptr<PushToTalkSystem> system_;
  HookId hook_ = kNoHook;
  // virtual_key 0 when no key is watched, else a virtual-key code from 1 to 254.
  WatchedKey watched_ = kNothingWatched;
  // Bit 0 and 1: which of the key's codes are held. The key is down while
  // either is.
  uint32_t sides_down_ = 0;
  KeyboardEventRecord last_down_event_;
  KeyWatchdog watchdog_;
};

// Push-to-talk over the engine's messenger with the system's hooks; defined by
// the Windows layer.
std::unique_ptr<GlobalKeyboardHook> CreateGlobalKeyboardHook(flutter::BinaryMessenger* messenger);

#endif  // VELMO_PTT_GLOBAL_KEYBOARD_HOOK_H_
