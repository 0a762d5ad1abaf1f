#ifndef VELMO_PTT_KEY_WATCHDOG_H_
#define VELMO_PTT_KEY_WATCHDOG_H_

#include <cstdint>

// Windows drops a low-level hook silently when its thread keeps an event
// waiting longer than LowLevelHooksTimeout, and a dropped hook misses every
// edge after. The watchdog's ticks look for evidence that the watched kind's
// hook went blind: input of that kind which the system took in and the hook
// never saw. Only then does it trust the key state the system keeps over the
// hook: that state leaves out events a later hook swallowed (a key remapper, a
// remote desktop window), so a live hook is right where the two disagree.
inline constexpr uint64_t kWatchdogPeriodMs = 100;
// A tick this much later than due means the input thread was held up long
// enough for Windows to have dropped the hook.
inline constexpr uint64_t kWatchdogLatenessMs = 500;
// One disagreeing tick may be an event still on its way to the hook.
inline constexpr int kDisagreeingTicksForEdge = 2;
// A hook that keeps missing input is installed afresh at most this often, so
// that input the hook is never meant to see cannot make the thread reinstall
// on every tick.
inline constexpr uint64_t kMinReinstallIntervalMs = 1000;

enum class MissingEdge { kNone, kKeyUp, kKeyDown };

enum class ReinstallReason { kNone, kLateTick, kMissedKeyUp, kMissedKeyDown, kMissedInput };

struct WatchdogVerdict {
  MissingEdge edge = MissingEdge::kNone;
  ReinstallReason reinstall = ReinstallReason::kNone;
};

// What one tick sees.
struct WatchdogReading {
  uint64_t now_ms = 0;
  // The hook's view: the key is held.
  bool reported_down = false;
  // The system's key state, read side by side and without what the hook
  // ignores.
  bool system_down = false;
  // Calls of the watched kind's hook.
  uint32_t hook_calls = 0;
  // Input the system took in. Exact: the watched kind's events from Raw
  // Input, counted as the hook counts its calls; each one reaches Raw Input
  // only after the hooks had their turn. Not exact (no Raw Input to be had):
  // the time of the system's last input, which moves with keys and mouse
  // alike.
  uint32_t input = 0;
  bool input_exact = true;
};

class KeyWatchdog {
 public:
  // A watch begins: the next tick is due one period from now.
  void Restart(const WatchdogReading& reading);
  WatchdogVerdict Tick(const WatchdogReading& reading);

 private:
  bool MayReinstall(uint64_t now_ms) const;

  uint64_t last_tick_ms_ = 0;
  uint32_t last_input_ = 0;
  uint32_t last_hook_calls_ = 0;
  // Hook calls of the last period that Raw Input has not matched yet: their
  // events may reach it only in this one. Older ones were events a later
  // hook swallowed.
  uint32_t unmatched_calls_ = 0;
  // Evidence that the hook went blind, kept until it is called again.
  bool blind_ = false;
  int disagreeing_ticks_ = 0;
  // A reinstallation the rate limit held back, done once it lets one
  // through.
  ReinstallReason owed_ = ReinstallReason::kNone;
  bool reinstalled_ = false;
  uint64_t last_reinstall_ms_ = 0;
};

#endif  // VELMO_PTT_KEY_WATCHDOG_H_
