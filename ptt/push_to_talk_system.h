#ifndef VELMO_PTT_PUSH_TO_TALK_SYSTEM_H_
#define VELMO_PTT_PUSH_TO_TALK_SYSTEM_H_

#include <cstdint>
#include <functional>

#include "ptt/watched_key.h"

// Identifies one installed hook; kNoHook when none is or installation failed.
using HookId = uintptr_t;
inline constexpr HookId kNoHook = 0;

// What push-to-talk needs from the system: an input thread with its message
// loop, the low-level hooks, Raw Input and the watchdog's timer on it, the
// key state the system itself keeps, a clock and the log. Tests put a fake in
// its place to refuse a hook, stop one kind's delivery silently, move time by
// hand and hold the work of either thread back.
class PushToTalkSystem {
 public:
  PushToTalkSystem() = default;
  PushToTalkSystem(const PushToTalkSystem&) = delete;
  PushToTalkSystem& operator=(const PushToTalkSystem&) = delete;
  virtual ~PushToTalkSystem() = default;

  // Runs `task` on the input thread, after the tasks posted before it. Called
  // on the platform thread.
  virtual void RunOnInputThread(std::function<void()> task) = 0;
  // Runs `task` on the platform thread, after the reports posted before it.
  // Called on the input thread.
  virtual void RunOnPlatformThread(std::function<void()> task) = 0;
  // Ends the input thread once the tasks already posted have run, then runs
  // every report it left on this, the platform thread. Nothing posted later
  // runs.
  virtual void StopInputThread() = 0;

  // The rest is called on the input thread only.

  // Installs one more system-wide hook of this kind; its events reach
  // KeyWatch::HandleKeyboardEvent or TakeMouseMessage and HandleMouseEvent.
  // kNoHook when the system refused; LastError() then tells why.
  virtual HookId InstallHook(HookKind kind) = 0;
  virtual void RemoveHook(HookId hook) = 0;
  // The system's error code of the last refused installation.
  virtual uint32_t LastError() const = 0;

  // From now on every input event of this kind the system takes in reaches
  // KeyWatch::HandleRawKeyEvent or HandleRawMouseButtons, wherever the focus
  // is. False when the system refused.
  virtual bool StartRawInput(HookKind kind) = 0;
  virtual void StopRawInput() = 0;

  // While running, KeyWatch::HandleWatchdogTick is called about every
  // kWatchdogPeriodMs.
  virtual void StartWatchdogTimer() = 0;
  virtual void StopWatchdogTimer() = 0;

  // Milliseconds of a monotonic clock.
  virtual uint64_t NowMs() const = 0;
  // Changes with every key and mouse event the system takes in, whichever
  // hook sees it (the time of the last one).
  virtual uint32_t LastInputTime() const = 0;
  // Whether the system counts the key (or the physical mouse button) as held
  // right now, whatever the hooks were told.
  virtual bool IsKeyDown(uint32_t virtual_key) const = 0;
  // Whether the user swapped the primary and secondary mouse buttons.
  virtual bool ButtonsSwapped() const = 0;
  // The keyboard's scan code of a virtual key; 0 for mouse buttons.
  virtual uint32_t ScanCodeOf(uint32_t virtual_key) const = 0;

  // Never waits: the input thread's hooks must answer at once.
  virtual void Log(const char* line) = 0;
};

#endif  // VELMO_PTT_PUSH_TO_TALK_SYSTEM_H_
