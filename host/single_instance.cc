#include "host/single_instance.h"

#include "base/restore_window.h"
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
  BringWindowBack(window);
  return true;
}
