#include "ptt/win32_push_to_talk_system.h"

#include <windows.h>

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
      AppendLog("ptt_watchdog_timer_failed");
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

  void Log(const char* line) override { AppendLog(line); }

 private:
  // At most two: the fresh hook is installed before the old one goes.
  // At most four: fresh keyboard and mouse hooks are installed before the old
  // ones go. Touched on the input thread only, like the timer.
  std::vector<UniqueHook> hooks_;
  WatchdogTimer timer_;
  uint32_t last_error_ = ERROR_SUCCESS;
  // Declared last, so that it ends before the hooks and the timer go.
  Win32InputThread input_thread_;
};

}  // namespace

std::unique_ptr<PushToTalkSystem> CreateWin32PushToTalkSystem() {
  return std::make_unique<Win32PushToTalkSystem>();
}

std::unique_ptr<GlobalKeyboardHook> CreateGlobalKeyboardHook(flutter::BinaryMessenger* messenger) {
  return std::make_unique<GlobalKeyboardHook>(messenger, CreateWin32PushToTalkSystem());
}
