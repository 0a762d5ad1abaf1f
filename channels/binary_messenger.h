#ifndef VELMO_CHANNELS_BINARY_MESSENGER_H_
#define VELMO_CHANNELS_BINARY_MESSENGER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace flutter {

// Answers one incoming message, or receives the answer to an outgoing one.
// Called with no data (null, 0) for an empty reply.
using BinaryReply = std::function<void(const uint8_t* reply, size_t reply_size)>;

// Receives the raw bytes of each message on one channel.
using BinaryMessageHandler =
    std::function<void(const uint8_t* message, size_t message_size, BinaryReply reply)>;

// The raw message transport between the host and the Flutter side.
class BinaryMessenger {
 public:
  virtual ~BinaryMessenger() = default;

  // Sends a message on a channel; an empty reply means no answer is wanted.
  virtual void Send(const std::string& channel, const uint8_t* message, size_t message_size,
                    BinaryReply reply = nullptr) const = 0;

  // Sets the handler for a channel, replacing an earlier one; an empty handler
  // removes it.
  virtual void SetMessageHandler(const std::string& channel, BinaryMessageHandler handler) = 0;
};

}  // namespace flutter

#endif  // VELMO_CHANNELS_BINARY_MESSENGER_H_
