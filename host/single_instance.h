#ifndef VELMO_HOST_SINGLE_INSTANCE_H_
#define VELMO_HOST_SINGLE_INSTANCE_H_

#include <windows.h>

inline constexpr wchar_t kSingleInstanceMutexName[] = L"Local\\VELMO_Parlora_SingleInstance";

// The per-session mutex that keeps one instance running. The first instance
// owns it until Release (or destruction); a later one only learns that it is
// taken.
class SingleInstanceMutex {
 public:
  enum class State { kFailed, kAlreadyRunning, kOwned };

  explicit SingleInstanceMutex(const wchar_t* name = kSingleInstanceMutexName);
  ~SingleInstanceMutex();

  SingleInstanceMutex(const SingleInstanceMutex&) = delete;
  SingleInstanceMutex& operator=(const SingleInstanceMutex&) = delete;

  State state() const { return state_; }

  // Gives up ownership (if owned) and closes the handle; later calls do
  // nothing.
  void Release();

 private:
  HANDLE handle_ = nullptr;
  State state_ = State::kFailed;
};

// Brings the running instance's main window back: taskbar button restored,
// shown (restored if minimised) and brought to the front. False when no main
// window exists (for example while that instance is still starting).
bool RestoreRunningInstance();

#endif  // VELMO_HOST_SINGLE_INSTANCE_H_
