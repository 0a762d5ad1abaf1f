#include "ptt/global_keyboard_hook.h"

#include <cstdio>
#include <string>
#include <utility>
#include <variant>

#include "channels/argument_lookup.h"
#include "channels/standard_method_codec.h"

namespace {

constexpr char kStartMethod[] = "start";
constexpr char kStopMethod[] = "stop";
constexpr char kIsListeningMethod[] = "isListening";

constexpr char kVirtualKeyArgument[] = "virtualKey";
constexpr int32_t kMinVirtualKey = 1;
constexpr int32_t kMaxVirtualKey = 254;

constexpr char kInvalidArgumentsCode[] = "invalid_arguments";
constexpr char kInvalidArgumentsMessage[] = "start requires a virtualKey argument";
constexpr char kInvalidVirtualKeyCode[] = "invalid_virtual_key";
constexpr char kInvalidVirtualKeyMessage[] = "virtualKey must be between 1 and 254";
constexpr char kHookInstallFailedCode[] = "hook_install_failed";
constexpr char kHookInstallFailedMessage[] = "Unable to install the Windows keyboard hook";
constexpr char kWin32ErrorDetail[] = "win32Error";

constexpr char kKeyDownEvent[] = "keyDown";
constexpr char kKeyUpEvent[] = "keyUp";
constexpr char kTypeKey[] = "type";
constexpr char kVirtualKeyKey[] = "virtualKey";
constexpr char kScanCodeKey[] = "scanCode";
constexpr char kInjectedKey[] = "injected";

constexpr char kMissedKeyUpReason[] = "missed_key_up";
constexpr char kMissedKeyDownReason[] = "missed_key_down";
constexpr char kLateTickReason[] = "late_tick";
constexpr size_t kLogLineSize = 96;

constexpr uint32_t kFirstSide = 0;

const flutter::MethodCodec* SharedCodec() { return &flutter::StandardMethodCodec::GetInstance(); }

flutter::EncodableValue KeyEventPayload(const char* type, const KeyboardEventRecord& record) {
  return flutter::EncodableValue(flutter::EncodableMap{
      {flutter::EncodableValue(kTypeKey), flutter::EncodableValue(type)},
      {flutter::EncodableValue(kVirtualKeyKey),
       flutter::EncodableValue(static_cast<int32_t>(record.vk_code))},
      {flutter::EncodableValue(kScanCodeKey),
       flutter::EncodableValue(static_cast<int32_t>(record.scan_code))},
      {flutter::EncodableValue(kInjectedKey),
       flutter::EncodableValue((record.flags & kInjectedFlag) != 0)},
  });
}

}  // namespace

GlobalKeyboardHook* GlobalKeyboardHook::active_instance_ = nullptr;

void GlobalKeyboardHook::KeyboardStreamHandler::Deliver(const flutter::EncodableValue& event) {
  if (sink_) {
    sink_->Success(event);
  }
}

std::unique_ptr<flutter::StreamHandlerError>
GlobalKeyboardHook::KeyboardStreamHandler::OnListenInternal(
    const flutter::EncodableValue*, std::unique_ptr<flutter::EventSink>&& events) {
  sink_ = std::move(events);
  return nullptr;
}

std::unique_ptr<flutter::StreamHandlerError>
GlobalKeyboardHook::KeyboardStreamHandler::OnCancelInternal(const flutter::EncodableValue*) {
  sink_.reset();
  return nullptr;
}

GlobalKeyboardHook::GlobalKeyboardHook(flutter::BinaryMessenger* messenger,
                                       std::unique_ptr<PushToTalkSystem> system)
    : system_(std::move(system)) {
  methods_channel_ = std::make_unique<flutter::MethodChannel>(
      messenger, kPushToTalkMethodsChannelName, SharedCodec());
  methods_channel_->SetMethodCallHandler(
      [this](const flutter::MethodCall& call, std::unique_ptr<flutter::MethodResult> result) {
        HandleMethodCall(call, std::move(result));
      });
  events_channel_ = std::make_unique<flutter::EventChannel>(messenger, kPushToTalkEventsChannelName,
                                                            SharedCodec());
  auto stream_handler = std::make_unique<KeyboardStreamHandler>();
  stream_handler_ = stream_handler.get();
  events_channel_->SetStreamHandler(std::move(stream_handler));
}

GlobalKeyboardHook::~GlobalKeyboardHook() {
  // A key still held gets its "keyUp" while the events channel can carry it.
  Stop();
  methods_channel_->SetMethodCallHandler(nullptr);
  events_channel_->SetStreamHandler(nullptr);
  stream_handler_ = nullptr;
  events_channel_.reset();
  methods_channel_.reset();
}

void GlobalKeyboardHook::HandleMethodCall(const flutter::MethodCall& call,
                                          std::unique_ptr<flutter::MethodResult> result) {
  const std::string& method = call.method_name();
  if (method == kStartMethod) {
    Start(call.arguments(), *result);
  } else if (method == kStopMethod) {
    Stop();
    result->Success();
  } else if (method == kIsListeningMethod) {
    result->Success(flutter::EncodableValue(hook_ != kNoHook));
  } else {
    result->NotImplemented();
  }
}

void GlobalKeyboardHook::Start(const flutter::EncodableValue* arguments,
                               flutter::MethodResult& result) {
  const flutter::EncodableMap* map = flutter::MapArgument(arguments);
  const flutter::EncodableValue* key_value =
      map != nullptr ? flutter::FindValue(*map, kVirtualKeyArgument) : nullptr;
  if (key_value == nullptr) {
    result.Error(kInvalidArgumentsCode, kInvalidArgumentsMessage);
    return;
  }
  const auto* key = std::get_if<int32_t>(key_value);
  if (key == nullptr || *key < kMinVirtualKey || *key > kMaxVirtualKey) {
    result.Error(kInvalidVirtualKeyCode, kInvalidVirtualKeyMessage);
    return;
  }
  const auto requested = static_cast<uint32_t>(*key);
  if (hook_ != kNoHook && watched_.virtual_key == requested) {
    result.Success(flutter::EncodableValue(true));
    return;
  }

  ReleaseHeldKey();
  RemoveHook();
  watched_ = WatchedKeyFor(requested);
  // The hook may be called as soon as it is installed.
  active_instance_ = this;
  hook_ = system_->InstallHook(watched_.hook);
  if (hook_ == kNoHook) {
    active_instance_ = nullptr;
    watched_ = kNothingWatched;
    const uint32_t error = system_->LastError();
    result.Error(kHookInstallFailedCode, kHookInstallFailedMessage,
                 flutter::EncodableValue(flutter::EncodableMap{
                     {flutter::EncodableValue(kWin32ErrorDetail),
                      flutter::EncodableValue(static_cast<int64_t>(error))}}));
    return;
  }
  watchdog_.Restart(system_->NowMs());
  system_->StartWatchdogTimer();
  result.Success(flutter::EncodableValue(true));
}

void GlobalKeyboardHook::Stop() {
  ReleaseHeldKey();
  RemoveHook();
  if (active_instance_ == this) {
    active_instance_ = nullptr;
  }
  watched_ = kNothingWatched;
}

void GlobalKeyboardHook::RemoveHook() {
  if (hook_ != kNoHook) {
    system_->StopWatchdogTimer();
    system_->RemoveHook(hook_);
    hook_ = kNoHook;
  }
}

void GlobalKeyboardHook::ReinstallHook(const char* reason) {
  char line[kLogLineSize];
  const HookId fresh = system_->InstallHook(watched_.hook);
  if (fresh == kNoHook) {
    // The old hook stays: it may still deliver, and the next late tick or
    // missed edge tries again.
    std::snprintf(line, sizeof(line), "ptt_hook_reinstall_failed reason=%s win32_error=%u", reason,
                  static_cast<unsigned>(system_->LastError()));
  } else {
    system_->RemoveHook(hook_);
    hook_ = fresh;
    std::snprintf(line, sizeof(line), "ptt_hook_reinstalled reason=%s", reason);
  }
  system_->Log(line);
}

void GlobalKeyboardHook::ReleaseHeldKey() {
  if (key_down()) {
    sides_down_ = 0;
    Emit(kKeyUpEvent, last_down_event_);
  }
}

void GlobalKeyboardHook::HandleWatchedKeyEvent(uintptr_t message,
                                               const KeyboardEventRecord& record) {
  const uint32_t side = record.vk_code & watched_.side_bit;
  switch (message) {
    case kMessageKeyDown:
    case kMessageSysKeyDown:
      Press(side, record);
      break;
    case kMessageKeyUp:
    case kMessageSysKeyUp:
      Release(side, record);
      break;
    default:
      break;
  }
}

void GlobalKeyboardHook::HandleWatchedButtonEvent(uintptr_t message,
                                                  const MouseEventRecord& record) {
  if (watched_.x_button != 0 && record.mouse_data >> kSideButtonShift != watched_.x_button) {
    return;
  }
  const KeyboardEventRecord button{watched_.virtual_key, 0,
                                   (record.flags & kMouseInjectedFlag) != 0 ? kInjectedFlag : 0,
                                   record.time, record.extra_info};
  if (message == watched_.down_message) {
    Press(kFirstSide, button);
  } else {
    Release(kFirstSide, button);
  }
}

void GlobalKeyboardHook::Press(uint32_t side, const KeyboardEventRecord& record) {
  const uint32_t bit = 1u << side;
  // Auto-repeat of a held key, or the other side of a modifier already held,
  // reports nothing more.
  if ((sides_down_ & bit) != 0) {
    return;
  }
  const bool first = sides_down_ == 0;
  sides_down_ |= bit;
  if (first) {
    last_down_event_ = record;
    Emit(kKeyDownEvent, record);
  }
}

void GlobalKeyboardHook::Release(uint32_t side, const KeyboardEventRecord& record) {
  const uint32_t bit = 1u << side;
  // A release without a reported press (the key was held before the watch
  // began) reports nothing; neither does one side of a modifier while the
  // other stays held.
  if ((sides_down_ & bit) == 0) {
    return;
  }
  sides_down_ &= ~bit;
  if (sides_down_ == 0) {
    Emit(kKeyUpEvent, record);
  }
}

void GlobalKeyboardHook::CheckKeyState() {
  if (hook_ == kNoHook) {
    return;
  }
  const WatchdogVerdict verdict =
      watchdog_.Tick(system_->NowMs(), key_down(), system_->IsKeyDown(watched_.virtual_key));
  // A hook that missed an edge may have been dropped by the system; the
  // event the hook may still bring later finds the state already set and
  // reports nothing.
  if (verdict.edge == MissingEdge::kKeyUp) {
    ReleaseHeldKey();
    ReinstallHook(kMissedKeyUpReason);
  } else if (verdict.edge == MissingEdge::kKeyDown) {
    PressFromSystemState();
    ReinstallHook(kMissedKeyDownReason);
  } else if (verdict.late) {
    ReinstallHook(kLateTickReason);
  }
}

void GlobalKeyboardHook::PressFromSystemState() {
  const KeyboardEventRecord record{watched_.virtual_key, system_->ScanCodeOf(watched_.virtual_key),
                                   0, static_cast<uint32_t>(system_->NowMs()), 0};
  // A modifier notes the sides held now, so that the release of each is
  // recognised; should the system not tell, the watchdog ends the press.
  uint32_t sides = 0;
  if (watched_.side_bit != 0) {
    for (const uint32_t side : {0u, watched_.side_bit}) {
      if (system_->IsKeyDown((watched_.match_code & ~watched_.side_bit) | side)) {
        sides |= 1u << side;
      }
    }
  }
  sides_down_ = sides != 0 ? sides : 1u << kFirstSide;
  last_down_event_ = record;
  Emit(kKeyDownEvent, record);
}

void GlobalKeyboardHook::Emit(const char* type, const KeyboardEventRecord& record) {
  if (stream_handler_ != nullptr) {
    stream_handler_->Deliver(KeyEventPayload(type, record));
  }
}
