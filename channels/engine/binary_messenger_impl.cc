#include "channels/engine/binary_messenger_impl.h"

#include <exception>
#include <utility>

#include "channels/engine/error_line.h"
#include "channels/engine/reply_context.h"

namespace flutter {

BinaryMessengerImpl::BinaryMessengerImpl(FlutterDesktopMessengerRef core_messenger)
    : messenger_(core_messenger) {}

BinaryMessengerImpl::~BinaryMessengerImpl() = default;

void BinaryMessengerImpl::Send(const std::string& channel, const uint8_t* message,
                               size_t message_size, BinaryReply reply) const {
  if (messenger_ == nullptr) {
    return;
  }
  if (!reply) {
    FlutterDesktopMessengerSend(messenger_, channel.c_str(), message, message_size);
    return;
  }
  auto holder = std::make_unique<BinaryReply>(std::move(reply));
  if (FlutterDesktopMessengerSendWithReply(messenger_, channel.c_str(), message, message_size,
                                           &BinaryMessengerImpl::ForwardReply, holder.get())) {
    // The engine calls ForwardReply exactly once, which takes the holder back.
    holder.release();
  }
}

void BinaryMessengerImpl::SetMessageHandler(const std::string& channel,
                                            BinaryMessageHandler handler) {
  if (!handler) {
    handlers_.erase(channel);
    if (messenger_ != nullptr) {
      FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(), nullptr, nullptr);
    }
    return;
  }
  HandlerEntry& entry = handlers_[channel];
  entry = std::make_shared<BinaryMessageHandler>(std::move(handler));
  if (messenger_ == nullptr) {
    return;
  }
  FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(),
                                     &BinaryMessengerImpl::ForwardMessage, &entry);
}

void BinaryMessengerImpl::ForwardMessage(FlutterDesktopMessengerRef messenger,
                                         const FlutterDesktopMessage* message, void* user_data) {
  try {
    // A copy, so the handler survives being replaced or removed by itself.
    HandlerEntry handler = *static_cast<HandlerEntry*>(user_data);
    BinaryReply reply = MakeEngineReply(messenger, message->response_handle);
    (*handler)(message->message, message->message_size, std::move(reply));
  } catch (...) {
    ReportEscapedException("message handler", std::current_exception());
  }
}

void BinaryMessengerImpl::ForwardReply(const uint8_t* data, size_t data_size, void* user_data) {
  std::unique_ptr<BinaryReply> holder(static_cast<BinaryReply*>(user_data));
  try {
    (*holder)(data, data_size);
  } catch (...) {
    ReportEscapedException("reply handler", std::current_exception());
  }
}

}  // namespace flutter
