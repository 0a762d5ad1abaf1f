#include "testing/echo_host/echo_channels.h"

#include <chrono>
#include <string>
#include <utility>

#include "channels/encodable_value.h"
#include "channels/standard_method_codec.h"
#include "channels/stream_handler.h"

namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

constexpr char kRawChannel[] = "velmo.testing/echo_raw";
constexpr char kEchoChannel[] = "velmo.testing/echo";
constexpr char kEventChannel[] = "velmo.testing/events";
constexpr char kErrorCode[] = "echo_error";
constexpr char kErrorMessage[] = "Echoed as an error.";
constexpr auto kLaterDelay = std::chrono::milliseconds(50);

EncodableValue ArgumentsOf(const flutter::MethodCall& call) {
  return call.arguments() == nullptr ? EncodableValue() : *call.arguments();
}

// Tells the Flutter side how it answered a call of the host.
class ReportingResult : public flutter::MethodResult {
 public:
  explicit ReportingResult(const flutter::MethodChannel* channel) : channel_(channel) {}

 private:
  void Report(EncodableMap report) {
    channel_->InvokeMethod("resultSeen", std::make_unique<EncodableValue>(std::move(report)));
  }
  void SuccessInternal(const EncodableValue* value) override {
    Report({{EncodableValue("kind"), EncodableValue("success")},
            {EncodableValue("value"), value == nullptr ? EncodableValue() : *value}});
  }
  void ErrorInternal(const std::string& code, const std::string& message,
                     const EncodableValue* details) override {
    Report({{EncodableValue("kind"), EncodableValue("error")},
            {EncodableValue("code"), EncodableValue(code)},
            {EncodableValue("message"), EncodableValue(message)},
            {EncodableValue("details"), details == nullptr ? EncodableValue() : *details}});
  }
  void NotImplementedInternal() override {
    Report({{EncodableValue("kind"), EncodableValue("not_implemented")}});
  }

  const flutter::MethodChannel* channel_;
};

// Keeps the sink of the current listener in a slot shared with the channels.
class EchoStreamHandler : public flutter::StreamHandler {
 public:
  explicit EchoStreamHandler(std::shared_ptr<std::unique_ptr<flutter::EventSink>> slot)
      : slot_(std::move(slot)) {}

 private:
  std::unique_ptr<flutter::StreamHandlerError> OnListenInternal(
      const EncodableValue* arguments, std::unique_ptr<flutter::EventSink>&& events) override {
    *slot_ = std::move(events);
    (*slot_)->Success(arguments == nullptr ? EncodableValue() : *arguments);
    return nullptr;
  }
  std::unique_ptr<flutter::StreamHandlerError> OnCancelInternal(const EncodableValue*) override {
    slot_->reset();
    return nullptr;
  }

  std::shared_ptr<std::unique_ptr<flutter::EventSink>> slot_;
};

}  // namespace

EchoChannels::EchoChannels(flutter::BinaryMessenger* messenger, std::function<void(int)> quit)
    : messenger_(messenger),
      quit_(std::move(quit)),
      sink_(std::make_shared<std::unique_ptr<flutter::EventSink>>()) {
  const auto& codec = flutter::StandardMethodCodec::GetInstance();
  messenger_->SetMessageHandler(
      kRawChannel, [](const uint8_t* message, size_t size, const flutter::BinaryReply& reply) {
        reply(message, size);
      });
  echo_ = std::make_unique<flutter::MethodChannel>(messenger_, kEchoChannel, &codec);
  echo_->SetMethodCallHandler(
      [this](const flutter::MethodCall& call, std::unique_ptr<flutter::MethodResult> result) {
        HandleCall(call, std::move(result));
      });
  events_ = std::make_unique<flutter::EventChannel>(messenger_, kEventChannel, &codec);
  events_->SetStreamHandler(std::make_unique<EchoStreamHandler>(sink_));
}

EchoChannels::~EchoChannels() {
  for (std::thread& worker : workers_) {
    worker.join();
  }
  messenger_->SetMessageHandler(kRawChannel, nullptr);
  echo_->SetMethodCallHandler(nullptr);
  events_->SetStreamHandler(nullptr);
}

std::vector<std::unique_ptr<flutter::MethodResult>> EchoChannels::TakeKeptResults() {
  return std::move(kept_results_);
}

void EchoChannels::HandleCall(const flutter::MethodCall& call,
                              std::unique_ptr<flutter::MethodResult> result) {
  const std::string& method = call.method_name();
  if (method == "echo") {
    result->Success(ArgumentsOf(call));
  } else if (method == "nothing") {
    result->Success();
  } else if (method == "error") {
    result->Error(kErrorCode, kErrorMessage, ArgumentsOf(call));
  } else if (method == "errorWithoutMessage") {
    result->Error(kErrorCode);
  } else if (method == "twice") {
    result->Success(ArgumentsOf(call));
    result->Success(ArgumentsOf(call));
  } else if (method == "later") {
    workers_.emplace_back([answer = ArgumentsOf(call),
                           shared = std::shared_ptr<flutter::MethodResult>(std::move(result))] {
      std::this_thread::sleep_for(kLaterDelay);
      shared->Success(answer);
    });
  } else if (method == "drop") {
    result.reset();
  } else if (method == "keepUntilShutdown") {
    kept_results_.push_back(std::move(result));
  } else if (method == "notify") {
    result->Success();
    echo_->InvokeMethod("notified", std::make_unique<EncodableValue>(ArgumentsOf(call)));
  } else if (method == "invoke") {
    result->Success();
    echo_->InvokeMethod("fromHost", std::make_unique<EncodableValue>(ArgumentsOf(call)),
                        std::make_unique<ReportingResult>(echo_.get()));
  } else if (method == "emit") {
    if (*sink_) {
      (*sink_)->Success(ArgumentsOf(call));
    }
    result->Success(EncodableValue(static_cast<bool>(*sink_)));
  } else if (method == "quit") {
    const auto* code = std::get_if<int32_t>(call.arguments());
    result->Success();
    quit_(code == nullptr ? 0 : *code);
  } else {
    result->NotImplemented();
  }
}
