#ifndef VELMO_BASE_RESTORE_WINDOW_H_
#define VELMO_BASE_RESTORE_WINDOW_H_

#include <windows.h>

// The registered message a second launch posts to the running instance's
// main window, asking it to bring itself back. Posted, so the launch never
// waits for the instance, and acted on by the instance, so no other process
// restyles or shows its window.
inline constexpr wchar_t kRestoreRequestMessageName[] = L"VELMO_Parlora_RestoreMainWindow";

// Brings a window of this process back from the tray or the taskbar: its
// taskbar button given back, shown (restored if minimised) and brought to the
// front. Not for another process's window: there each of these calls waits
// for that window's thread.
void BringWindowBack(HWND window);

#endif  // VELMO_BASE_RESTORE_WINDOW_H_
