#ifndef VELMO_CHANNELS_ENGINE_BINARY_MESSENGER_IMPL_H_
#define VELMO_CHANNELS_ENGINE_BINARY_MESSENGER_IMPL_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "channels/binary_messenger.h"
#include "channels/engine/engine_api.h"

namespace flutter {

// The BinaryMessenger of every channel, carried by the engine's messenger.
// Used on the thread that runs the window message loop; only the reply
// functions it hands out may run elsewhere.
class BinaryMessengerImpl : public BinaryMessenger {
 public:
  // `core_messenger` belongs to the engine. Without one (no running engine)
  // nothing is sent and handlers are kept but never called.
  explicit BinaryMessengerImpl(FlutterDesktopMessengerRef core_messenger);
  // Drops the handler table without telling the engine: by now the engine
  // has stopped delivering messages.
  ~BinaryMessengerImpl() override;

  BinaryMessengerImpl(const BinaryMessengerImpl&) = delete;
  BinaryMessengerImpl& operator=(const BinaryMessengerImpl&) = delete;

  void Send(const std::string& channel, const uint8_t* message, size_t message_size,
            BinaryReply reply = nullptr) const override;
  void SetMessageHandler(const std::string& channel, BinaryMessageHandler handler) override;

 private:
  // Map nodes never move, so the address of an entry is a stable context for
  // the engine. Handlers are shared so that one replaced or removed while it
  // runs lives until it returns.
  using HandlerEntry = std::shared_ptr<BinaryMessageHandler>;

  static void ForwardMessage(FlutterDesktopMessengerRef messenger,
                             const FlutterDesktopMessage* message, void* user_data);
  static void ForwardReply(const uint8_t* data, size_t data_size, void* user_data);

  FlutterDesktopMessengerRef messenger_;
  std::map<std::string, HandlerEntry> handlers_;
};

}  // namespace flutter

#endif  // VELMO_CHANNELS_ENGINE_BINARY_MESSENGER_IMPL_H_
