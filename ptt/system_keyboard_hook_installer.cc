#include "ptt/system_keyboard_hook_installer.h"

#include <windows.h>

#include <type_traits>

namespace {

struct HookRemover {
  void operator()(HHOOK hook) const { UnhookWindowsHookEx(hook); }
};
using UniqueHook = std::unique_ptr<std::remove_pointer_t<HHOOK>, HookRemover>;

LRESULT CALLBACK KeyboardHookProcedure(int code, WPARAM message, LPARAM lparam) {
  if (code == HC_ACTION) {
    const auto& event = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lparam);
    const KeyboardEventRecord record{event.vkCode, event.scanCode, event.flags, event.time,
                                     event.dwExtraInfo};
    // Nothing may unwind into the system; at worst an event is not reported,
    // but it is always passed on.
    try {
      GlobalKeyboardHook::HandleHookEvent(code, message, record);
    } catch (...) {
    }
  }
  return CallNextHookEx(nullptr, code, message, lparam);
}

class SystemKeyboardHookInstaller : public KeyboardHookInstaller {
 public:
  bool Install() override {
    hook_.reset(
        SetWindowsHookExW(WH_KEYBOARD_LL, KeyboardHookProcedure, GetModuleHandleW(nullptr), 0));
    if (!hook_) {
      last_error_ = GetLastError();
      return false;
    }
    return true;
  }

  void Remove() override { hook_.reset(); }

  uint32_t LastError() const override { return last_error_; }

 private:
  UniqueHook hook_;
  uint32_t last_error_ = ERROR_SUCCESS;
};

}  // namespace

std::unique_ptr<KeyboardHookInstaller> CreateSystemKeyboardHookInstaller() {
  return std::make_unique<SystemKeyboardHookInstaller>();
}

std::unique_ptr<GlobalKeyboardHook> CreateGlobalKeyboardHook(flutter::BinaryMessenger* messenger) {
  return std::make_unique<GlobalKeyboardHook>(messenger, CreateSystemKeyboardHookInstaller());
}
