#include "audio/ai_denoise_channel.h"

#include <variant>

#include "audio/rnnoise_capture_processing.h"
#include "channels/argument_lookup.h"
#include "channels/encodable_value.h"
#include "channels/standard_method_codec.h"
#include "diagnostics/app_log.h"

namespace {

constexpr char kConfigureMethod[] = "configure";
constexpr char kEnabledKey[] = "enabled";
constexpr char kWetKey[] = "wet";
constexpr bool kDefaultEnabled = false;
constexpr double kDefaultWet = 1.0;

constexpr char kInvalidArgumentCode[] = "invalid_argument";
constexpr char kExpectedMapMessage[] = "Expected a map.";
constexpr char kFailedCode[] = "ai_denoise_failed";
constexpr char kFailedMessage[] = "Native denoise configure threw.";

constexpr char kLogConfigureOn[] = "ai_denoise_configure_on";
constexpr char kLogConfigureOff[] = "ai_denoise_configure_off";
constexpr char kLogConfigureException[] = "ai_denoise_configure_exception";

// The wet level a "configure" map asks for, within the processor's range.
float RequestedWet(const flutter::EncodableMap& arguments) {
  return flutter::LookupClampedLevel(arguments, kWetKey, kDefaultWet,
                                     RnnoiseCaptureProcessing::kMinWet,
                                     RnnoiseCaptureProcessing::kMaxWet);
}

}  // namespace

void HandleAiDenoiseCall(const flutter::MethodCall& call,
                         std::unique_ptr<flutter::MethodResult> result) {
  if (call.method_name() != kConfigureMethod) {
    result->NotImplemented();
    return;
  }
  const flutter::EncodableMap* arguments = flutter::MapArgument(call.arguments());
  if (arguments == nullptr) {
    result->Error(kInvalidArgumentCode, kExpectedMapMessage);
    return;
  }
  try {
    const bool enabled = flutter::LookupBool(*arguments, kEnabledKey, kDefaultEnabled);
    const float wet = RequestedWet(*arguments);
    AppendLog(enabled ? kLogConfigureOn : kLogConfigureOff);
    RnnoiseCaptureProcessing& processor = RnnoiseCaptureProcessing::Instance();
    processor.SetWet(wet);
    processor.SetEnabled(enabled);
    result->Success(flutter::EncodableValue(true));
  } catch (...) {
    AppendLog(kLogConfigureException);
    result->Error(kFailedCode, kFailedMessage);
  }
}

std::unique_ptr<flutter::MethodChannel> CreateAiDenoiseChannel(
    flutter::BinaryMessenger* messenger) {
  auto channel = std::make_unique<flutter::MethodChannel>(
      messenger, kAiDenoiseChannelName, &flutter::StandardMethodCodec::GetInstance());
  channel->SetMethodCallHandler(HandleAiDenoiseCall);
  return channel;
}
