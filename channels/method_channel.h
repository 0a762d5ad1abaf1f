#ifndef VELMO_CHANNELS_METHOD_CHANNEL_H_
#define VELMO_CHANNELS_METHOD_CHANNEL_H_

#include <functional>
#include <memory>
#include <string>

#include "channels/binary_messenger.h"
#include "channels/encodable_value.h"
#include "channels/method_call.h"
#include "channels/method_codec.h"
#include "channels/method_result.h"

namespace flutter {

// Handles one incoming call; must answer through the result before it is
// destroyed.
using MethodCallHandler =
    std::function<void(const MethodCall& call, std::unique_ptr<MethodResult> result)>;

// A named channel of method calls over a BinaryMessenger.
class MethodChannel {
 public:
  // `messenger` and `codec` are not owned and must outlive the channel and
  // every handler it registers.
  MethodChannel(BinaryMessenger* messenger, const std::string& name, const MethodCodec* codec);
  ~MethodChannel() = default;

  MethodChannel(const MethodChannel&) = delete;
  MethodChannel& operator=(const MethodChannel&) = delete;

  // Sends a call to the Flutter side. Without `result` no answer is asked
  // for; with one, the answer is passed to it when it arrives.
  void InvokeMethod(const std::string& method, std::unique_ptr<EncodableValue> arguments = nullptr,
                    std::unique_ptr<MethodResult> result = nullptr) const;

  // Registers the handler for the channel's name, replacing any earlier one;
  // an empty handler removes it. The registration outlives this object.
  void SetMethodCallHandler(MethodCallHandler handler) const;

  const std::string& name() const { return name_; }

 private:
  BinaryMessenger* messenger_;
  std::string name_;
  const MethodCodec* codec_;
};

}  // namespace flutter

#endif  // VELMO_CHANNELS_METHOD_CHANNEL_H_
