#ifndef VELMO_PTT_SYSTEM_KEYBOARD_HOOK_INSTALLER_H_
#define VELMO_PTT_SYSTEM_KEYBOARD_HOOK_INSTALLER_H_

#include <memory>

#include "channels/binary_messenger.h"
#include "ptt/global_keyboard_hook.h"
#include "ptt/keyboard_hook_installer.h"

// The system's low-level keyboard hook for all threads of the desktop. Its
// procedure runs on the installing thread while that thread pumps messages.
std::unique_ptr<KeyboardHookInstaller> CreateSystemKeyboardHookInstaller();

// Push-to-talk over the engine's messenger with the system's hook.
std::unique_ptr<GlobalKeyboardHook> CreateGlobalKeyboardHook(flutter::BinaryMessenger* messenger);

#endif  // VELMO_PTT_SYSTEM_KEYBOARD_HOOK_INSTALLER_H_
