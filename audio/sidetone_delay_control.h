#ifndef VELMO_AUDIO_SIDETONE_DELAY_CONTROL_H_
#define VELMO_AUDIO_SIDETONE_DELAY_CONTROL_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>

#include "audio/sidetone_resampler.h"

// How far behind the microphone the monitor plays, and how it keeps there.
// The delay is what the monitor holds: the render device's queued frames
// plus the queued input, in render frames. It is looked at over windows of
// 500 ms of playback: their mean, and the median of the last five windows,
// is the level the loop below holds.
//
// - The fill is the lowest delay a run starts at: two periods and a few
//   milliseconds. A short gap in which playback ran dry raises it a period,
//   up to about 60 ms. Each 5 s of playback that never leaned on the raise
//   (no window whose lowest delay, a period lower, could have run dry) gives
//   a period of it back at once, by a trim: the pitch stays exact on the way
//   down.
// - Clock drift is followed by a loop on that level: the level a run
//   settles at in its first two seconds, and again in the two after each
//   trim, is where it is held, and the resampling ratio is bent to keep it
//   there, by at most 1000 ppm and never faster than a few ppm per look.
//   Within a dead band around the level the loop does nothing, so two
//   clocks that agree play at the exact ratio. Beyond it, a pull in
//   proportion to the error brings the level back, and the drift is learned
//   from how the level moved under the correction that played over the last
//   8-20 s: the steady slope of the level it would have had unbent. A level
//   that jumps and is pulled back teaches no drift.
// - Under Wine the device's padding moves in steps of a period, now and
//   then for seconds: a window whose median and mean both jump by half a
//   period or more is such a step, not drift, and the windows within it are
//   left out of the level. A step up that stays two seconds is trimmed by
//   its height, never taking the lowest delay below the fill; a step down
//   that lasts five seconds is where the delay now stands. A real stall,
//   one that leaves even the lowest delay of a window well above the level,
//   is trimmed at once, and so is a run that settles far above its fill.
//   One that stands a period above the level for two seconds, its lowest
//   well above the fill, is trimmed as a step is.
class SidetoneDelayControl {
 public:
  // The ratio correction and the frames to trim after one look: a surplus
  // the look found, and frames deferred from before: fill given back, or a
  // surplus the queue could not give yet. Either goes once the queue holds
  // it all, in one cut, the device kept that much lower meanwhile.
  struct Steering {
    double correction = 0.0;
    size_t surplus = 0;
    size_t deferred = 0;
  };

  static constexpr double kMaxCorrection = SidetoneResampler::kMaxCorrection;

  // Playback runs dry, fading out, when it has nothing left beyond the
  // `hand` frames it keeps and the device holds less than `dry_line`.
  SidetoneDelayControl(uint32_t render_rate, uint32_t period_frames, size_t dry_line,
                       size_t hand = 0);

  size_t fill() const { return static_cast<size_t>(fill_level); }
  // Where the median delay is held: the fill and where the run settled
  // above it.
  size_t target() const { return static_cast<size_t>(fill_level + settled_offset); }
  size_t period() const { return period_frames; }
  size_t dry_line() const { return dry_line_frames; }
  double correction() const { return correction_now; }

  // Playback starts (over): the level it settles at is learned afresh; the
  // drift learned so far is kept.
  void Restart();
  // `frames` were trimmed: a new window starts and the level the run
  // settles at is learned afresh, the drift learned kept. Nothing is
  // deferred any more.
  void Trimmed(size_t frames);
  // One look at the delay while playing, with the frames written at the
  // look before.
  Steering Look(size_t delay, size_t written);
  // Playback ran dry at `now_seconds`, and resumed: a period more from now
  // on where the gap was short and the run has settled.
  void RanDry(double now_seconds);
  void Resumed(double now_seconds);

 private:
  // The level is the median of the last 5 windows (2.5 s). A run learns
  // where it settled from its first 4 windows and is steered once it has 6;
  // a step up is trimmed after 4 windows, one down accepted after 10.
  static constexpr size_t kRecentWindows = 5;
  static constexpr size_t kSteerWindows = 6;
  static constexpr size_t kSettleWindows = 4;
  static constexpr size_t kStepWindows = 4;
  static constexpr size_t kLastingStepWindows = 10;
  // The drift is learned over the last 40 windows (20 s) of the run's level,
  // from its slope over each 4 windows (2 s) of them, once there are 12 such
  // slopes. Each window's correction is held against the level two windows
  // later, where the median of five shows it.
  static constexpr size_t kDriftWindows = 64;
  static constexpr size_t kLongestDriftSpan = 40;
  static constexpr size_t kSlopeWindows = 4;
  static constexpr size_t kFewestSlopes = 12;
  static constexpr size_t kLevelLagWindows = 2;

  // The median delay of the current window's looks, and of the last
  // windows' medians, in frames.
  double WindowMedian();
  double RecentLevel() const;
  // The loop's update once a window has closed.
  void Steer(double level);
  // The drift the span's unbent levels show: the median of their slopes,
  // which a jump moves only for the few slopes that straddle it. None until
  // the span has enough of them.
  std::optional<double> DriftShown();
  // Notes a step of the device in the window just closed, and what the
  // window steers or trims.
  void NoteStep(double window_level, double window_mean);
  // Notes a window that stood far above where the level is held, and trims
  // once such windows stay.
  void NoteStandingHigh(double window_mean, Steering& steering);
  void CloseWindow(Steering& steering);
  void StartWindow();
  void StartWindows();

  double render_rate;
  size_t dry_line_frames;
  size_t period_frames;
  double base_fill;
  double highest_fill;
  double fill_level;
  // Frames played in the whole run, and how many before running dry counts.
  size_t played_frames = 0;
  size_t settle_frames;
  // Frames played since playback started over, fill was last given back or
  // a window leaned on the fill; how many give a period back; the surplus
  // asked at the last look; the frames waiting to be trimmed once queued.
  size_t clean_frames = 0;
  size_t give_back_after;
  // A window leans on the raise when its lowest delay falls below this: a
  // period lower, it would have stood where playback can run dry.
  size_t lean_line;
  size_t asked_surplus = 0;
  size_t deferred = 0;
  bool dry = false;
  double dry_since = 0.0;
  // The current window: its lowest delay, the sum and count of its looks,
  // and the frames played in it.
  size_t lowest = std::numeric_limits<size_t>::max();
  double window_sum = 0.0;
  size_t window_looks = 0;
  size_t window_written = 0;
  double window_correction_sum = 0.0;
  // The looks of the current window; beyond this many the rest are not kept.
  std::array<size_t, 1024> window_delays{};
  size_t window_frames;
  double window_seconds;
  size_t stall_tolerance;
  // A step: how far from where the level is held a window must stand (half
  // a period and the dead band), the windows in a row that stood above, and
  // the lowest of them after the first.
  double step_tolerance;
  enum class Step { kNone, kUp, kDown };
  Step step = Step::kNone;
  double last_window_level = 0.0;
  double last_window_mean = 0.0;
  double level_before_step = 0.0;
  size_t step_windows = 0;
  double lowest_step_level = 0.0;
  double lowest_step_mean = 0.0;
  double lowest_step_floor = 0.0;
  // Steered windows in a row that stood far above the level and the fill,
  // and the least they stood above both.
  size_t high_windows = 0;
  double least_high = 0.0;
  // The levels of the last windows since playback started over.
  std::array<double, kRecentWindows> recent_levels{};
  size_t recent_count = 0;
  // How far above the fill the run settled, up to `offset_limit`; learned
  // from its first windows.
  double settled_offset = 0.0;
  bool settled = false;
  double offset_limit;
  // The windows of the current drift span: the mean correction each played
  // at; the seconds of delay the correction had taken away by the window the
  // level now shows; and, where it was steered, the level's error with those
  // seconds put back: the level unbent.
  std::array<double, kDriftWindows> span_corrections{};
  double span_played = 0.0;
  std::array<std::optional<double>, kDriftWindows> span_levels{};
  size_t span_windows = 0;
  std::array<double, kLongestDriftSpan> span_slopes{};
  // The loop: the drift learned, what it asks for and the correction
  // applied, which moves towards it a little at each look.
  double drift = 0.0;
  double wanted = 0.0;
  double correction_now = 0.0;
  // Whether the loop steers (enough windows since playback started over),
  // and whether it last found the level below where it is held: a clock
  // the loop is still catching up with needs the fill it has.
  bool steering_now = false;
  bool below_level = false;
};

#endif  // VELMO_AUDIO_SIDETONE_DELAY_CONTROL_H_
