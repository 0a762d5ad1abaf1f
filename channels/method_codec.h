#ifndef VELMO_CHANNELS_METHOD_CODEC_H_
#define VELMO_CHANNELS_METHOD_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "channels/encodable_value.h"
#include "channels/method_call.h"
#include "channels/method_result.h"

namespace flutter {

// Translates method calls and their answers to and from message bytes.
class MethodCodec {
 public:
  MethodCodec() = default;
  MethodCodec(const MethodCodec&) = delete;
  MethodCodec& operator=(const MethodCodec&) = delete;
  virtual ~MethodCodec() = default;

  // The call in `message`, or null when it is not a valid call.
  std::unique_ptr<MethodCall> DecodeMethodCall(const uint8_t* message, size_t message_size) const {
    return DecodeMethodCallInternal(message, message_size);
  }
  std::unique_ptr<MethodCall> DecodeMethodCall(const std::vector<uint8_t>& message) const {
    return DecodeMethodCallInternal(message.data(), message.size());
  }

  std::unique_ptr<std::vector<uint8_t>> EncodeMethodCall(const MethodCall& method_call) const {
    return EncodeMethodCallInternal(method_call);
  }

  // `result` is null for a success without a value.
  std::unique_ptr<std::vector<uint8_t>> EncodeSuccessEnvelope(
      const EncodableValue* result = nullptr) const {
    return EncodeSuccessEnvelopeInternal(result);
  }

  // `error_details` is null when there are none.
  std::unique_ptr<std::vector<uint8_t>> EncodeErrorEnvelope(
      const std::string& error_code, const std::string& error_message = "",
      const EncodableValue* error_details = nullptr) const {
    return EncodeErrorEnvelopeInternal(error_code, error_message, error_details);
  }

  // Decodes an answer envelope and passes its content to `result`. False, with
  // `result` untouched, when the bytes are not a valid envelope.
  bool DecodeAndProcessResponseEnvelope(const uint8_t* response, size_t response_size,
                                        MethodResult* result) const {
    return DecodeAndProcessResponseEnvelopeInternal(response, response_size, result);
  }

 protected:
  virtual std::unique_ptr<MethodCall> DecodeMethodCallInternal(const uint8_t* message,
                                                               size_t message_size) const = 0;
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeMethodCallInternal(
      const MethodCall& method_call) const = 0;
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeSuccessEnvelopeInternal(
      const EncodableValue* result) const = 0;
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeErrorEnvelopeInternal(
      const std::string& error_code, const std::string& error_message,
      const EncodableValue* error_details) const = 0;
  virtual bool DecodeAndProcessResponseEnvelopeInternal(const uint8_t* response,
                                                        size_t response_size,
                                                        MethodResult* result) const = 0;
};

}  // namespace flutter

#endif  // VELMO_CHANNELS_METHOD_CODEC_H_
