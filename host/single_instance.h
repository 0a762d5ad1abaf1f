#ifndef VELMO_HOST_SINGLE_INSTANCE_H_
#define VELMO_HOST_SINGLE_INSTANCE_H_

#include <windows.h>

#include "host/single_instance_rules.h"

inline constexpr wchar_t kSingleInstanceMutexName[] = L"Local\\VELMO_Parlora_SingleInstance";

// The per-session mutex that keeps one instance running. The first instance
// owns it until Release (or destruction); a later one only learns that it is
// taken.
class SingleInstanceMutex {
 public:
  using State = InstanceState;

  explicit SingleInstanceMutex(const wchar_t* name = kSingleInstanceMutexName);
  ~SingleInstanceMutex();

  SingleInstanceMutex(const SingleInstanceMutex&) = delete;
  SingleInstanceMutex& operator=(const SingleInstanceMutex&) = delete;

  State state() const { return state_; }
  // The system's error code of a failed creation (0 otherwise).
  DWORD creation_error() const { return creation_error_; }

  // Gives up ownership (if owned) and closes the handle; later calls do
  // nothing.
  void Release();

 private:
  HANDLE handle_ = nullptr;
  State state_ = State::kFailed;
  DWORD creation_error_ = 0;
};

// Asks the running instance to bring its main window back (taskbar button
// restored, shown, restored if minimised, brought to the front). Only a window
// of a process running this executable is asked, and only by a posted message:
// a hung instance holds nothing up. False when no such window exists (for
// example while that instance is still starting).
bool RestoreRunningInstance();

#endif  // VELMO_HOST_SINGLE_INSTANCE_H_
