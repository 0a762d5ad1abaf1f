#ifndef VELMO_PTT_PUSH_TO_TALK_SYSTEM_H_
#define VELMO_PTT_PUSH_TO_TALK_SYSTEM_H_

#include <cstdint>

#include "ptt/watched_key.h"

// Identifies one installed hook; kNoHook when none is or installation failed.
using HookId = uintptr_t;
inline constexpr HookId kNoHook = 0;

// What push-to-talk needs from the system: the low-level hooks, the watchdog's
// timer, the key state the system itself keeps, a clock and the log. Tests
// put a fake in its place to refuse a hook, stop a hook's delivery silently and
// move time by hand.
class PushToTalkSystem {
 public:
  PushToTalkSystem() = default;
  PushToTalkSystem(const PushToTalkSystem&) = delete;
  PushToTalkSystem& operator=(const PushToTalkSystem&) = delete;
  virtual ~PushToTalkSystem() = default;

  // Installs one more system-wide hook of this kind; its events reach
  // GlobalKeyboardHook::HandleHookEvent or HandleMouseHookEvent. kNoHook when
  // the system refused; LastError() then tells why.
  virtual HookId InstallHook(HookKind kind) = 0;
  virtual void RemoveHook(HookId hook) = 0;
  // The system's error code of the last refused installation.
  virtual uint32_t LastError() const = 0;

  // While running, GlobalKeyboardHook::HandleWatchdogTick is called about
  // every kWatchdogPeriodMs on this thread.
  virtual void StartWatchdogTimer() = 0;
  virtual void StopWatchdogTimer() = 0;

  // Milliseconds of a monotonic clock.
  virtual uint64_t NowMs() const = 0;
  // Whether the system counts the key (or mouse button) as held right now,
  // whatever the hooks were told.
  virtual bool IsKeyDown(uint32_t virtual_key) const = 0;
  // The keyboard's scan code of a virtual key; 0 for mouse buttons.
  virtual uint32_t ScanCodeOf(uint32_t virtual_key) const = 0;

  virtual void Log(const char* line) = 0;
};

#endif  // VELMO_PTT_PUSH_TO_TALK_SYSTEM_H_
