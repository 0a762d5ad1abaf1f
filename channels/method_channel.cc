#include "channels/method_channel.h"

#include <exception>
#include <new>
#include <utility>
#include <vector>

#include "channels/engine_method_result.h"
#include "channels/error_line.h"

namespace flutter {

MethodChannel::MethodChannel(BinaryMessenger* messenger, const std::string& name,
                             const MethodCodec* codec)
    : messenger_(messenger), name_(name), codec_(codec) {}

void MethodChannel::InvokeMethod(const std::string& method,
                                 std::unique_ptr<EncodableValue> arguments,
                                 std::unique_ptr<MethodResult> result) const {
  MethodCall call(method, std::move(arguments));
  const auto message = codec_->EncodeMethodCall(call);
  if (!result) {
    messenger_->Send(name_, message->data(), message->size(), nullptr);
    return;
  }
  std::shared_ptr<MethodResult> shared_result = std::move(result);
  BinaryReply on_reply = [shared_result, codec = codec_, channel_name = name_](const uint8_t* reply,
                                                                               size_t reply_size) {
    if (reply == nullptr || reply_size == 0) {
      shared_result->NotImplemented();
      return;
    }
    if (!codec->DecodeAndProcessResponseEnvelope(reply, reply_size, shared_result.get())) {
      WriteErrorLine({"Unable to decode reply to method invocation on channel ", channel_name});
      shared_result->NotImplemented();
    }
  };
  messenger_->Send(name_, message->data(), message->size(), std::move(on_reply));
}

void MethodChannel::SetMethodCallHandler(MethodCallHandler handler) const {
  if (!handler) {
    messenger_->SetMessageHandler(name_, nullptr);
    return;
  }
  BinaryMessageHandler binary_handler = [handler = std::move(handler), codec = codec_,
                                         channel_name = name_](const uint8_t* message,
                                                               size_t message_size,
                                                               BinaryReply reply) {
    // The result takes the reply first, so that every path answers or warns.
    std::unique_ptr<EngineMethodResult> result;
    try {
      result = std::make_unique<EngineMethodResult>(std::move(reply), codec);
    } catch (const std::bad_alloc&) {
      // The reply is still here: the allocation fails before it is moved.
      WriteErrorLine({"Unable to construct method call from message on channel ", channel_name});
      if (reply) reply(nullptr, 0);
      return;
    }
    std::unique_ptr<MethodCall> call = codec->DecodeMethodCall(message, message_size);
    if (!call) {
      WriteErrorLine({"Unable to construct method call from message on channel ", channel_name});
      result->NotImplemented();
      return;
    }
    // The messenger calls this from C code of the engine: nothing may
    // propagate out of it.
    try {
      handler(*call, std::move(result));
    } catch (const std::exception& error) {
      WriteErrorLine({"Method call handler on channel ", channel_name, " threw: ", error.what()});
    } catch (...) {
      WriteErrorLine({"Method call handler on channel ", channel_name, " threw."});
    }
  };
  messenger_->SetMessageHandler(name_, std::move(binary_handler));
}

}  // namespace flutter
