#ifndef VELMO_DESKTOP_SHELL_DESKTOP_SHELL_H_
#define VELMO_DESKTOP_SHELL_DESKTOP_SHELL_H_

#include <windows.h>

#include <memory>

#include "channels/binary_messenger.h"
#include "channels/method_channel.h"
#include "desktop_shell/shell_message_filter.h"
#include "desktop_shell/tray_icon.h"

// The main window's life in the tray: the notification-area icon and its
// menu, close-to-tray, restore and quit, driven by the Flutter side over
// "parlora/desktop_shell". Closing the window never closes it here: the
// Flutter side is asked and decides.
class DesktopShell {
 public:
  // Adds the tray icon at once. `messenger` must outlive the shell.
  DesktopShell(HWND window, flutter::BinaryMessenger* messenger);
  // The same over another tray system (tests make the shell refuse icons).
  DesktopShell(HWND window, flutter::BinaryMessenger* messenger,
               std::unique_ptr<TrayIconSystem> tray_system);
  ~DesktopShell();

  DesktopShell(const DesktopShell&) = delete;
  DesktopShell& operator=(const DesktopShell&) = delete;

  // Offered every message of the main window first; true when the shell
  // took it, with the window procedure's answer in `result`.
  bool FilterWindowMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result);

  void EnsureTrayIcon();
  void HideToTray();
  void RestoreWindow();
  void QuitApplication();
  // Shows the tray menu with its bottom-left corner at (x, y); the chosen
  // item comes back later as a WM_COMMAND.
  void ShowTrayMenu(int x, int y);

  bool tray_added() const { return tray_.tray_added(); }
  bool quitting() const { return quitting_; }
  // Hidden to the tray and not brought back since: the window's first frame
  // must not show it again.
  bool hidden_to_tray() const { return hidden_to_tray_; }

 private:
  // What a tray menu's nested loop leaves for the code after it. The loop
  // dispatches every other message, so a close let through after "quit" may
  // destroy the window and this shell inside it; and it takes a quit message
  // for itself, so a quit asked for meanwhile is posted again afterwards.
  struct TrayMenuLoop {
    bool shell_alive = true;
    bool quit_requested = false;
  };

  void Perform(ShellAction action, int x = 0, int y = 0);

  HWND window_;
  std::unique_ptr<flutter::MethodChannel> channel_;
  TrayIcon tray_;
  bool quitting_ = false;
  bool hidden_to_tray_ = false;
  UINT taskbar_created_message_ = 0;
  UINT restore_request_message_ = 0;
  // Set while the tray menu is open.
  std::shared_ptr<TrayMenuLoop> tray_menu_loop_;
};

#endif  // VELMO_DESKTOP_SHELL_DESKTOP_SHELL_H_
