#include "desktop_shell/window_style_handler.h"

#include <variant>

namespace {

constexpr char kSetTitleBarThemeMethod[] = "setTitleBarTheme";
constexpr char kInvalidArgumentCode[] = "invalid_argument";
constexpr char kExpectedBooleanMessage[] = "Expected a boolean theme value.";

}  // namespace

void HandleWindowStyleCall(const flutter::MethodCall& call,
                           std::unique_ptr<flutter::MethodResult> result,
                           const std::function<void(bool dark)>& apply_frame_theme) {
  if (call.method_name() != kSetTitleBarThemeMethod) {
    result->NotImplemented();
    return;
  }
  // Only the bool alternative counts: 0 and 1 are not themes.
  const bool* dark = call.arguments() ? std::get_if<bool>(call.arguments()) : nullptr;
  if (dark == nullptr) {
    result->Error(kInvalidArgumentCode, kExpectedBooleanMessage);
    return;
  }
  apply_frame_theme(*dark);
  result->Success();
}
