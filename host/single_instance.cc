#include "host/single_instance.h"

#include <iterator>
#include <string>
#include <vector>

#include "base/restore_window.h"
#include "base/scoped_handle.h"
#include "host/window_identity.h"

namespace {

// The system's longest path (an extended one) fits.
constexpr DWORD kImagePathCapacity = 32768;
// Only a title equal to the main window's matters; a longer one may be cut.
constexpr int kTitleCapacity = 256;

// The full path of the executable the process runs; empty when it cannot be
// read. The kernel answers this, not the process, so a hung one holds nothing
// up.
std::u16string ImagePathOfProcess(DWORD process_id) {
  const ScopedKernelHandle process(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
  if (!process.valid()) {
    return {};
  }
  std::wstring path(kImagePathCapacity, L'\0');
  DWORD length = kImagePathCapacity;
  if (!QueryFullProcessImageNameW(process.get(), 0, path.data(), &length)) {
    return {};
  }
  return std::u16string(path.begin(), path.begin() + length);
}

std::u16string TitleOf(HWND window) {
  // Of another process's window this reads the stored caption; no message
  // is sent to it.
  wchar_t title[kTitleCapacity] = {};
  const int length = GetWindowTextW(window, title, kTitleCapacity);
  return std::u16string(title, title + (length > 0 ? length : 0));
}

struct WindowFacts {
  HWND window;
  DWORD process_id;
  std::u16string title;
  std::u16string image_path;
};

// Every top-level window of the main window's class, in z-order.
std::vector<WindowFacts> WindowsOfMainClass() {
  std::vector<WindowFacts> found;
  for (HWND window = FindWindowExW(nullptr, nullptr, kMainWindowClassName, nullptr);
       window != nullptr; window = FindWindowExW(nullptr, window, kMainWindowClassName, nullptr)) {
    DWORD process_id = 0;
    if (GetWindowThreadProcessId(window, &process_id) == 0) {
      continue;
    }
    found.push_back({window, process_id, TitleOf(window), ImagePathOfProcess(process_id)});
  }
  return found;
}

}  // namespace

SingleInstanceMutex::SingleInstanceMutex(const wchar_t* name) {
  // A new mutex is not required to clear the error code.
  SetLastError(ERROR_SUCCESS);
  handle_ = CreateMutexW(nullptr, TRUE, name);
  const DWORD error = GetLastError();
  state_ = ClassifyMutexCreation(handle_ != nullptr, error);
  if (state_ == State::kFailed) {
    creation_error_ = error;
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
  const UINT restore_request = RegisterWindowMessageW(kRestoreRequestMessageName);
  if (restore_request == 0) {
    return false;
  }
  const std::vector<WindowFacts> windows = WindowsOfMainClass();
  std::vector<HandOverCandidate> candidates;
  candidates.reserve(windows.size());
  for (const WindowFacts& facts : windows) {
    candidates.push_back(
        {reinterpret_cast<std::uintptr_t>(facts.window), facts.title, facts.image_path});
  }
  const std::u16string own_image_path = ImagePathOfProcess(GetCurrentProcessId());
  const std::u16string main_title(std::begin(kMainWindowTitle), std::end(kMainWindowTitle) - 1);
  const HWND target =
      reinterpret_cast<HWND>(ChooseHandOverWindow(candidates, own_image_path, main_title));
  if (target == nullptr) {
    return false;
  }
  for (const WindowFacts& facts : windows) {
    if (facts.window == target) {
      // A program just launched by the user may take the foreground; it
      // lends that right to the instance, which comes to the front itself.
      AllowSetForegroundWindow(facts.process_id);
    }
  }
  return PostMessageW(target, restore_request, 0, 0) != FALSE;
}
