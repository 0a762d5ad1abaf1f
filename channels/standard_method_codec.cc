#include "channels/standard_method_codec.h"

#include <map>
#include <mutex>
#include <new>
#include <utility>

#include "channels/byte_streams.h"
#include "channels/error_line.h"

namespace flutter {
namespace {

// First byte of an answer envelope.
constexpr uint8_t kSuccessEnvelope = 0;
constexpr uint8_t kErrorEnvelope = 1;

}  // namespace

const StandardMethodCodec& StandardMethodCodec::GetInstance(
    const StandardCodecSerializer* serializer) {
  if (serializer == nullptr) serializer = &StandardCodecSerializer::GetInstance();
  // Kept until process exit: channels may still use a codec during static
  // destruction.
  static auto* const codecs =
      new std::map<const StandardCodecSerializer*, std::unique_ptr<StandardMethodCodec>>();
  static auto* const codecs_mutex = new std::mutex();
  std::lock_guard<std::mutex> lock(*codecs_mutex);
  auto& codec = (*codecs)[serializer];
  if (!codec) codec = std::make_unique<StandardMethodCodec>(serializer);
  return *codec;
}

StandardMethodCodec::StandardMethodCodec(const StandardCodecSerializer* serializer)
    : serializer_(serializer != nullptr ? serializer : &StandardCodecSerializer::GetInstance()) {}

std::unique_ptr<MethodCall> StandardMethodCodec::DecodeMethodCallInternal(
    const uint8_t* message, size_t message_size) const {
  ByteBufferStreamReader stream(message, message_size);
  try {
    EncodableValue method_name = serializer_->ReadValue(&stream);
    auto* name = std::get_if<std::string>(&method_name);
    if (name == nullptr) {
      WriteErrorLine("Invalid method call; method name is not a string.");
      return nullptr;
    }
    auto arguments = std::make_unique<EncodableValue>(serializer_->ReadValue(&stream));
    return std::make_unique<MethodCall>(std::move(*name), std::move(arguments));
  } catch (const std::bad_alloc&) {
    // A message too large for the memory left is not a call; the channel
    // answers it like any other undecodable message.
    return nullptr;
  }
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeMethodCallInternal(
    const MethodCall& method_call) const {
  auto message = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter stream(message.get());
  serializer_->WriteValue(EncodableValue(method_call.method_name()), &stream);
  if (method_call.arguments() != nullptr) {
    serializer_->WriteValue(*method_call.arguments(), &stream);
  } else {
    serializer_->WriteValue(EncodableValue(), &stream);
  }
  return message;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeSuccessEnvelopeInternal(
    const EncodableValue* result) const {
  auto envelope = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter stream(envelope.get());
  stream.WriteByte(kSuccessEnvelope);
  if (result != nullptr) {
    serializer_->WriteValue(*result, &stream);
  } else {
    serializer_->WriteValue(EncodableValue(), &stream);
  }
  return envelope;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeErrorEnvelopeInternal(
    const std::string& error_code, const std::string& error_message,
    const EncodableValue* error_details) const {
  auto envelope = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter stream(envelope.get());
  stream.WriteByte(kErrorEnvelope);
  serializer_->WriteValue(EncodableValue(error_code), &stream);
  if (error_message.empty()) {
    serializer_->WriteValue(EncodableValue(), &stream);
  } else {
    serializer_->WriteValue(EncodableValue(error_message), &stream);
  }
  if (error_details != nullptr) {
    serializer_->WriteValue(*error_details, &stream);
  } else {
    serializer_->WriteValue(EncodableValue(), &stream);
  }
  return envelope;
}

bool StandardMethodCodec::DecodeAndProcessResponseEnvelopeInternal(const uint8_t* response,
                                                                   size_t response_size,
                                                                   MethodResult* result) const {
  // An empty reply is not an envelope: reading on would take the missing
  // first byte as a success.
  if (response == nullptr || response_size == 0) return false;
  ByteBufferStreamReader stream(response, response_size);
  const uint8_t kind = stream.ReadByte();
  if (kind != kSuccessEnvelope && kind != kErrorEnvelope) return false;
  // Only the decoding is guarded: what the result does with the answer is its
  // own business.
  EncodableValue value;
  EncodableValue code;
  EncodableValue message;
  try {
    value = serializer_->ReadValue(&stream);
    if (kind == kErrorEnvelope) {
      code = std::move(value);
      message = serializer_->ReadValue(&stream);
      value = serializer_->ReadValue(&stream);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (kind == kSuccessEnvelope) {
    if (value.IsNull()) {
      result->Success();
    } else {
      result->Success(value);
    }
    return true;
  }

  const EncodableValue& details = value;
  const auto* code_text = std::get_if<std::string>(&code);
  const auto* message_text = std::get_if<std::string>(&message);
  if (code_text == nullptr || (message_text == nullptr && !message.IsNull())) return false;
  const std::string empty_message;
  const std::string& message_or_empty = message_text != nullptr ? *message_text : empty_message;
  if (details.IsNull()) {
    result->Error(*code_text, message_or_empty);
  } else {
    result->Error(*code_text, message_or_empty, details);
  }
  return true;
}

}  // namespace flutter
