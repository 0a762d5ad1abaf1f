#include "ptt/key_watchdog.h"

void KeyWatchdog::Restart(const WatchdogReading& reading) {
  last_tick_ms_ = reading.now_ms;
  last_hooked_time_ = reading.last_hooked_time;
  blind_ = false;
  disagreeing_ticks_ = 0;
}

WatchdogVerdict KeyWatchdog::Tick(const WatchdogReading& reading) {
  WatchdogVerdict verdict;
  verdict.late = reading.now_ms - last_tick_ms_ > kWatchdogPeriodMs + kWatchdogLatenessMs;
  last_tick_ms_ = reading.now_ms;
  const bool hooks_called = reading.last_hooked_time != last_hooked_time_;
  last_hooked_time_ = reading.last_hooked_time;
  // Wraps with the system's millisecond counter; a hook time ahead of the
  // input time is no evidence.
  const bool input_unseen =
      static_cast<int32_t>(reading.last_input_time - reading.last_hooked_time) > 0;
  // After a late tick even calls that did come may be the last before the
  // system dropped the hook: only a later call clears that.
  blind_ = verdict.late || input_unseen || (blind_ && !hooks_called);
  if (!blind_ || reading.reported_down == reading.system_down) {
    disagreeing_ticks_ = 0;
    return verdict;
  }
  if (++disagreeing_ticks_ >= kDisagreeingTicksForEdge) {
    disagreeing_ticks_ = 0;
    verdict.edge = reading.reported_down ? MissingEdge::kKeyUp : MissingEdge::kKeyDown;
  }
  return verdict;
}
