#include "desktop_shell/desktop_shell_channel.h"

#include <array>
#include <string_view>

#include "channels/encodable_value.h"

namespace {

struct ShellMethod {
  std::string_view name;
  ShellAction action;
};

constexpr std::array<ShellMethod, 4> kShellMethods = {{
    {"ensureTray", ShellAction::kEnsureTray},
    {"hideToTray", ShellAction::kHideToTray},
    {"showWindow", ShellAction::kRestoreWindow},
    {"quit", ShellAction::kQuit},
}};

}  // namespace

void HandleDesktopShellCall(const flutter::MethodCall& call,
                            std::unique_ptr<flutter::MethodResult> result,
                            const std::function<void(ShellAction)>& perform) {
  for (const ShellMethod& method : kShellMethods) {
    if (call.method_name() == method.name) {
      perform(method.action);
      // The Flutter side cannot act on a tray failure; the answer only
      // confirms that the call arrived.
      result->Success(flutter::EncodableValue(true));
      return;
    }
  }
  result->NotImplemented();
}
