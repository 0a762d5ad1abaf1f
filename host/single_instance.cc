#include "host/single_instance.h"

#include "host/window_identity.h"

SingleInstanceMutex::SingleInstanceMutex(const wchar_t* name)
    : handle_(CreateMutexW(nullptr, TRUE, name)) {
  if (handle_ == nullptr) {
    state_ = State::kFailed;
  } else if (GetLastError() == ERROR_ALREADY_EXISTS) {
    state_ = State::kAlreadyRunning;
  } else {
    state_ = State::kOwned;
  }
}

SingleInstanceMutex::~SingleInstanceMutex() { Release(); }

void SingleInstanceMutex::Release() {
  if (handle_ == nullptr) {
    return;
  }
  if (state_ == State::kOwned) {
    ReleaseMutex(handle_);
  }
  CloseHandle(handle_);
  handle_ = nullptr;
}

bool RestoreRunningInstance() {
  HWND window = FindWindowW(kMainWindowClassName, kMainWindowTitle);
  if (window == nullptr) {
    window = FindWindowW(kMainWindowClassName, nullptr);
  }
  if (window == nullptr) {
    return false;
  }
  // A window hidden in the tray lost its taskbar button; give it back.
  LONG_PTR ex_style = GetWindowLongPtrW(window, GWL_EXSTYLE);
  ex_style = (ex_style & ~static_cast<LONG_PTR>(WS_EX_TOOLWINDOW)) | WS_EX_APPWINDOW;
  SetWindowLongPtrW(window, GWL_EXSTYLE, ex_style);
  ShowWindow(window, IsIconic(window) ? SW_RESTORE : SW_SHOW);
  SetForegroundWindow(window);
  BringWindowToTop(window);
  return true;
}
