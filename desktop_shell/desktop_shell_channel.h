#ifndef VELMO_DESKTOP_SHELL_DESKTOP_SHELL_CHANNEL_H_
#define VELMO_DESKTOP_SHELL_DESKTOP_SHELL_CHANNEL_H_

#include <functional>
#include <memory>

#include "channels/method_call.h"
#include "channels/method_result.h"
#include "desktop_shell/shell_message_filter.h"

inline constexpr char kDesktopShellChannelName[] = "parlora/desktop_shell";
// Sent to the Flutter side when the user asks to close the main window; it
// answers, if it wants, with "hideToTray", "quit" or "showWindow".
inline constexpr char kCloseRequestedMethod[] = "onCloseRequested";

// Answers one call of "parlora/desktop_shell": "ensureTray", "hideToTray",
// "showWindow" and "quit" are handed to `perform` and answered true whatever
// came of them; arguments are ignored; other names are not implemented.
void HandleDesktopShellCall(const flutter::MethodCall& call,
                            std::unique_ptr<flutter::MethodResult> result,
                            const std::function<void(ShellAction)>& perform);

#endif  // VELMO_DESKTOP_SHELL_DESKTOP_SHELL_CHANNEL_H_
