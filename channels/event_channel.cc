#include "channels/event_channel.h"

#include <cstdint>
#include <exception>
#include <sstream>
#include <utility>
#include <vector>

#include "channels/error_line.h"
#include "channels/method_call.h"

namespace flutter {
namespace {

constexpr char kListenMethod[] = "listen";
constexpr char kCancelMethod[] = "cancel";
constexpr char kNoActiveStreamCode[] = "error";
constexpr char kNoActiveStreamMessage[] = "No active stream to cancel";

// One SetStreamHandler registration. Its listening flag starts false for
// every registration, so a replaced handler never inherits a stream.
struct StreamRegistration {
  std::shared_ptr<StreamHandler> handler;
  const MethodCodec* codec;
  std::string name;
  BinaryMessenger* messenger;
  bool is_listening = false;
};

std::unique_ptr<std::vector<uint8_t>> EncodeOutcome(const MethodCodec& codec,
                                                    const StreamHandlerError* error) {
  if (error == nullptr) return codec.EncodeSuccessEnvelope();
  return codec.EncodeErrorEnvelope(error->error_code, error->error_message,
                                   error->error_details.get());
}

std::unique_ptr<std::vector<uint8_t>> HandleListen(StreamRegistration& registration,
                                                   const MethodCall& call) {
  if (registration.is_listening) {
    std::unique_ptr<StreamHandlerError> error = registration.handler->OnCancel(nullptr);
    if (error) {
      std::ostringstream line;
      line << "Failed to cancel existing stream: " << error->error_code << ", "
           << error->error_message << ", " << static_cast<const void*>(error->error_details.get());
      WriteErrorLine(line.str());
    }
  }
  registration.is_listening = true;
  auto sink = std::make_unique<EventChannel::EventSinkImplementation>(
      registration.messenger, registration.name, registration.codec);
  std::unique_ptr<StreamHandlerError> error =
      registration.handler->OnListen(call.arguments(), std::move(sink));
  return EncodeOutcome(*registration.codec, error.get());
}

std::unique_ptr<std::vector<uint8_t>> HandleCancel(StreamRegistration& registration,
                                                   const MethodCall& call) {
  if (!registration.is_listening) {
    return registration.codec->EncodeErrorEnvelope(kNoActiveStreamCode, kNoActiveStreamMessage);
  }
  std::unique_ptr<StreamHandlerError> error = registration.handler->OnCancel(call.arguments());
  registration.is_listening = false;
  return EncodeOutcome(*registration.codec, error.get());
}

void HandleMessage(StreamRegistration& registration, const uint8_t* message, size_t message_size,
                   const BinaryReply& reply) {
  std::unique_ptr<MethodCall> call = registration.codec->DecodeMethodCall(message, message_size);
  if (!call) {
    WriteErrorLine(
        {"Unable to construct method call from message on channel: ", registration.name});
    if (reply) reply(nullptr, 0);
    return;
  }
  std::unique_ptr<std::vector<uint8_t>> response;
  if (call->method_name() == kListenMethod) {
    response = HandleListen(registration, *call);
  } else if (call->method_name() == kCancelMethod) {
    response = HandleCancel(registration, *call);
  }
  if (!reply) return;
  if (response && !response->empty()) {
    reply(response->data(), response->size());
  } else {
    reply(nullptr, 0);
  }
}

}  // namespace

EventChannel::EventChannel(BinaryMessenger* messenger, const std::string& name,
                           const MethodCodec* codec)
    : messenger_(messenger), name_(name), codec_(codec) {}

void EventChannel::SetStreamHandler(std::unique_ptr<StreamHandler> handler) const {
  if (!handler) {
    messenger_->SetMessageHandler(name_, nullptr);
    return;
  }
  auto registration = std::make_shared<StreamRegistration>();
  registration->handler = std::shared_ptr<StreamHandler>(std::move(handler));
  registration->codec = codec_;
  registration->name = name_;
  registration->messenger = messenger_;
  BinaryMessageHandler binary_handler = [registration](const uint8_t* message, size_t message_size,
                                                       BinaryReply reply) {
    // The messenger calls this from C code of the engine: nothing may
    // propagate out of it. A call cut short still gets the empty answer, so
    // the Flutter side never waits for one.
    bool answered = false;
    try {
      const BinaryReply answer = [&answered, &reply](const uint8_t* data, size_t size) {
        answered = true;
        if (reply) reply(data, size);
      };
      HandleMessage(*registration, message, message_size, answer);
    } catch (const std::exception& error) {
      WriteErrorLine({"Stream handler on channel ", registration->name, " threw: ", error.what()});
    } catch (...) {
      WriteErrorLine({"Stream handler on channel ", registration->name, " threw."});
    }
    if (!answered && reply) reply(nullptr, 0);
  };
  messenger_->SetMessageHandler(name_, std::move(binary_handler));
}

EventChannel::EventSinkImplementation::EventSinkImplementation(const BinaryMessenger* messenger,
                                                               const std::string& name,
                                                               const MethodCodec* codec)
    : messenger_(messenger), name_(name), codec_(codec) {}

void EventChannel::EventSinkImplementation::SuccessInternal(const EncodableValue* event) {
  const auto message = codec_->EncodeSuccessEnvelope(event);
  messenger_->Send(name_, message->data(), message->size(), nullptr);
}

void EventChannel::EventSinkImplementation::ErrorInternal(const std::string& error_code,
                                                          const std::string& error_message,
                                                          const EncodableValue* error_details) {
  const auto message = codec_->EncodeErrorEnvelope(error_code, error_message, error_details);
  messenger_->Send(name_, message->data(), message->size(), nullptr);
}

void EventChannel::EventSinkImplementation::EndOfStreamInternal() {
  messenger_->Send(name_, nullptr, 0, nullptr);
}

}  // namespace flutter
