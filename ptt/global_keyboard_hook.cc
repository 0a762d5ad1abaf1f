#include "ptt/global_keyboard_hook.h"

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
                                       std::unique_ptr<KeyboardHookInstaller> installer)
    : installer_(std::move(installer)) {
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
    result->Success(flutter::EncodableValue(hook_installed_));
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
  if (hook_installed_ && watched_key_ == requested) {
    result.Success(flutter::EncodableValue(true));
    return;
  }

  ReleaseHeldKey();
  RemoveHook();
  watched_key_ = requested;
  // The hook may be called as soon as it is installed.
  active_instance_ = this;
  if (!installer_->Install()) {
    active_instance_ = nullptr;
    watched_key_ = 0;
    const uint32_t error = installer_->LastError();
    result.Error(kHookInstallFailedCode, kHookInstallFailedMessage,
                 flutter::EncodableValue(flutter::EncodableMap{
                     {flutter::EncodableValue(kWin32ErrorDetail),
                      flutter::EncodableValue(static_cast<int64_t>(error))}}));
    return;
  }
  hook_installed_ = true;
  result.Success(flutter::EncodableValue(true));
}

void GlobalKeyboardHook::Stop() {
  ReleaseHeldKey();
  RemoveHook();
  if (active_instance_ == this) {
    active_instance_ = nullptr;
  }
  watched_key_ = 0;
}

void GlobalKeyboardHook::RemoveHook() {
  if (hook_installed_) {
    installer_->Remove();
    hook_installed_ = false;
  }
}

void GlobalKeyboardHook::ReleaseHeldKey() {
  if (key_down_) {
    key_down_ = false;
    Emit(kKeyUpEvent, last_down_event_);
  }
}

void GlobalKeyboardHook::HandleWatchedKeyEvent(uintptr_t message,
                                               const KeyboardEventRecord& record) {
  switch (message) {
    case kMessageKeyDown:
    case kMessageSysKeyDown:
      // Auto-repeat of a held key reports nothing more.
      if (!key_down_) {
        key_down_ = true;
        last_down_event_ = record;
        Emit(kKeyDownEvent, record);
      }
      break;
    case kMessageKeyUp:
    case kMessageSysKeyUp:
      // A release without a reported press (the key was held before the
      // watch began) reports nothing.
      if (key_down_) {
        key_down_ = false;
        Emit(kKeyUpEvent, record);
      }
      break;
    default:
      break;
  }
}

void GlobalKeyboardHook::Emit(const char* type, const KeyboardEventRecord& record) {
  if (stream_handler_ != nullptr) {
    stream_handler_->Deliver(KeyEventPayload(type, record));
  }
}
