#include "audio/sidetone_delay_control.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMillisecondsPerSecond = 1000.0;
// Where a run starts: the next period is already covered when the device
// asks for it, one more is in hand for a late packet, and a few milliseconds
// of headroom. The fill never goes below a period and that headroom, nor
// above 60 ms: beyond that a monitor is an echo.
constexpr double kStartFillPeriods = 2.0;
constexpr double kHeadroomMs = 5.0;
constexpr double kHighestFillMs = 60.0;
// A raised fill gives a period back after 5 s of playback in which no
// window leaned on it: stalls that keep coming are ridden out,
// and once they stop the fill is back within seconds, without bending the
// pitch on the way.
constexpr uint32_t kGiveBackSeconds = 5;
// A microphone that has just started may deliver its first packets unevenly:
// running dry in the first half second of a run starts over at the same
// fill. So does input that stopped for longer than any fill would bridge.
constexpr uint32_t kSettleDivisor = 2;
constexpr double kCurableGapSeconds = 0.1;
// Windows of 500 ms of playback: their mean delay is steady where single
// looks swing by a packet. A stall must leave the lowest delay of one 15 ms
// above where the level is held: jitter and drift never come near that.
constexpr uint32_t kWindowDivisor = 2;
constexpr double kStallToleranceMs = 15.0;
// The level a run settles at may stand up to a period and a half above its
// fill: the delay's mean stands about half a period above its lowest when
// packets and periods alternate, and where they fall in step, a period or
// more. Under Wine a run may also start a period or two higher and stay
// there: beyond half a period more, that excess is trimmed once as the run
// settles, since bending it away would take many seconds.
constexpr double kOffsetLimitPeriods = 1.5;
constexpr double kStartExcessPeriods = 0.5;
// The loop, in seconds of delay error: nothing within 1 ms of the level (the
// median still wanders about that much); beyond, a pull of 250 ppm per
// millisecond, but never more than 500 ppm. The drift is what the
// correction played plus how fast the level moved under it: a pull that
// brings the level back shows none. Under Wine the mean jumps within a
// period of the level and stands there for seconds at a time, as packets and
// periods fall in and out of step, or slides for a few seconds: a median of
// slopes passes over a jump, and the drift learned moves only a twentieth of
// the way to what the slopes show each window, so a slide moves it for a
// while and not for good. The median of 2.5 s of windows lags the level by
// about a second, which keeps the loop this slow: a drift of 500 ppm is
// taken up within half a minute, a few milliseconds off at most.
constexpr double kDeadBandSeconds = 0.001;
constexpr double kProportionalGain = 0.25;
constexpr double kProportionalLimit = 500e-6;
constexpr double kDriftSmoothing = 0.05;
// The applied correction moves at most 400 ppm a second of playback: about
// 4 ppm per look.
constexpr double kSlewPerSecond = 400e-6;

double Frames(double rate, double ms) { return rate * ms / kMillisecondsPerSecond; }

}  // namespace

SidetoneDelayControl::SidetoneDelayControl(uint32_t render_rate, uint32_t period_frames,
                                           size_t dry_line, size_t hand)
    : render_rate(std::max<uint32_t>(render_rate, 1)),
      dry_line_frames(dry_line),
      period_frames(std::max<size_t>(period_frames, 1)),
      base_fill(0.0),
      highest_fill(0.0),
      fill_level(0.0),
      settle_frames(std::max<uint32_t>(render_rate, 1) / kSettleDivisor),
      give_back_after(static_cast<size_t>(std::max<uint32_t>(render_rate, 1)) * kGiveBackSeconds),
      lean_line(dry_line + hand + std::max<size_t>(period_frames, 1)),
      window_frames(std::max<uint32_t>(render_rate, 1) / kWindowDivisor),
      window_seconds(static_cast<double>(window_frames) / this->render_rate),
      stall_tolerance(static_cast<size_t>(Frames(this->render_rate, kStallToleranceMs))),
      step_tolerance(static_cast<double>(this->period_frames) / 2.0 +
                     Frames(this->render_rate, kDeadBandSeconds * kMillisecondsPerSecond)),
      offset_limit(kOffsetLimitPeriods * static_cast<double>(this->period_frames)) {
  const double period = static_cast<double>(this->period_frames);
  const double headroom = Frames(this->render_rate, kHeadroomMs);
  const double lowest_fill = period + headroom;
  highest_fill = std::max(Frames(this->render_rate, kHighestFillMs), lowest_fill);
  base_fill = std::clamp(kStartFillPeriods * period + headroom, lowest_fill, highest_fill);
  fill_level = base_fill;
}

void SidetoneDelayControl::StartWindow() {
  lowest = std::numeric_limits<size_t>::max();
  window_sum = 0.0;
  window_looks = 0;
  window_written = 0;
  window_correction_sum = 0.0;
}

void SidetoneDelayControl::StartWindows() {
  StartWindow();
  recent_count = 0;
  step = Step::kNone;
  steering_now = false;
  below_level = false;
  clean_frames = 0;
  asked_surplus = 0;
  deferred = 0;
  // A new run's level says nothing of the last one's: its drift span starts
  // afresh. Trims, steps and a fill that moves leave a jump in the level,
  // which the median of its slopes passes over.
  span_windows = 0;
  span_played = 0.0;
  // Until the new windows have a say, the drift learned so far still plays.
  wanted = drift;
}

void SidetoneDelayControl::Restart() {
  StartWindows();
  settled = false;
  settled_offset = 0.0;
}

void SidetoneDelayControl::Trimmed(size_t frames) {
  // Under Wine how far the delay's mean stands above its lowest changes with
  // how packets and periods fall after a trim: the level the run settles at
  // is learned afresh, the drift learned still playing meanwhile.
  StartWindow();
  step = Step::kNone;
  high_windows = 0;
  deferred = 0;
  asked_surplus = 0;
  recent_count = 0;
  settled = false;
  steering_now = false;
  wanted = drift;
  const double trimmed = static_cast<double>(frames);
  last_window_level = std::max(last_window_level - trimmed, 0.0);
  last_window_mean = std::max(last_window_mean - trimmed, 0.0);
}

double SidetoneDelayControl::WindowMedian() {
  const size_t stored = std::min(window_looks, window_delays.size());
  const auto first = window_delays.begin();
  const auto middle = first + static_cast<std::ptrdiff_t>(stored / 2);
  std::nth_element(first, middle, first + static_cast<std::ptrdiff_t>(stored));
  return static_cast<double>(*middle);
}

double SidetoneDelayControl::RecentLevel() const {
  const size_t count = std::min(recent_count, kRecentWindows);
  std::array<double, kRecentWindows> levels = recent_levels;
  std::sort(levels.begin(), levels.begin() + static_cast<std::ptrdiff_t>(count));
  const size_t middle = count / 2;
  return count % 2 == 1 ? levels[middle] : (levels[middle - 1] + levels[middle]) / 2.0;
}

void SidetoneDelayControl::Steer(double level) {
  const double error = (level - fill_level - settled_offset) / render_rate;
  const double beyond = error > kDeadBandSeconds    ? error - kDeadBandSeconds
                        : error < -kDeadBandSeconds ? error + kDeadBandSeconds
                                                    : 0.0;
  // Within the dead band the loop leaves the drift it learned alone, so two
  // clocks that agree play at the exact ratio; a drift learned wrong moves
  // the level out of it, where its slope shows the error.
  span_levels[(span_windows - 1) % kDriftWindows] = error + span_played;
  const std::optional<double> shown = DriftShown();
  if (shown && beyond != 0.0) {
    drift += kDriftSmoothing * (std::clamp(*shown, -kMaxCorrection, kMaxCorrection) - drift);
  }
  const double pull =
      std::clamp(kProportionalGain * beyond, -kProportionalLimit, kProportionalLimit);
  wanted = std::clamp(pull + drift, -kMaxCorrection, kMaxCorrection);
  below_level = beyond < 0.0;
}

std::optional<double> SidetoneDelayControl::DriftShown() {
  const size_t now = span_windows - 1;
  const size_t oldest = now - std::min(now, kLongestDriftSpan);
  const double apart = static_cast<double>(kSlopeWindows) * window_seconds;
  size_t slopes = 0;
  for (size_t later = oldest + kSlopeWindows; later <= now; ++later) {
    const std::optional<double>& to = span_levels[later % kDriftWindows];
    const std::optional<double>& from = span_levels[(later - kSlopeWindows) % kDriftWindows];
    if (to && from) {
      span_slopes[slopes++] = (*to - *from) / apart;
    }
  }
  if (slopes < kFewestSlopes) {
    return std::nullopt;
  }
  const auto middle = span_slopes.begin() + static_cast<std::ptrdiff_t>(slopes / 2);
  std::nth_element(span_slopes.begin(), middle,
                   span_slopes.begin() + static_cast<std::ptrdiff_t>(slopes));
  return *middle;
}

void SidetoneDelayControl::NoteStep(double window_level, double window_mean) {
  // The mean moves less than the median, as a step may fall within the
  // window, but far more than drift moves it in one window.
  const double mean_jump = static_cast<double>(period_frames) / 4.0;
  const bool jumped_up = window_level > last_window_level + step_tolerance &&
                         window_mean > last_window_mean + mean_jump;
  const bool jumped_down = window_level < last_window_level - step_tolerance &&
                           window_mean < last_window_mean - mean_jump;
  const bool back = std::abs(window_level - level_before_step) <= step_tolerance;
  if (!settled || (step != Step::kNone && back)) {
    step = Step::kNone;
  } else if (jumped_up || jumped_down) {
    const Step direction = jumped_up ? Step::kUp : Step::kDown;
    if (step == Step::kNone) {
      level_before_step = last_window_level;
      step = direction;
    } else if (step != direction) {
      step = Step::kNone;
    }
    step_windows = 0;
  }
  last_window_level = window_level;
  last_window_mean = window_mean;
  if (step != Step::kNone) {
    // The window a step starts in mostly stands partly before it: once one
    // has followed, the lowest is taken from those after it.
    const bool first = step_windows <= 1;
    lowest_step_level = first ? window_level : std::min(lowest_step_level, window_level);
    lowest_step_mean = first ? window_mean : std::min(lowest_step_mean, window_mean);
    const double floor = static_cast<double>(lowest);
    lowest_step_floor = first ? floor : std::min(lowest_step_floor, floor);
    ++step_windows;
  }
}

void SidetoneDelayControl::NoteStandingHigh(double window_mean, Steering& steering) {
  // A run back from a burst, or one that settled while a burst came in, may
  // stand over a period above where it is held, its lowest delay too well
  // above the fill, with no step to see: bending that away takes half a
  // minute. Once it stays as long as a step must, the least it stood above
  // both goes in one trim, which leaves the lowest at the fill.
  const double above_level = window_mean - static_cast<double>(target());
  const double above_fill = static_cast<double>(lowest) - fill_level;
  if (above_level <= static_cast<double>(period_frames) || above_fill <= step_tolerance) {
    high_windows = 0;
    return;
  }
  const double excess = std::min(above_level, above_fill);
  least_high = high_windows == 0 ? excess : std::min(least_high, excess);
  if (++high_windows >= kStepWindows) {
    steering.surplus = static_cast<size_t>(least_high);
    high_windows = 0;
  }
}

void SidetoneDelayControl::CloseWindow(Steering& steering) {
  const double window_level = WindowMedian();
  const double window_mean = window_sum / static_cast<double>(window_looks);
  NoteStep(window_level, window_mean);
  if (step == Step::kUp && step_windows >= kStepWindows) {
    // A step up that stays is trimmed by its height, but never below where
    // the level is held, nor the lowest delay below the fill: one that only
    // brings the level back, or leaves the lowest look where it stood, is
    // kept.
    const double height = std::min({lowest_step_level - level_before_step,
                                    lowest_step_mean - static_cast<double>(target()),
                                    lowest_step_floor - fill_level});
    steering.surplus = height > step_tolerance ? static_cast<size_t>(height) : 0;
    step = Step::kNone;
  } else if (step == Step::kDown && step_windows >= kLastingStepWindows) {
    // One down that lasts is where the delay now stands.
    step = Step::kNone;
  }
  span_corrections[span_windows % kDriftWindows] =
      window_correction_sum / static_cast<double>(std::max<size_t>(window_written, 1));
  span_levels[span_windows % kDriftWindows].reset();
  if (span_windows >= kLevelLagWindows) {
    span_played +=
        span_corrections[(span_windows - kLevelLagWindows) % kDriftWindows] * window_seconds;
  }
  ++span_windows;
  // Windows within a step say nothing of drift: the level skips them.
  if (step == Step::kNone) {
    recent_levels[recent_count % kRecentWindows] = window_mean;
    ++recent_count;
  }
  if (!settled && recent_count >= kSettleWindows) {
    const double above = RecentLevel() - fill_level;
    const double start_excess_limit = kStartExcessPeriods * static_cast<double>(period_frames);
    settled_offset = std::clamp(above, 0.0, offset_limit);
    settled = true;
    // Trimmed as a step is: never taking the lowest delay below the fill.
    const double excess =
        std::min(above - settled_offset, static_cast<double>(lowest) - fill_level);
    if (above - settled_offset > start_excess_limit && excess > 0.0) {
      steering.surplus = static_cast<size_t>(excess);
    }
  }
  steering_now = recent_count >= kSteerWindows;
  if (steering_now && step == Step::kNone) {
    Steer(RecentLevel());
    NoteStandingHigh(window_mean, steering);
  } else {
    high_windows = 0;
  }
  // A stall leaves far more than a period: its surplus goes at once.
  if (lowest > target() + stall_tolerance) {
    steering.surplus = lowest - fill();
  }
  // Under Wine the lowest look of a window stands a period below the fill
  // as a rule, raised or not; only a dip that a lower fill could not have
  // ridden out keeps the raise.
  if (lowest < lean_line) {
    clean_frames = 0;
  }
  // Lowered only now, so the stall check above judged this window by the
  // fill it played at.
  if (fill_level > base_fill && steering_now && !below_level && step == Step::kNone &&
      steering.surplus == 0 && clean_frames >= give_back_after) {
    const double lowered = std::min(static_cast<double>(period_frames), fill_level - base_fill);
    fill_level -= lowered;
    deferred += static_cast<size_t>(lowered);
    clean_frames = 0;
  }
  StartWindow();
}

SidetoneDelayControl::Steering SidetoneDelayControl::Look(size_t delay, size_t written) {
  played_frames += written;
  clean_frames += written;
  lowest = std::min(lowest, delay);
  window_sum += static_cast<double>(delay);
  if (window_looks < window_delays.size()) {
    window_delays[window_looks] = delay;
  }
  ++window_looks;
  window_written += written;
  // What the frames written at the look before were played at.
  window_correction_sum += correction_now * static_cast<double>(written);
  // A surplus the queue could not yet give waits with the rest: one asked
  // since holds it too, as it stands above the same fill.
  deferred = std::max(deferred, asked_surplus);
  asked_surplus = 0;
  Steering steering;
  if (window_written >= window_frames) {
    CloseWindow(steering);
  }
  asked_surplus = steering.surplus;
  steering.deferred = deferred;
  // A look that writes more than a period, as the first after a trim may,
  // still moves the correction no further than one a period apart would.
  const double slew =
      kSlewPerSecond * static_cast<double>(std::min(written, period_frames)) / render_rate;
  correction_now = std::clamp(wanted, correction_now - slew, correction_now + slew);
  steering.correction = correction_now;
  return steering;
}

void SidetoneDelayControl::RanDry(double now_seconds) {
  dry_since = now_seconds;
  dry = true;
}

void SidetoneDelayControl::Resumed(double now_seconds) {
  if (dry && played_frames >= settle_frames && now_seconds - dry_since <= kCurableGapSeconds) {
    fill_level = std::min(fill_level + static_cast<double>(period_frames), highest_fill);
  }
  dry = false;
}
