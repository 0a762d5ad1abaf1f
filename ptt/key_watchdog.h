#ifndef VELMO_PTT_KEY_WATCHDOG_H_
#define VELMO_PTT_KEY_WATCHDOG_H_

#include <cstdint>

// Windows drops a low-level hook silently when its thread keeps an event
// waiting longer than LowLevelHooksTimeout, and a dropped hook misses every
// edge after. The watchdog's ticks look for evidence that the hook went blind
// and only then trust the key state the system keeps over the hook: that
// state leaves out events a later hook swallowed (a key remapper, a remote
// desktop window), so a live hook is right where the two disagree.
inline constexpr uint64_t kWatchdogPeriodMs = 100;
// A tick this much later than due means the input thread was held up long
// enough for Windows to have dropped the hook.
inline constexpr uint64_t kWatchdogLatenessMs = 500;
// One disagreeing tick may be an event still on its way to the hook.
inline constexpr int kDisagreeingTicksForEdge = 2;

enum class MissingEdge { kNone, kKeyUp, kKeyDown };

struct WatchdogVerdict {
  MissingEdge edge = MissingEdge::kNone;
  bool late = false;
};

// What one tick sees.
struct WatchdogReading {
  uint64_t now_ms = 0;
  // The hook's view: the key is held.
  bool reported_down = false;
  // The system's key state.
  bool system_down = false;
  // The system's input counter (the time of the last input it took in) and
  // the number of calls our hooks got. The two clocks differ by a few
  // milliseconds for the same event, so the watchdog only asks which of them
  // moved since its last tick: input that none of our hooks saw moves the
  // first alone.
  uint32_t last_input_time = 0;
  uint32_t hook_calls = 0;
};

class KeyWatchdog {
 public:
  // A watch begins: the next tick is due one period from now.
  void Restart(const WatchdogReading& reading);
  WatchdogVerdict Tick(const WatchdogReading& reading);

 private:
  uint64_t last_tick_ms_ = 0;
  uint32_t last_input_time_ = 0;
  uint32_t last_hook_calls_ = 0;
  // Evidence that the hooks went blind, kept until they are called again.
  bool blind_ = false;
  int disagreeing_ticks_ = 0;
};

#endif  // VELMO_PTT_KEY_WATCHDOG_H_
