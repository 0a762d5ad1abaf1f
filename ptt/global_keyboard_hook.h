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
#include "ptt/hook_event_records.h"
#include "ptt/key_watch.h"
#include "ptt/push_to_talk_system.h"

inline constexpr char kPushToTalkMethodsChannelName[] = "app/windows_ptt/methods";
inline constexpr char kPushToTalkEventsChannelName[] = "app/windows_ptt/events";

// Push-to-talk: watches one key or mouse button system-wide and reports each
// press and release of it on "app/windows_ptt/events";
// "app/windows_ptt/methods" chooses the key. The key is only observed: every
// event goes on to the focused application.
//
// The system makes the whole desktop's input wait for a low-level hook's
// call, so the hooks live on an input thread of their own (KeyWatch) that
// does nothing else. This object lives on the platform thread: it hands
// "start", "stop" and "isListening" to the input thread and answers each call
// when the input thread reports back, and sends the edges the input thread
// posts, in their order, so that the platform thread never waits.
class GlobalKeyboardHook {
 public:
  GlobalKeyboardHook(flutter::BinaryMessenger* messenger, std::unique_ptr<PushToTalkSystem> system);
  // Ends the watch and the input thread; a key still held gets its "keyUp"
  // out before this returns.
  ~GlobalKeyboardHook();

  GlobalKeyboardHook(const GlobalKeyboardHook&) = delete;
  GlobalKeyboardHook& operator=(const GlobalKeyboardHook&) = delete;

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
  // Checks the arguments here; the watch itself starts on the input thread.
  void Start(const flutter::EncodableValue* arguments,
             std::unique_ptr<flutter::MethodResult> result);
  void Emit(const char* type, const KeyOrButtonRecord& record);

  std::unique_ptr<flutter::MethodChannel> methods_channel_;
  std::unique_ptr<flutter::EventChannel> events_channel_;
  // Owned by the events channel's registration, which lives until this object
  // removes it.
  KeyboardStreamHandler* stream_handler_ = nullptr;
  std::unique_ptr<PushToTalkSystem> system_;
  // Touched only on the input thread, from construction until the input
  // thread has ended.
  std::unique_ptr<KeyWatch> watch_;
};

// Push-to-talk over the engine's messenger with the system's hooks; defined by
// the Windows layer.
std::unique_ptr<GlobalKeyboardHook> CreateGlobalKeyboardHook(flutter::BinaryMessenger* messenger);

#endif  // VELMO_PTT_GLOBAL_KEYBOARD_HOOK_H_
