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

namespace {

// The error a call gets when its handler threw before it answered.
constexpr char kHandlerFailedCode[] = "internal_error";
constexpr char kUnknownFailure[] = "unknown error";

// The reply of one incoming call, reachable by both the call's result and the
// channel: the first answer goes out, any later one is dropped.
class SharedReply {
 public:
  explicit SharedReply(BinaryReply reply) : reply_(std::move(reply)) {}

  void Send(const uint8_t* data, size_t size) {
    if (answered_) return;
    answered_ = true;
    reply_(data, size);
  }
  bool answered() const { return answered_; }

 private:
  BinaryReply reply_;
  bool answered_ = false;
};

// Answers for a handler that threw before it did; an error that cannot be
// encoded becomes the empty answer, so the caller still hears back.
void AnswerFailedCall(SharedReply& reply, const MethodCodec& codec, const char* what) {
  if (reply.answered()) return;
  try {
    const auto envelope = codec.EncodeErrorEnvelope(kHandlerFailedCode, what);
    reply.Send(envelope->data(), envelope->size());
  } catch (const std::bad_alloc&) {
    reply.Send(nullptr, 0);
  }
}

}  // namespace

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
    // The channel keeps a hold on it too: a handler that throws has already
    // let go of its result.
    std::shared_ptr<SharedReply> shared_reply;
    std::unique_ptr<EngineMethodResult> result;
    try {
      if (reply) {
        shared_reply = std::make_shared<SharedReply>(std::move(reply));
      }
      BinaryReply forward;
      if (shared_reply) {
        forward = [shared_reply](const uint8_t* data, size_t size) {
          shared_reply->Send(data, size);
        };
      }
      result = std::make_unique<EngineMethodResult>(std::move(forward), codec);
    } catch (const std::bad_alloc&) {
      // The reply is still here, alone or shared: each allocation fails
      // before it is moved on.
      WriteErrorLine({"Unable to construct method call from message on channel ", channel_name});
      if (shared_reply) {
        shared_reply->Send(nullptr, 0);
      } else if (reply) {
        reply(nullptr, 0);
      }
      return;
    }
    std::unique_ptr<MethodCall> call = codec->DecodeMethodCall(message, message_size);
    if (!call) {
      WriteErrorLine({"Unable to construct method call from message on channel ", channel_name});
      result->NotImplemented();
      return;
    }
    // The messenger calls this from C code of the engine: nothing may
    // propagate out of it. A call cut short is answered with an error, so the
    // Flutter side never waits for an answer that cannot come.
    try {
      handler(*call, std::move(result));
    } catch (const std::exception& error) {
      WriteErrorLine({"Method call handler on channel ", channel_name, " threw: ", error.what()});
      if (shared_reply) AnswerFailedCall(*shared_reply, *codec, error.what());
    } catch (...) {
      WriteErrorLine({"Method call handler on channel ", channel_name, " threw."});
      if (shared_reply) AnswerFailedCall(*shared_reply, *codec, kUnknownFailure);
    }
  };
  messenger_->SetMessageHandler(name_, std::move(binary_handler));
}

}  // namespace flutter
