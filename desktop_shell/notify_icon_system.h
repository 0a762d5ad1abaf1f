#ifndef VELMO_DESKTOP_SHELL_NOTIFY_ICON_SYSTEM_H_
#define VELMO_DESKTOP_SHELL_NOTIFY_ICON_SYSTEM_H_

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "desktop_shell/tray_icon.h"

// The tray icon of `window` in the shell's notification area, with the
// executable's application icon as its image.
class NotifyIconSystem : public TrayIconSystem {
 public:
  explicit NotifyIconSystem(HWND window);

  TrayImage LoadTrayImage() override;
  void DestroyTrayImage(TrayImage image) override;
  bool AddIcon(TrayImage image) override;
  void SetIconVersion() override;
  void ModifyIcon(TrayImage image) override;
  void DeleteIcon() override;

 protected:
  // The one call into the shell. Tests put a recording one in its place, and
  // make an add report failure after it succeeded, as a time-out does.
  virtual bool Notify(DWORD message, NOTIFYICONDATAW& record);

 private:
  HWND window_;
  // All zero until the icon is first added.
  NOTIFYICONDATAW tray_data_{};
};

#endif  // VELMO_DESKTOP_SHELL_NOTIFY_ICON_SYSTEM_H_
