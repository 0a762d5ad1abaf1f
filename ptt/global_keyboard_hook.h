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
#include "ptt/keyboard_event_record.h"
#include "ptt/keyboard_hook_installer.h"

inline constexpr char kPushToTalkMethodsChannelName[] = "app/windows_ptt/methods";
inline constexpr char kPushToTalkEventsChannelName[] = "app/windows_ptt/events";

// Push-to-talk: watches one key system-wide and reports each press and release
// of it on "app/windows_ptt/events"; "app/windows_ptt/methods" chooses the key.
// The key is only observed: every event goes on to the focused application.
// Everything here runs on the thread of the window message loop.
class GlobalKeyboardHook {
 public:
  GlobalKeyboardHook(flutter::BinaryMessenger* messenger,
                     std::unique_ptr<KeyboardHookInstaller> installer);
  ~GlobalKeyboardHook();

  GlobalKeyboardHook(const GlobalKeyboardHook&) = delete;
  GlobalKeyboardHook& operator=(const GlobalKeyboardHook&) = delete;

  // The instance whose hook is installed, or null. The hook procedure gets no
  // context of its own, so it finds the instance here.
  static GlobalKeyboardHook* active() { return active_instance_; }

  // Decides about one event the hook procedure received. Runs for every
  // keystroke of the desktop, so any key but the watched one costs a single
  // comparison. The caller passes every event on whatever happens here.
  static void HandleHookEvent(int code, uintptr_t message, const KeyboardEventRecord& record) {
    GlobalKeyboardHook* hook = active_instance_;
    if (hook != nullptr && record.vk_code == hook->watched_key_ && code == kHookCodeAction) {
      hook->HandleWatchedKeyEvent(message, record);
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
  void ReleaseHeldKey();
  void HandleWatchedKeyEvent(uintptr_t message, const KeyboardEventRecord& record);
  void Emit(const char* type, const KeyboardEventRecord& record);

  static GlobalKeyboardHook* active_instance_;

  std::unique_ptr<flutter::MethodChannel> methods_channel_;
  std::unique_ptr<flutter::EventChannel> events_channel_;
  // Owned by the events channel's registration, which lives until this object
  // removes it.
  KeyboardStreamHandler* stream_handler_ = nullptr;
  std::unique_ptr<KeyboardHookInstaller> installer_;
  bool hook_installed_ = false;
  // 0 when no key is watched, else a virtual-key code from 1 to 254.
  uint32_t watched_key_ = 0;
  bool key_down_ = false;
  KeyboardEventRecord last_down_event_;
};

#endif  // VELMO_PTT_GLOBAL_KEYBOARD_HOOK_H_
