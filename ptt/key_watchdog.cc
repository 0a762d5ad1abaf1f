#include "ptt/key_watchdog.h"

void KeyWatchdog::Restart(const WatchdogReading& reading) {
  last_tick_ms_ = reading.now_ms;
  last_input_time_ = reading.last_input_time;
  last_hook_calls_ = reading.hook_calls;
  blind_ = false;
  disagreeing_ticks_ = 0;
}

WatchdogVerdict KeyWatchdog::Tick(const WatchdogReading& reading) {
  WatchdogVerdict verdict;
  verdict.late = reading.now_ms - last_tick_ms_ > kWatchdogPeriodMs + kWatchdogLatenessMs;
  const bool hooks_called = reading.hook_calls != last_hook_calls_;
  const bool input_taken = reading.last_input_time != last_input_time_;
  last_tick_ms_ = reading.now_ms;
  last_input_time_ = reading.last_input_time;
  last_hook_calls_ = reading.hook_calls;
  // Input in a period in which the hooks were called counts as seen: an
  // event they missed after their last call shows with the next input they
  // miss. After a late tick even calls that did come may be the last before
  // the system dropped the hook.
  blind_ = verdict.late || (!hooks_called && (blind_ || input_taken));
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
