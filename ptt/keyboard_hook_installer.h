#ifndef VELMO_PTT_KEYBOARD_HOOK_INSTALLER_H_
#define VELMO_PTT_KEYBOARD_HOOK_INSTALLER_H_

#include <cstdint>

// Installs and removes the one system-wide low-level keyboard hook. The
// system's events then reach GlobalKeyboardHook::HandleHookEvent. Tests put a
// fake in its place to make installation fail.
class KeyboardHookInstaller {
 public:
  KeyboardHookInstaller() = default;
  KeyboardHookInstaller(const KeyboardHookInstaller&) = delete;
  KeyboardHookInstaller& operator=(const KeyboardHookInstaller&) = delete;
  virtual ~KeyboardHookInstaller() = default;

  // False when the system refused; LastError() then tells why.
  virtual bool Install() = 0;
  // Removes an installed hook; does nothing without one.
  virtual void Remove() = 0;
  // The system's error code of the last failed installation.
  virtual uint32_t LastError() const = 0;
};

#endif  // VELMO_PTT_KEYBOARD_HOOK_INSTALLER_H_
