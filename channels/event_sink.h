#ifndef VELMO_CHANNELS_EVENT_SINK_H_
#define VELMO_CHANNELS_EVENT_SINK_H_

#include <string>

#include "channels/encodable_value.h"

namespace flutter {

// Where a stream handler puts the events of an event channel's stream.
class EventSink {
 public:
  EventSink() = default;
  EventSink(const EventSink&) = delete;
  EventSink& operator=(const EventSink&) = delete;
  virtual ~EventSink() = default;

  void Success(const EncodableValue& event) { SuccessInternal(&event); }
  void Success() { SuccessInternal(nullptr); }

  void Error(const std::string& error_code, const std::string& error_message,
             const EncodableValue& error_details) {
    ErrorInternal(error_code, error_message, &error_details);
  }
  void Error(const std::string& error_code, const std::string& error_message = "") {
    ErrorInternal(error_code, error_message, nullptr);
  }

  void EndOfStream() { EndOfStreamInternal(); }

 protected:
  // `event` is null for an event without a value.
  virtual void SuccessInternal(const EncodableValue* event) = 0;
  // `error_details` is null when there are none.
  virtual void ErrorInternal(const std::string& error_code, const std::string& error_message,
                             const EncodableValue* error_details) = 0;
  virtual void EndOfStreamInternal() = 0;
};

}  // namespace flutter

#endif  // VELMO_CHANNELS_EVENT_SINK_H_
