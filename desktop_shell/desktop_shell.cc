#include "desktop_shell/desktop_shell.h"

#include <memory>
#include <type_traits>
#include <utility>

#include "base/restore_window.h"
#include "channels/standard_method_codec.h"
#include "desktop_shell/desktop_shell_channel.h"
#include "desktop_shell/notify_icon_system.h"

namespace {

// Sent by the shell to every top-level window when it (re)starts: icons
// added before are gone.
constexpr wchar_t kTaskbarCreatedMessageName[] = L"TaskbarCreated";

constexpr wchar_t kShowWindowItemText[] = L"\u663E\u793A\u7A97\u53E3";  // "显示窗口"
constexpr wchar_t kQuitItemText[] = L"\u9000\u51FA Velmo";              // "退出 Velmo"

struct MenuDeleter {
  void operator()(HMENU menu) const { DestroyMenu(menu); }
};
using UniqueMenu = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDeleter>;

// An instance started elevated would otherwise never hear the restarted shell
// or a second launch: the system drops their messages to a window of a higher
// integrity level.
void AllowFromLowerIntegrity(HWND window, UINT message) {
  if (window != nullptr && message != 0) {
    ChangeWindowMessageFilterEx(window, message, MSGFLT_ALLOW, nullptr);
  }
}

}  // namespace

DesktopShell::DesktopShell(HWND window, flutter::BinaryMessenger* messenger)
    : DesktopShell(window, messenger, std::make_unique<NotifyIconSystem>(window)) {}

DesktopShell::DesktopShell(HWND window, flutter::BinaryMessenger* messenger,
                           std::unique_ptr<TrayIconSystem> tray_system)
    : window_(window),
      channel_(std::make_unique<flutter::MethodChannel>(
          messenger, kDesktopShellChannelName, &flutter::StandardMethodCodec::GetInstance())),
      tray_(std::move(tray_system)) {
  channel_->SetMethodCallHandler(
      [this](const flutter::MethodCall& call, std::unique_ptr<flutter::MethodResult> result) {
        HandleDesktopShellCall(call, std::move(result),
                               [this](ShellAction action) { Perform(action); });
      });
  taskbar_created_message_ = RegisterWindowMessageW(kTaskbarCreatedMessageName);
  restore_request_message_ = RegisterWindowMessageW(kRestoreRequestMessageName);
  AllowFromLowerIntegrity(window_, taskbar_created_message_);
  AllowFromLowerIntegrity(window_, restore_request_message_);
  EnsureTrayIcon();
}

DesktopShell::~DesktopShell() {
  // The messenger keeps a registration after the channel object is gone;
  // calls arriving later must not reach a destroyed shell. The icon goes
  // with tray_.
  channel_->SetMethodCallHandler(nullptr);
  if (tray_menu_loop_) {
    tray_menu_loop_->shell_alive = false;
  }
}

bool DesktopShell::FilterWindowMessage(UINT message, WPARAM wparam, LPARAM lparam,
                                       LRESULT* result) {
  const ShellFilterState state{quitting_, channel_ != nullptr, tray_menu_loop_ != nullptr,
                               taskbar_created_message_, restore_request_message_};
  const ShellDecision decision = DecideShellMessage(message, wparam, lparam, state);
  if (!decision.handled) {
    return false;
  }
  Perform(decision.action, decision.x, decision.y);
  *result = 0;
  return true;
}

void DesktopShell::Perform(ShellAction action, int x, int y) {
  switch (action) {
    case ShellAction::kNone:
      break;
    case ShellAction::kRequestClose:
      // No answer is asked for: the Flutter side replies with a call.
      channel_->InvokeMethod(kCloseRequestedMethod);
      break;
    case ShellAction::kReAddTray:
      tray_.ForgetAfterShellRestart();
      EnsureTrayIcon();
      break;
    case ShellAction::kEnsureTray:
      EnsureTrayIcon();
      break;
    case ShellAction::kHideToTray:
      HideToTray();
      break;
    case ShellAction::kRestoreWindow:
      RestoreWindow();
      break;
    case ShellAction::kQuit:
      QuitApplication();
      break;
    case ShellAction::kShowMenuAtAnchor:
      ShowTrayMenu(x, y);
      break;
    case ShellAction::kShowMenuAtCursor: {
      POINT cursor{};
      GetCursorPos(&cursor);
      ShowTrayMenu(cursor.x, cursor.y);
      break;
    }
  }
}

void DesktopShell::EnsureTrayIcon() {
  if (window_ == nullptr) {
    return;
  }
  tray_.Ensure();
}

void DesktopShell::HideToTray() {
  if (window_ == nullptr) {
    return;
  }
  // Hidden without an icon the window can still come back through
  // "showWindow" or a second launch.
  EnsureTrayIcon();
  LONG_PTR ex_style = GetWindowLongPtrW(window_, GWL_EXSTYLE);
  ex_style = (ex_style & ~static_cast<LONG_PTR>(WS_EX_APPWINDOW)) | WS_EX_TOOLWINDOW;
  SetWindowLongPtrW(window_, GWL_EXSTYLE, ex_style);
  ShowWindow(window_, SW_HIDE);
  hidden_to_tray_ = true;
}

void DesktopShell::RestoreWindow() {
  if (window_ == nullptr) {
    return;
  }
  hidden_to_tray_ = false;
  BringWindowBack(window_);
}

void DesktopShell::QuitApplication() {
  if (quitting_) {
    return;
  }
  quitting_ = true;
  tray_.Remove();
  // The window is destroyed by the shutdown that follows the message loop.
  PostQuitMessage(0);
  if (tray_menu_loop_) {
    tray_menu_loop_->quit_requested = true;
  }
}

void DesktopShell::ShowTrayMenu(int x, int y) {
  UniqueMenu menu(CreatePopupMenu());
  if (!menu) {
    return;
  }
  AppendMenuW(menu.get(), MF_STRING, kShowWindowCommand, kShowWindowItemText);
  AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu.get(), MF_STRING, kQuitCommand, kQuitItemText);
  // Without the foreground the menu would stay open when the user clicks
  // elsewhere.
  SetForegroundWindow(window_);
  const HWND window = window_;
  const auto loop = std::make_shared<TrayMenuLoop>();
  tray_menu_loop_ = loop;
  TrackPopupMenu(menu.get(), TPM_BOTTOMALIGN | TPM_RIGHTBUTTON, x, y, 0, window, nullptr);
  menu.reset();
  if (loop->quit_requested) {
    PostQuitMessage(0);
  }
  if (!loop->shell_alive) {
    return;
  }
  tray_menu_loop_.reset();
  // Lets the menu's nested loop finish cleanly before the next click.
  PostMessageW(window, WM_NULL, 0, 0);
}
