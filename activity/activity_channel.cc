#include "activity/activity_channel.h"

namespace {

constexpr char kDetectMethod[] = "detect";

}  // namespace

void HandleActivityCall(const flutter::MethodCall& call,
                        std::unique_ptr<flutter::MethodResult> result,
                        const std::function<flutter::EncodableValue()>& detect) {
  if (call.method_name() != kDetectMethod) {
    result->NotImplemented();
    return;
  }
  const flutter::EncodableValue reply = detect();
  result->Success(reply);
}
