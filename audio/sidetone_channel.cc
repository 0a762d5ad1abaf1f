#include "audio/sidetone_channel.h"

#include <utility>
#include <variant>

#include "audio/sidetone_engine.h"
#include "channels/argument_lookup.h"
#include "channels/encodable_value.h"

namespace {

constexpr char kStartMethod[] = "start";
constexpr char kSetVolumeMethod[] = "setVolume";
constexpr char kStopMethod[] = "stop";
constexpr char kInputDeviceIdKey[] = "inputDeviceId";
constexpr char kOutputDeviceIdKey[] = "outputDeviceId";
constexpr char kVolumeKey[] = "volume";
constexpr char kInvalidArgumentCode[] = "invalid_argument";
constexpr char kExpectedMapMessage[] = "Expected a map.";

// The volume a call asks for, within the engine's range.
float RequestedVolume(const flutter::EncodableMap& arguments) {
  return flutter::LookupClampedLevel(arguments, kVolumeKey, SidetoneEngine::kDefaultVolume,
                                     SidetoneEngine::kMinVolume, SidetoneEngine::kMaxVolume);
}

}  // namespace

void HandleSidetoneCall(const flutter::MethodCall& call,
                        std::unique_ptr<flutter::MethodResult> result, SidetoneControl& control) {
  const std::string& method = call.method_name();
  if (method == kStartMethod) {
    const flutter::EncodableMap* arguments = flutter::MapArgument(call.arguments());
    if (arguments == nullptr) {
      result->Error(kInvalidArgumentCode, kExpectedMapMessage);
      return;
    }
    // Shared: the answer is a copyable callable that outlives this call.
    std::shared_ptr<flutter::MethodResult> pending = std::move(result);
    control.Start(flutter::LookupString(*arguments, kInputDeviceIdKey, ""),
                  flutter::LookupString(*arguments, kOutputDeviceIdKey, ""),
                  RequestedVolume(*arguments),
                  [pending](bool started) { pending->Success(flutter::EncodableValue(started)); });
  } else if (method == kSetVolumeMethod) {
    const flutter::EncodableMap* arguments = flutter::MapArgument(call.arguments());
    if (arguments == nullptr) {
      result->Error(kInvalidArgumentCode, kExpectedMapMessage);
      return;
    }
    control.SetVolume(RequestedVolume(*arguments));
    result->Success(flutter::EncodableValue(true));
  } else if (method == kStopMethod) {
    control.Stop();
    result->Success(flutter::EncodableValue(true));
  } else {
    result->NotImplemented();
  }
}
