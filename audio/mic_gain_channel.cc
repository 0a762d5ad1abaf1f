#include "audio/mic_gain_channel.h"

#include <variant>

#include "audio/mic_gain_capture_processing.h"
#include "channels/argument_lookup.h"
#include "channels/encodable_value.h"
#include "channels/standard_method_codec.h"

namespace {

constexpr char kSetGainMethod[] = "setGain";
constexpr char kGainKey[] = "gain";
constexpr double kDefaultGain = 1.0;
constexpr char kInvalidArgumentCode[] = "invalid_argument";
constexpr char kExpectedMapMessage[] = "Expected a map.";

// The gain a "setGain" argument map asks for, within the processor's range.
float RequestedGain(const flutter::EncodableMap& arguments) {
  return flutter::LookupClampedLevel(arguments, kGainKey, kDefaultGain,
                                     MicGainCaptureProcessing::kMinGain,
                                     MicGainCaptureProcessing::kMaxGain);
}

}  // namespace

void HandleMicGainCall(const flutter::MethodCall& call,
                       std::unique_ptr<flutter::MethodResult> result) {
  if (call.method_name() != kSetGainMethod) {
    result->NotImplemented();
    return;
  }
  const flutter::EncodableMap* arguments = flutter::MapArgument(call.arguments());
  if (arguments == nullptr) {
    result->Error(kInvalidArgumentCode, kExpectedMapMessage);
    return;
  }
  MicGainCaptureProcessing::Instance().SetGain(RequestedGain(*arguments));
  result->Success(flutter::EncodableValue(true));
}

std::unique_ptr<flutter::MethodChannel> CreateMicGainChannel(flutter::BinaryMessenger* messenger) {
  auto channel = std::make_unique<flutter::MethodChannel>(
      messenger, kMicGainChannelName, &flutter::StandardMethodCodec::GetInstance());
  channel->SetMethodCallHandler(HandleMicGainCall);
  return channel;
}
