#ifndef VELMO_DESKTOP_SHELL_WINDOW_STYLE_HANDLER_H_
#define VELMO_DESKTOP_SHELL_WINDOW_STYLE_HANDLER_H_

#include <functional>
#include <memory>

#include "channels/method_call.h"
#include "channels/method_result.h"

inline constexpr char kWindowStyleChannelName[] = "parlora/window_style";

// Answers one call on the window style channel. "setTitleBarTheme" takes a
// bool (true: dark) and hands it to apply_frame_theme; anything but a bool is
// rejected without touching the frame.
void HandleWindowStyleCall(const flutter::MethodCall& call,
                           std::unique_ptr<flutter::MethodResult> result,
                           const std::function<void(bool dark)>& apply_frame_theme);

#endif  // VELMO_DESKTOP_SHELL_WINDOW_STYLE_HANDLER_H_
