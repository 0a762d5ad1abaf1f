#ifndef VELMO_CHANNELS_EVENT_CHANNEL_H_
#define VELMO_CHANNELS_EVENT_CHANNEL_H_

#include <memory>
#include <string>

#include "channels/binary_messenger.h"
#include "channels/encodable_value.h"
#include "channels/event_sink.h"
#include "channels/method_codec.h"
#include "channels/stream_handler.h"

namespace flutter {

// A named stream of events to the Flutter side, started by its "listen" and
// stopped by its "cancel" call.
class EventChannel {
 public:
  // `messenger` and `codec` are not owned and must outlive the channel, every
  // registration it makes and every sink handed out.
  EventChannel(BinaryMessenger* messenger, const std::string& name, const MethodCodec* codec);
  ~EventChannel() = default;

  EventChannel(const EventChannel&) = delete;
  EventChannel& operator=(const EventChannel&) = delete;

  // Registers `handler` for the channel's name, replacing any earlier
  // registration; a null handler removes it. The registration outlives this
  // object.
  void SetStreamHandler(std::unique_ptr<StreamHandler> handler) const;

  const std::string& name() const { return name_; }

  // Sends each event as its own message on the channel.
  class EventSinkImplementation : public EventSink {
   public:
    EventSinkImplementation(const BinaryMessenger* messenger, const std::string& name,
                            const MethodCodec* codec);

   private:
    void SuccessInternal(const EncodableValue* event) override;
    void ErrorInternal(const std::string& error_code, const std::string& error_message,
                       const EncodableValue* error_details) override;
    void EndOfStreamInternal() override;

    const BinaryMessenger* messenger_;
    std::string name_;
    const MethodCodec* codec_;
  };

 private:
  BinaryMessenger* messenger_;
  std::string name_;
  const MethodCodec* codec_;
};

}  // namespace flutter

#endif  // VELMO_CHANNELS_EVENT_CHANNEL_H_
