#include "channels/engine_method_result.h"

#include <exception>
#include <utility>

#include "channels/error_line.h"

namespace flutter {

ReplyGuard::ReplyGuard(BinaryReply reply) : reply_(std::move(reply)) {}

ReplyGuard::~ReplyGuard() {
  // A result dropped while its handler's exception unwinds is answered by
  // the channel.
  if (!used_ && reply_ && std::uncaught_exceptions() == 0) {
    WriteErrorLine("Warning: Failed to respond to a message. This is a memory leak.");
  }
}

void ReplyGuard::SendResponseData(const std::vector<uint8_t>* data) {
  if (used_) {
    WriteErrorLine(
        "Error: Only one of Success, Error, or NotImplemented can be called,"
        " and it can be called exactly once. Ignoring duplicate result.");
    return;
  }
  // Emptied before the call, so that an answer given from inside the reply
  // function is refused too.
  used_ = true;
  BinaryReply reply = std::move(reply_);
  reply_ = nullptr;
  // A message sent without a reply function takes no answer.
  if (!reply) return;
  if (data == nullptr || data->empty()) {
    reply(nullptr, 0);
  } else {
    reply(data->data(), data->size());
  }
}

EngineMethodResult::EngineMethodResult(BinaryReply reply, const MethodCodec* codec)
    : reply_handler_(std::move(reply)), codec_(codec) {}

void EngineMethodResult::SuccessInternal(const EncodableValue* result) {
  const auto data = codec_->EncodeSuccessEnvelope(result);
  reply_handler_.SendResponseData(data.get());
}

void EngineMethodResult::ErrorInternal(const std::string& error_code,
                                       const std::string& error_message,
                                       const EncodableValue* error_details) {
  const auto data = codec_->EncodeErrorEnvelope(error_code, error_message, error_details);
  reply_handler_.SendResponseData(data.get());
}

void EngineMethodResult::NotImplementedInternal() { reply_handler_.SendResponseData(nullptr); }

}  // namespace flutter
