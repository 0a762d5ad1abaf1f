#ifndef VELMO_AUDIO_SIDETONE_DELAY_CONTROL_H_
#define VELMO_AUDIO_SIDETONE_DELAY_CONTROL_H_

#include <cstddef>
#include <cstdint>
#include <limits>

// How far behind the microphone the monitor plays, and how it keeps there.
// The delay is what the monitor holds: the render device's queued frames
// plus the queued input, in render frames.
//
// - The fill (the delay aimed at) starts low, rises a period after each
//   time playback ran dry and falls back slowly while it plays clean.
// - Clock drift and packet jitter are absorbed by bending the resampling
//   ratio a little, steered by the smoothed delay: nothing is dropped.
// - Only a real stall, one that leaves even the lowest delay of a whole
//   window well above the fill, has its surplus trimmed.
class SidetoneDelayControl {
 public:
  SidetoneDelayControl(uint32_t render_rate, uint32_t period_frames);

  size_t fill() const { return fill_frames; }
  size_t period() const { return period_frames; }

  // Playback starts (over) at the fill: the smoothing starts from there.
  void Restart();
  // One look at the delay while playing; returns the ratio correction that
  // steers it back to the fill.
  double Steer(size_t delay);
  // The frames just played from the queue, and the delay before them;
  // returns the surplus to trim at the end of a window, else 0.
  size_t Surplus(size_t delay, size_t written);
  // Playback ran dry: a period more from now on.
  void RanDry();

 private:
  uint32_t render_rate;
  size_t period_frames;
  size_t lowest_fill;
  size_t highest_fill;
  size_t fill_frames;
  size_t step_frames;
  double smoothed = 0.0;
  // Frames played since the fill last changed.
  size_t clean_frames = 0;
  size_t clean_limit;
  // The lowest delay since then, and what it must keep above a period.
  size_t clean_lowest = std::numeric_limits<size_t>::max();
  size_t headroom;
  // The lowest delay of the current window and the frames played in it.
  size_t lowest = std::numeric_limits<size_t>::max();
  size_t window_written = 0;
  size_t window_frames;
  size_t stall_tolerance;
};

#endif  // VELMO_AUDIO_SIDETONE_DELAY_CONTROL_H_
