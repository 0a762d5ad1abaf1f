#ifndef VELMO_BASE_RESTORE_WINDOW_H_
#define VELMO_BASE_RESTORE_WINDOW_H_

#include <windows.h>

// Brings a window back from the tray or the taskbar: its taskbar button given
// back, shown (restored if minimised) and brought to the front. Works on
// another process's window too.
void BringWindowBack(HWND window);

#endif  // VELMO_BASE_RESTORE_WINDOW_H_
