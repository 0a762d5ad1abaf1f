#include "ptt/win32_push_to_talk_system.h"

#include <windows.h>
#include <wtsapi32.h>

#include <algorithm>
#include <functional>
#include <type_traits>
#include <utility>
#include <vector>

#include "diagnostics/app_log.h"
#include "ptt/global_keyboard_hook.h"
#include "ptt/key_watch.h"
#include "ptt/key_watchdog.h"
#include "ptt/win32_input_thread.h"

namespace {

// The high bit of GetAsyncKeyState's answer: the key is down now.
constexpr SHORT kKeyDownBit = static_cast<SHORT>(0x8000);

struct HookRemover {
  void operator()(HHOOK hook) const { UnhookWindowsHookEx(hook); }
};
using UniqueHook = std::unique_ptr<std::remove_pointer_t<HHOOK>, HookRemover>;

// Nothing may unwind into the system; at worst an event is not reported, but
// it is always passed on.
LRESULT CALLBACK KeyboardHookProcedure(int code, WPARAM message, LPARAM lparam) {
  if (code == HC_ACTION) {
    const auto& event = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lparam);
    const KeyOrButtonRecord record{event.vkCode, event.scanCode, event.flags, event.time,
                                   event.dwExtraInfo};
    try {
      KeyWatch::HandleKeyboardEvent(code, message, record);
    } catch (...) {
    }
  }
  return CallNextHookEx(nullptr, code, message, lparam);
}

LRESULT CALLBACK MouseHookProcedure(int code, WPARAM message, LPARAM lparam) {
  if (code == HC_ACTION && KeyWatch::TakeMouseMessage(message)) {
    const auto& event = *reinterpret_cast<const MSLLHOOKSTRUCT*>(lparam);
    const MouseEventRecord record{event.mouseData, event.flags, event.time, event.dwExtraInfo};
    try {
      KeyWatch::HandleMouseEvent(code, message, record);
    } catch (...) {
    }
  }
  return CallNextHookEx(nullptr, code, message, lparam);
}

void HandleRawInput(LPARAM lparam) {
  RAWINPUT input;
  UINT size = sizeof(input);
  if (GetRawInputData(reinterpret_cast<HRAWINPUT>(lparam), RID_INPUT, &input, &size,
                      sizeof(RAWINPUTHEADER)) == static_cast<UINT>(-1)) {
    return;
  }
  if (input.header.dwType == RIM_TYPEKEYBOARD) {
    const RAWKEYBOARD& key = input.data.keyboard;
    KeyWatch::HandleRawKeyEvent(
        {key.MakeCode, key.Flags, key.VKey, key.Message, input.header.hDevice == nullptr});
  } else if (input.header.dwType == RIM_TYPEMOUSE) {
    KeyWatch::HandleRawMouseButtons(input.data.mouse.usButtonFlags);
  }
}

// The input window's messages: Raw Input and what takes the user's input
// away.
bool InputWindowProcedure(HWND, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INPUT:
      HandleRawInput(lparam);
      // The system frees the message's data in DefWindowProc.
      return false;
    case WM_WTSSESSION_CHANGE:
      if (wparam == WTS_SESSION_LOCK) {
        KeyWatch::HandleSessionEvent(SessionEvent::kLock);
      } else if (wparam == WTS_CONSOLE_DISCONNECT || wparam == WTS_REMOTE_DISCONNECT) {
        KeyWatch::HandleSessionEvent(SessionEvent::kDisconnect);
      }
      return true;
    case WM_POWERBROADCAST:
      if (wparam == PBT_APMSUSPEND) {
        KeyWatch::HandleSessionEvent(SessionEvent::kSuspend);
      }
      return false;
    default:
      return false;
  }
}

void CALLBACK WatchdogTimerProcedure(HWND, UINT, UINT_PTR, DWORD) {
  try {
    KeyWatch::HandleWatchdogTick();
  } catch (...) {
  }
}

// A timer of the input thread, not of a window: its message loop dispatches
// the WM_TIMER to the procedure.
class WatchdogTimer {
 public:
  WatchdogTimer() = default;
  WatchdogTimer(const WatchdogTimer&) = delete;
  WatchdogTimer& operator=(const WatchdogTimer&) = delete;
  ~WatchdogTimer() { Stop(); }

  void Start() {
    Stop();
    id_ = SetTimer(nullptr, 0, static_cast<UINT>(kWatchdogPeriodMs), WatchdogTimerProcedure);
    if (id_ == 0) {
      AppendLogNonBlocking("ptt_watchdog_timer_failed");
    }
  }

  void Stop() {
    if (id_ != 0) {
      KillTimer(nullptr, id_);
      id_ = 0;
    }
  }

 private:
  UINT_PTR id_ = 0;
};

// Raw Input's names for the two kinds of device: the generic desktop page,
// with its keyboard and mouse usages.
constexpr USHORT kGenericDesktopPage = 0x01;
constexpr USHORT kKeyboardUsage = 0x06;
constexpr USHORT kMouseUsage = 0x02;

class Win32PushToTalkSystem : public PushToTalkSystem {
 public:
  void RunOnInputThread(std::function<void()> task) override {
    input_thread_.Post(std::move(task));
  }

  void RunOnPlatformThread(std::function<void()> task) override {
    input_thread_.Report(std::move(task));
  }

  void StopInputThread() override { input_thread_.Stop(); }

  HookId InstallHook(HookKind kind) override {
    UniqueHook hook(
        kind == HookKind::kMouse
            ? SetWindowsHookExW(WH_MOUSE_LL, MouseHookProcedure, GetModuleHandleW(nullptr), 0)
            : SetWindowsHookExW(WH_KEYBOARD_LL, KeyboardHookProcedure, GetModuleHandleW(nullptr),
                                0));
    if (!hook) {
      last_error_ = GetLastError();
      return kNoHook;
    }
    hooks_.push_back(std::move(hook));
    return reinterpret_cast<HookId>(hooks_.back().get());
  }

  void RemoveHook(HookId hook) override {
    std::erase_if(hooks_, [hook](const UniqueHook& held) {
      return reinterpret_cast<HookId>(held.get()) == hook;
    });
  }

  uint32_t LastError() const override { return last_error_; }

  bool StartRawInput(HookKind kind) override {
    HWND window = input_thread_.input_window();
    if (window == nullptr) {
      return false;
    }
    StopRawInput();
    // The sink flag has the input reach the window whichever window has the
    // focus; Raw Input makes no program's input wait for ours.
    raw_usage_ = kind == HookKind::kMouse ? kMouseUsage : kKeyboardUsage;
    const RAWINPUTDEVICE device{kGenericDesktopPage, raw_usage_, RIDEV_INPUTSINK, window};
    if (!RegisterRawInputDevices(&device, 1, sizeof(device))) {
      raw_usage_ = 0;
      AppendLogNonBlocking("ptt_raw_input_failed");
      return false;
    }
    return true;
  }

  void StopRawInput() override {
    if (raw_usage_ != 0) {
      const RAWINPUTDEVICE device{kGenericDesktopPage, raw_usage_, RIDEV_REMOVE, nullptr};
      RegisterRawInputDevices(&device, 1, sizeof(device));
      raw_usage_ = 0;
    }
  }

  void StartWatchdogTimer() override { timer_.Start(); }

  void StopWatchdogTimer() override { timer_.Stop(); }

  uint64_t NowMs() const override { return GetTickCount64(); }

  uint32_t LastInputTime() const override {
    LASTINPUTINFO info{};
    info.cbSize = sizeof(info);
    return GetLastInputInfo(&info) ? info.dwTime : 0;
  }

  bool ButtonsSwapped() const override { return GetSystemMetrics(SM_SWAPBUTTON) != 0; }

  bool IsKeyDown(uint32_t virtual_key) const override {
    return (GetAsyncKeyState(static_cast<int>(virtual_key)) & kKeyDownBit) != 0;
  }

  uint32_t ScanCodeOf(uint32_t virtual_key) const override {
    return MapVirtualKeyW(virtual_key, MAPVK_VK_TO_VSC);
  }

  void Log(const char* line) override { AppendLogNonBlocking(line); }

 private:
  // At most two: the fresh hook is installed before the old one goes.
  // Touched on the input thread only, like the timer and Raw Input.
  std::vector<UniqueHook> hooks_;
  // The Raw Input usage registered, 0 for none.
  USHORT raw_usage_ = 0;
  WatchdogTimer timer_;
  uint32_t last_error_ = ERROR_SUCCESS;
  // Declared last, so that it ends before the hooks and the timer go.
  Win32InputThread input_thread_{InputWindowProcedure};
};

}  // namespace

std::unique_ptr<PushToTalkSystem> CreateWin32PushToTalkSystem() {
  return std::make_unique<Win32PushToTalkSystem>();
}

std::unique_ptr<GlobalKeyboardHook> CreateGlobalKeyboardHook(flutter::BinaryMessenger* messenger) {
  return std::make_unique<GlobalKeyboardHook>(messenger, CreateWin32PushToTalkSystem());
}
