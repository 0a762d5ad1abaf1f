#include "desktop_shell/shell_message_filter.h"

namespace {

constexpr uint64_t kLowWordMask = 0xFFFF;
constexpr int kHighWordShift = 16;

uint32_t LowWord(uint64_t value) { return static_cast<uint32_t>(value & kLowWordMask); }

// Screen coordinates can be negative on monitors left of or above the
// primary one, so each half is a signed 16-bit value.
int SignedWord(uint64_t value) { return static_cast<int16_t>(static_cast<uint16_t>(value)); }

ShellDecision Handled(ShellAction action) { return {true, action, 0, 0}; }

ShellDecision DecideTrayEvent(uint64_t wparam, int64_t lparam, bool menu_open) {
  switch (LowWord(static_cast<uint64_t>(lparam))) {
    case kTrayContextMenuEvent:
      // A right click brings both the button-up and the context-menu event;
      // the second arrives inside the first one's menu loop and must not
      // open a second menu over it.
      if (menu_open) {
        return Handled(ShellAction::kNone);
      }
      return {true, ShellAction::kShowMenuAtAnchor, SignedWord(wparam),
              SignedWord(wparam >> kHighWordShift)};
    case kTrayLeftButtonUpEvent:
    case kTrayLeftDoubleClickEvent:
    case kTraySelectEvent:
    case kTrayKeySelectEvent:
      return Handled(ShellAction::kRestoreWindow);
    case kTrayRightButtonUpEvent:
      return Handled(menu_open ? ShellAction::kNone : ShellAction::kShowMenuAtCursor);
    default:
      // Every tray event is the shell's, also those it does nothing with.
      return Handled(ShellAction::kNone);
  }
}

}  // namespace

ShellDecision DecideShellMessage(uint32_t message, uint64_t wparam, int64_t lparam,
                                 const ShellFilterState& state) {
  if (message == kWindowCloseMessage) {
    // Once quitting, the close takes its normal course.
    if (state.quitting) {
      return {};
    }
    return Handled(state.has_channel ? ShellAction::kRequestClose : ShellAction::kHideToTray);
  }
  if (message == kTrayCallbackMessage) {
    return DecideTrayEvent(wparam, lparam, state.menu_open);
  }
  if (message == kWindowCommandMessage) {
    switch (LowWord(wparam)) {
      case kShowWindowCommand:
        return Handled(ShellAction::kRestoreWindow);
      case kQuitCommand:
        return Handled(ShellAction::kQuit);
      default:
        return {};
    }
  }
  if (state.taskbar_created_message != 0 && message == state.taskbar_created_message) {
    return Handled(ShellAction::kReAddTray);
  }
  if (state.restore_request_message != 0 && message == state.restore_request_message) {
    return Handled(ShellAction::kRestoreWindow);
  }
  return {};
}
