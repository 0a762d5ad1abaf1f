#include "audio/sidetone_delay_control.h"

#include <algorithm>

#include "audio/sidetone_resampler.h"

namespace {

constexpr uint32_t kMillisecondsPerSecond = 1000;
// Two periods: one being played while the next is written. Below that a
// late wake-up is already a gap.
constexpr size_t kLowestFillPeriods = 2;
// Where a fresh monitor starts: clean on an idle machine, with a period in
// hand for a late capture packet.
constexpr size_t kStartFillPeriods = 3;
constexpr uint32_t kHighestFillMs = 100;
// While playback stays clean the fill comes down 1 ms every 30 s, as long as
// the lowest delay of those 30 s kept this much above a period: the jitter
// this machine shows sets how low it goes.
constexpr uint32_t kFillDecreaseMs = 1;
constexpr uint32_t kCleanSecondsPerDecrease = 30;
constexpr uint32_t kHeadroomMs = 5;
// The smoothing weight of one look (looks come twice a period, so the delay
// is averaged over about half a second, across the saw-tooth of packets).
constexpr double kSmoothing = 1.0 / 64.0;
// Ratio correction per frame of smoothed surplus: 1000 ppm per millisecond,
// so a 1000 ppm drift settles about 1 ms off the fill, and the limit is
// reached 5 ms off.
constexpr double kCorrectionPerMs = 0.001;
// Windows of 200 ms of playback, and a stall must leave their lowest delay
// 15 ms above the fill: jitter and drift never come near that.
constexpr uint32_t kWindowDivisor = 5;
constexpr uint32_t kStallToleranceMs = 15;

size_t Frames(uint32_t rate, uint32_t ms) {
  return static_cast<size_t>(rate) * ms / kMillisecondsPerSecond;
}

}  // namespace

SidetoneDelayControl::SidetoneDelayControl(uint32_t render_rate, uint32_t period_frames)
    : render_rate(render_rate),
      period_frames(std::max<size_t>(period_frames, 1)),
      lowest_fill(kLowestFillPeriods * this->period_frames),
      highest_fill(std::max(Frames(render_rate, kHighestFillMs), lowest_fill)),
      fill_frames(std::min(kStartFillPeriods * this->period_frames, highest_fill)),
      step_frames(std::max<size_t>(Frames(render_rate, kFillDecreaseMs), 1)),
      clean_limit(static_cast<size_t>(render_rate) * kCleanSecondsPerDecrease),
      headroom(Frames(render_rate, kHeadroomMs)),
      window_frames(render_rate / kWindowDivisor),
      stall_tolerance(Frames(render_rate, kStallToleranceMs)) {
  Restart();
}

void SidetoneDelayControl::Restart() {
  smoothed = static_cast<double>(fill_frames);
  lowest = std::numeric_limits<size_t>::max();
  window_written = 0;
}

double SidetoneDelayControl::Steer(size_t delay) {
  smoothed += (static_cast<double>(delay) - smoothed) * kSmoothing;
  const double surplus_ms = (smoothed - static_cast<double>(fill_frames)) * kMillisecondsPerSecond /
                            static_cast<double>(render_rate);
  return std::clamp(surplus_ms * kCorrectionPerMs, -SidetoneResampler::kMaxCorrection,
                    SidetoneResampler::kMaxCorrection);
}

size_t SidetoneDelayControl::Surplus(size_t delay, size_t written) {
  clean_frames += written;
  clean_lowest = std::min(clean_lowest, delay);
  if (clean_frames >= clean_limit) {
    if (clean_lowest >= period_frames + headroom + step_frames) {
      fill_frames = std::max(fill_frames - std::min(fill_frames, step_frames), lowest_fill);
    }
    clean_frames = 0;
    clean_lowest = std::numeric_limits<size_t>::max();
  }
  lowest = std::min(lowest, delay);
  window_written += written;
  if (window_written < window_frames) {
    return 0;
  }
  const size_t window_lowest = lowest;
  lowest = std::numeric_limits<size_t>::max();
  window_written = 0;
  return window_lowest > fill_frames + stall_tolerance ? window_lowest - fill_frames : 0;
}

void SidetoneDelayControl::RanDry() {
  fill_frames = std::min(fill_frames + period_frames, highest_fill);
  clean_frames = 0;
  clean_lowest = std::numeric_limits<size_t>::max();
}
