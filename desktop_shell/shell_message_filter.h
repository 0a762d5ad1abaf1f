#ifndef VELMO_DESKTOP_SHELL_SHELL_MESSAGE_FILTER_H_
#define VELMO_DESKTOP_SHELL_SHELL_MESSAGE_FILTER_H_

#include <cstdint>

// Which of the main window's messages the desktop shell takes, and what it
// does with each. Message numbers are the system's; kept here so the
// decisions build and test without the platform headers.

inline constexpr uint32_t kWindowCloseMessage = 0x0010;    // WM_CLOSE
inline constexpr uint32_t kWindowCommandMessage = 0x0111;  // WM_COMMAND
// The tray icon's callback message (WM_APP + 0x20).
inline constexpr uint32_t kTrayCallbackMessage = 0x8020;

// Events of the tray callback (low word of lparam, version-4 convention).
inline constexpr uint32_t kTrayContextMenuEvent = 0x007B;      // WM_CONTEXTMENU
inline constexpr uint32_t kTrayLeftButtonUpEvent = 0x0202;     // WM_LBUTTONUP
inline constexpr uint32_t kTrayLeftDoubleClickEvent = 0x0203;  // WM_LBUTTONDBLCLK
inline constexpr uint32_t kTrayRightButtonUpEvent = 0x0205;    // WM_RBUTTONUP
inline constexpr uint32_t kTraySelectEvent = 0x0400;           // NIN_SELECT
inline constexpr uint32_t kTrayKeySelectEvent = 0x0401;        // NIN_KEYSELECT

// Command ids of the tray menu's items.
inline constexpr uint32_t kShowWindowCommand = 1;
inline constexpr uint32_t kQuitCommand = 2;

enum class ShellAction {
  kNone,
  kRequestClose,  // ask the Flutter side what to do
  kEnsureTray,    // add the icon if it is missing, else refresh it
  kReAddTray,     // the shell restarted: the icon is gone, add it again
  kHideToTray,
  kRestoreWindow,
  kQuit,
  kShowMenuAtAnchor,  // at the point the tray event carried
  kShowMenuAtCursor,
};

struct ShellFilterState {
  bool quitting = false;
  bool has_channel = true;
  // The tray menu is already showing (its nested message loop runs).
  bool menu_open = false;
  // The "TaskbarCreated" message id; 0 when it could not be registered.
  uint32_t taskbar_created_message = 0;
  // The id of the message a second launch posts to bring the window back; 0
  // when it could not be registered.
  uint32_t restore_request_message = 0;
};

struct ShellDecision {
  bool handled = false;
  ShellAction action = ShellAction::kNone;
  // The menu's anchor for kShowMenuAtAnchor, in screen coordinates.
  int x = 0;
  int y = 0;

  friend bool operator==(const ShellDecision&, const ShellDecision&) = default;
};

ShellDecision DecideShellMessage(uint32_t message, uint64_t wparam, int64_t lparam,
                                 const ShellFilterState& state);

#endif  // VELMO_DESKTOP_SHELL_SHELL_MESSAGE_FILTER_H_
