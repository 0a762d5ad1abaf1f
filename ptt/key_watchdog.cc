#include "ptt/key_watchdog.h"

#include <algorithm>

void KeyWatchdog::Restart(const WatchdogReading& reading) {
  *this = KeyWatchdog();
  last_tick_ms_ = reading.now_ms;
  last_input_ = reading.input;
  last_hook_calls_ = reading.hook_calls;
}

WatchdogVerdict KeyWatchdog::Tick(const WatchdogReading& reading) {
  WatchdogVerdict verdict;
  const bool late = reading.now_ms - last_tick_ms_ > kWatchdogPeriodMs + kWatchdogLatenessMs;
  const uint32_t hook_delta = reading.hook_calls - last_hook_calls_;
  const uint32_t input_delta = reading.input - last_input_;
  // Exact counts show a miss even in a period in which the hook was called;
  // a call whose event reaches Raw Input only after the tick is matched in
  // the next period. The time of the last input does not: an event the hook
  // missed after its last call shows with the next input it misses.
  const uint32_t calls = hook_delta + unmatched_calls_;
  const bool unseen =
      reading.input_exact ? input_delta > calls : input_delta != 0 && hook_delta == 0;
  unmatched_calls_ = std::min(hook_delta, calls - std::min(input_delta, calls));
  last_tick_ms_ = reading.now_ms;
  last_input_ = reading.input;
  last_hook_calls_ = reading.hook_calls;
  // A late tick is no such evidence: the hook that comes through a stall
  // alive is still right, so a stall only earns a fresh hook below.
  blind_ = unseen || (blind_ && hook_delta == 0);

  if (!blind_ || reading.reported_down == reading.system_down) {
    disagreeing_ticks_ = 0;
  } else if (++disagreeing_ticks_ >= kDisagreeingTicksForEdge) {
    disagreeing_ticks_ = 0;
    if (reading.reported_down) {
      verdict.edge = MissingEdge::kKeyUp;
    } else if (reading.input_exact) {
      // Without exact evidence a mouse-only stretch looks like a blind
      // keyboard hook, so the system's state may close the microphone then
      // but never open it.
      verdict.edge = MissingEdge::kKeyDown;
    }
  }

  // A hook whose kind saw input it did not is replaced whatever the key
  // state, as the next edge would be missed too. The evidence itself stays
  // until the hook is called: the edge it missed may still be missing.
  if (verdict.edge == MissingEdge::kKeyUp) {
    owed_ = ReinstallReason::kMissedKeyUp;
  } else if (verdict.edge == MissingEdge::kKeyDown) {
    owed_ = ReinstallReason::kMissedKeyDown;
  } else if (late) {
    owed_ = ReinstallReason::kLateTick;
  } else if (unseen && reading.input_exact && owed_ == ReinstallReason::kNone) {
    owed_ = ReinstallReason::kMissedInput;
  }
  if (owed_ == ReinstallReason::kNone || (!late && !MayReinstall(reading.now_ms))) {
    return verdict;
  }
  verdict.reinstall = owed_;
  owed_ = ReinstallReason::kNone;
  reinstalled_ = true;
  last_reinstall_ms_ = reading.now_ms;
  return verdict;
}

bool KeyWatchdog::MayReinstall(uint64_t now_ms) const {
  return !reinstalled_ || now_ms - last_reinstall_ms_ >= kMinReinstallIntervalMs;
}
