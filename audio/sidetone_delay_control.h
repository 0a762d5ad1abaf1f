#ifndef VELMO_AUDIO_SIDETONE_DELAY_CONTROL_H_
#define VELMO_AUDIO_SIDETONE_DELAY_CONTROL_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>

// How far behind the microphone the monitor plays, and how it keeps there.
// The delay is what the monitor holds: the render device's queued frames
// plus the queued input, in render frames. It rises with every capture
// packet and falls as the device plays, so what matters is its lowest point
// over a window of 500 ms: it is held where the run settled in its first
// window, at the fill or up to a few milliseconds above it.
//
// - The fill starts at two periods, rises a period after each short gap in
//   which playback ran dry and comes down slowly while it plays clean. How
//   far the delay swings above it is up to the capture side: packets that
//   come in bursts play later, not with gaps.
// - Clock drift is absorbed by bending the resampling ratio a little,
//   steered by the lowest delay of the last window: nothing is dropped. A
//   run is not steered towards the fill from where it starts: every bend
//   shifts the phase of what plays for good, so a run that settles a little
//   above the fill is held there.
// - Only a real stall, one that leaves even the lowest delay of a whole
//   window well above the fill, has its surplus trimmed.
class SidetoneDelayControl {
 public:
  // The ratio correction and the frames to trim after one look.
  struct Steering {
    double correction = 0.0;
    size_t surplus = 0;
  };

  // Playback runs dry, fading out, when the delay falls below `dry_line`.
  SidetoneDelayControl(uint32_t render_rate, uint32_t period_frames, size_t dry_line);

  size_t fill() const { return fill_frames; }
  // Where the lowest delay is held: the fill and where the run settled.
  size_t target() const { return fill_frames + settled_offset; }
  size_t period() const { return period_frames; }
  size_t dry_line() const { return dry_line_frames; }

  // Playback starts (over), or was trimmed: the next window starts afresh.
  void Restart();
  // One look at the delay while playing, with the frames written at the
  // look before.
  Steering Look(size_t delay, size_t written);
  // Playback ran dry at `now_seconds`, and resumed: a period more from now
  // on where the gap was short and the run has settled.
  void RanDry(double now_seconds);
  void Resumed(double now_seconds);

 private:
  uint32_t render_rate;
  size_t dry_line_frames;
  size_t headroom;
  size_t period_frames;
  size_t lowest_fill;
  size_t highest_fill;
  size_t fill_frames;
  size_t step_frames;
  double correction = 0.0;
  // Frames played since the fill last changed.
  size_t clean_frames = 0;
  size_t clean_limit;
  // The lowest delay since then.
  size_t clean_lowest = std::numeric_limits<size_t>::max();
  // Frames played in the whole run, and how many before running dry counts.
  size_t played_frames = 0;
  size_t settle_frames;
  bool dry = false;
  double dry_since = 0.0;
  // The lowest delay of the current window and of the last few since the
  // run started over, and the frames played in the current one.
  static constexpr size_t kRecentWindows = 4;
  size_t lowest = std::numeric_limits<size_t>::max();
  std::array<size_t, kRecentWindows> recent_lowest{};
  size_t recent_count = 0;
  size_t window_written = 0;
  size_t window_frames;
  size_t stall_tolerance;
  // How far above the fill the first window of the run settled, up to
  // `offset_limit`; unknown until that window has been seen.
  size_t settled_offset = 0;
  size_t offset_limit;
};

#endif  // VELMO_AUDIO_SIDETONE_DELAY_CONTROL_H_
