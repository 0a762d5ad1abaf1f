#include "channels/engine/reply_context.h"

#include <memory>

#include "channels/engine/error_line.h"

namespace flutter {

ReplyContext::ReplyContext(FlutterDesktopMessengerRef messenger,
                           const FlutterDesktopMessageResponseHandle* response_handle)
    : messenger_(messenger), response_handle_(response_handle) {}

void ReplyContext::Respond(const uint8_t* data, size_t data_size) {
  ScopedMessengerLock lock(messenger_.get());
  if (!FlutterDesktopMessengerIsAvailable(messenger_.get())) {
    return;
  }
  const FlutterDesktopMessageResponseHandle* handle = response_handle_.exchange(nullptr);
  if (handle == nullptr) {
    WriteErrorLine("Error: Response can be set only once. Ignoring duplicate response.");
    return;
  }
  FlutterDesktopMessengerSendResponse(messenger_.get(), handle, data, data_size);
}

BinaryReply MakeEngineReply(FlutterDesktopMessengerRef messenger,
                            const FlutterDesktopMessageResponseHandle* response_handle) {
  auto context = std::make_shared<ReplyContext>(messenger, response_handle);
  return [context](const uint8_t* data, size_t data_size) { context->Respond(data, data_size); };
}

}  // namespace flutter
