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
constexpr char kKeyboardHookFailedMessage[] = "Unable to install the Windows keyboard hook";
constexpr char kMouseHookFailedMessage[] = "Unable to install the Windows mouse hook";
constexpr char kWin32ErrorDetail[] = "win32Error";

constexpr char kTypeKey[] = "type";
constexpr char kVirtualKeyKey[] = "virtualKey";
constexpr char kScanCodeKey[] = "scanCode";
constexpr char kInjectedKey[] = "injected";

const flutter::MethodCodec* SharedCodec() { return &flutter::StandardMethodCodec::GetInstance(); }

flutter::EncodableValue KeyEventPayload(const char* type, const KeyOrButtonRecord& record) {
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

void AnswerStart(const StartOutcome& outcome, flutter::MethodResult& result) {
  if (outcome.installed) {
    result.Success(flutter::EncodableValue(true));
    return;
  }
  result.Error(
      kHookInstallFailedCode,
      outcome.refused == HookKind::kMouse ? kMouseHookFailedMessage : kKeyboardHookFailedMessage,
      flutter::EncodableValue(flutter::EncodableMap{
          {flutter::EncodableValue(kWin32ErrorDetail),
           flutter::EncodableValue(static_cast<int64_t>(outcome.win32_error))}}));
}

}  // namespace

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
  watch_ = std::make_unique<KeyWatch>(
      *system_, [this](const char* type, const KeyOrButtonRecord& record) {
        system_->RunOnPlatformThread([this, type, record] { Emit(type, record); });
      });
}

GlobalKeyboardHook::~GlobalKeyboardHook() {
  // A key still held gets its "keyUp" while the events channel can carry it:
  // the input thread posts it before it ends, and every report it left runs
  // here.
  system_->RunOnInputThread([this] { watch_->Stop(); });
  system_->StopInputThread();
  watch_.reset();
  methods_channel_->SetMethodCallHandler(nullptr);
  events_channel_->SetStreamHandler(nullptr);
  // The events channel goes, then the methods channel: the fields' order.
  stream_handler_ = nullptr;
}

void GlobalKeyboardHook::HandleMethodCall(const flutter::MethodCall& call,
                                          std::unique_ptr<flutter::MethodResult> result) {
  const std::string& method = call.method_name();
  if (method == kStartMethod) {
    Start(call.arguments(), std::move(result));
    return;
  }
  // The answer waits for the input thread, after any edge it posted before.
  std::shared_ptr<flutter::MethodResult> pending(std::move(result));
  if (method == kStopMethod) {
    system_->RunOnInputThread([this, pending] {
      watch_->Stop();
      system_->RunOnPlatformThread([pending] { pending->Success(); });
    });
  } else if (method == kIsListeningMethod) {
    system_->RunOnInputThread([this, pending] {
      const bool listening = watch_->listening();
      system_->RunOnPlatformThread(
          [pending, listening] { pending->Success(flutter::EncodableValue(listening)); });
    });
  } else {
    pending->NotImplemented();
  }
}

void GlobalKeyboardHook::Start(const flutter::EncodableValue* arguments,
                               std::unique_ptr<flutter::MethodResult> result) {
  const flutter::EncodableMap* map = flutter::MapArgument(arguments);
  const flutter::EncodableValue* key_value =
      map != nullptr ? flutter::FindValue(*map, kVirtualKeyArgument) : nullptr;
  if (key_value == nullptr) {
    result->Error(kInvalidArgumentsCode, kInvalidArgumentsMessage);
    return;
  }
  const auto* key = std::get_if<int32_t>(key_value);
  if (key == nullptr || *key < kMinVirtualKey || *key > kMaxVirtualKey) {
    result->Error(kInvalidVirtualKeyCode, kInvalidVirtualKeyMessage);
    return;
  }
  const auto requested = static_cast<uint32_t>(*key);
  std::shared_ptr<flutter::MethodResult> pending(std::move(result));
  system_->RunOnInputThread([this, requested, pending] {
    const StartOutcome outcome = watch_->Start(requested);
    system_->RunOnPlatformThread([pending, outcome] { AnswerStart(outcome, *pending); });
  });
}

void GlobalKeyboardHook::Emit(const char* type, const KeyOrButtonRecord& record) {
  if (stream_handler_ != nullptr) {
    stream_handler_->Deliver(KeyEventPayload(type, record));
  }
}
