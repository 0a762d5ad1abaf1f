#include "base/restore_window.h"

void BringWindowBack(HWND window) {
  // A window hidden in the tray lost its taskbar button; give it back.
  LONG_PTR ex_style = GetWindowLongPtrW(window, GWL_EXSTYLE);
  ex_style = (ex_style & ~static_cast<LONG_PTR>(WS_EX_TOOLWINDOW)) | WS_EX_APPWINDOW;
  SetWindowLongPtrW(window, GWL_EXSTYLE, ex_style);
  ShowWindow(window, IsIconic(window) ? SW_RESTORE : SW_SHOW);
  SetForegroundWindow(window);
  BringWindowToTop(window);
}
