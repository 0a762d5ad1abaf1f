#ifndef VELMO_CHANNELS_STANDARD_METHOD_CODEC_H_
#define VELMO_CHANNELS_STANDARD_METHOD_CODEC_H_

#include "channels/method_codec.h"
#include "channels/standard_codec_serializer.h"

namespace flutter {

// The method codec of every channel: calls and envelopes in the standard
// message codec's byte format.
class StandardMethodCodec : public MethodCodec {
 public:
  // The one codec for `serializer` (null: the shared default serializer),
  // created on first use and kept until process exit.
  static const StandardMethodCodec& GetInstance(
      const StandardCodecSerializer* serializer = nullptr);

  explicit StandardMethodCodec(const StandardCodecSerializer* serializer);

 protected:
  std::unique_ptr<MethodCall> DecodeMethodCallInternal(const uint8_t* message,
                                                       size_t message_size) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeMethodCallInternal(
      const MethodCall& method_call) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeSuccessEnvelopeInternal(
      const EncodableValue* result) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeErrorEnvelopeInternal(
      const std::string& error_code, const std::string& error_message,
      const EncodableValue* error_details) const override;
  bool DecodeAndProcessResponseEnvelopeInternal(const uint8_t* response, size_t response_size,
                                                MethodResult* result) const override;

 private:
  const StandardCodecSerializer* serializer_;
};

}  // namespace flutter

#endif  // VELMO_CHANNELS_STANDARD_METHOD_CODEC_H_
