#ifndef VELMO_TESTING_FAKE_KEYBOARD_HOOK_FAKE_KEYBOARD_HOOK_INSTALLER_H_
#define VELMO_TESTING_FAKE_KEYBOARD_HOOK_FAKE_KEYBOARD_HOOK_INSTALLER_H_

#include <cstdint>
#include <string>

#include "ptt/global_keyboard_hook.h"
#include "ptt/keyboard_hook_installer.h"

// What the fake hook did, kept by the test so it outlives the fake.
struct FakeKeyboardHookState {
  // Non-zero: the error code of a refused installation.
  uint32_t fail_with = 0;
  bool installed = false;
  // Every call, in order.
  std::string log;
};

// Stands in for the system's hook: installation fails on request with a
// chosen error code.
class FakeKeyboardHookInstaller : public KeyboardHookInstaller {
 public:
  explicit FakeKeyboardHookInstaller(FakeKeyboardHookState* state) : state_(state) {}

  bool Install() override {
    // The hook procedure must find its instance from the moment it can run.
    state_->log += GlobalKeyboardHook::active() != nullptr ? "install;" : "install(no active);";
    state_->installed = state_->fail_with == 0;
    return state_->installed;
  }
  void Remove() override {
    state_->log += "remove;";
    state_->installed = false;
  }
  uint32_t LastError() const override { return state_->fail_with; }

 private:
  FakeKeyboardHookState* state_;
};

#endif  // VELMO_TESTING_FAKE_KEYBOARD_HOOK_FAKE_KEYBOARD_HOOK_INSTALLER_H_
