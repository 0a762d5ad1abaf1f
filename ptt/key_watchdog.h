#ifndef VELMO_PTT_KEY_WATCHDOG_H_
#define VELMO_PTT_KEY_WATCHDOG_H_

#include <cstdint>

// A hook whose thread stops pumping messages misses events, and Windows drops
// it silently after LowLevelHooksTimeout. The watchdog's ticks compare what
// the hook reported with the key state the system keeps.
inline constexpr uint64_t kWatchdogPeriodMs = 100;
// A tick this much later than due means the thread was frozen long enough for
// Windows to have dropped the hook.
inline constexpr uint64_t kWatchdogLatenessMs = 500;
// One disagreeing tick may be an event still on its way to the hook.
inline constexpr int kDisagreeingTicksForEdge = 2;

enum class MissingEdge { kNone, kKeyUp, kKeyDown };

struct WatchdogVerdict {
  MissingEdge edge = MissingEdge::kNone;
  bool late = false;
};

class KeyWatchdog {
 public:
  // A watch begins: the next tick is due one period from now.
  void Restart(uint64_t now_ms);
  WatchdogVerdict Tick(uint64_t now_ms, bool reported_down, bool system_down);

 private:
  uint64_t last_tick_ms_ = 0;
  int disagreeing_ticks_ = 0;
};

#endif  // VELMO_PTT_KEY_WATCHDOG_H_
