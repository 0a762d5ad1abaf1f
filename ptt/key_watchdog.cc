#include "ptt/key_watchdog.h"

void KeyWatchdog::Restart(uint64_t now_ms) {
  last_tick_ms_ = now_ms;
  disagreeing_ticks_ = 0;
}

WatchdogVerdict KeyWatchdog::Tick(uint64_t now_ms, bool reported_down, bool system_down) {
  WatchdogVerdict verdict;
  verdict.late = now_ms - last_tick_ms_ > kWatchdogPeriodMs + kWatchdogLatenessMs;
  last_tick_ms_ = now_ms;
  if (reported_down == system_down) {
    disagreeing_ticks_ = 0;
    return verdict;
  }
  if (++disagreeing_ticks_ >= kDisagreeingTicksForEdge) {
    disagreeing_ticks_ = 0;
    verdict.edge = reported_down ? MissingEdge::kKeyUp : MissingEdge::kKeyDown;
  }
  return verdict;
}
