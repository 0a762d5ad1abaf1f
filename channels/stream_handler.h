#ifndef VELMO_CHANNELS_STREAM_HANDLER_H_
#define VELMO_CHANNELS_STREAM_HANDLER_H_

#include <memory>
#include <string>
#include <utility>

#include "channels/encodable_value.h"
#include "channels/event_sink.h"

namespace flutter {

// The error a stream handler gives back for a refused listen or cancel.
struct StreamHandlerError {
  StreamHandlerError(const std::string& error_code, const std::string& error_message,
                     std::unique_ptr<EncodableValue> error_details)
      : error_code(error_code),
        error_message(error_message),
        error_details(std::move(error_details)) {}

  std::string error_code;
  std::string error_message;
  // Null when there are none.
  std::unique_ptr<EncodableValue> error_details;
};

// Decides what an event channel streams: starts on listen with a sink, stops
// on cancel.
class StreamHandler {
 public:
  StreamHandler() = default;
  StreamHandler(const StreamHandler&) = delete;
  StreamHandler& operator=(const StreamHandler&) = delete;
  virtual ~StreamHandler() = default;

  // `arguments` is null when the call carried none. Null return: success.
  std::unique_ptr<StreamHandlerError> OnListen(const EncodableValue* arguments,
                                               std::unique_ptr<EventSink>&& events) {
    return OnListenInternal(arguments, std::move(events));
  }

  std::unique_ptr<StreamHandlerError> OnCancel(const EncodableValue* arguments) {
    return OnCancelInternal(arguments);
  }

 protected:
  virtual std::unique_ptr<StreamHandlerError> OnListenInternal(
      const EncodableValue* arguments, std::unique_ptr<EventSink>&& events) = 0;
  virtual std::unique_ptr<StreamHandlerError> OnCancelInternal(const EncodableValue* arguments) = 0;
};

}  // namespace flutter

#endif  // VELMO_CHANNELS_STREAM_HANDLER_H_
