#ifndef VELMO_CHANNELS_ENGINE_REPLY_CONTEXT_H_
#define VELMO_CHANNELS_ENGINE_REPLY_CONTEXT_H_

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "channels/binary_messenger.h"
#include "channels/engine/engine_api.h"
#include "channels/engine/messenger_reference.h"

namespace flutter {

// What answering one incoming message needs: the messenger, held by a counted
// reference, and the message's response handle, null once it has been used.
class ReplyContext {
 public:
  ReplyContext(FlutterDesktopMessengerRef messenger,
               const FlutterDesktopMessageResponseHandle* response_handle);

  ReplyContext(const ReplyContext&) = delete;
  ReplyContext& operator=(const ReplyContext&) = delete;

  // Sends the response once; may run on any thread. After the engine is gone
  // the reply is dropped without a word.
  void Respond(const uint8_t* data, size_t data_size);

 private:
  MessengerReference messenger_;
  std::atomic<const FlutterDesktopMessageResponseHandle*> response_handle_;
};

// The reply function handed to a message handler. Its copies share one
// context; the messenger reference is given back when the last copy is gone.
BinaryReply MakeEngineReply(FlutterDesktopMessengerRef messenger,
                            const FlutterDesktopMessageResponseHandle* response_handle);

}  // namespace flutter

#endif  // VELMO_CHANNELS_ENGINE_REPLY_CONTEXT_H_
