#include "audio/sidetone_delay_control.h"

#include <algorithm>

#include "audio/sidetone_resampler.h"

namespace {

constexpr uint32_t kMillisecondsPerSecond = 1000;
// Where a run starts: the next period is already covered when the device
// asks for it, one more is in hand for a late packet, and the headroom the
// fill keeps once it has come down.
constexpr size_t kStartFillPeriods = 2;
// The fill never goes below a period and a few milliseconds (what the
// stream keeps in hand to fade out, and some room); nor above 100 ms.
constexpr uint32_t kLowestFillExtraMs = 5;
constexpr uint32_t kHighestFillMs = 100;
// While playback stays clean the fill comes down 1 ms every 30 s, as long as
// the lowest delay of those 30 s kept this much clear of running dry: the
// jitter of this machine's packets sets how low it goes.
constexpr uint32_t kFillDecreaseMs = 1;
constexpr uint32_t kCleanSecondsPerDecrease = 30;
constexpr uint32_t kHeadroomMs = 5;
// A microphone that has just started may deliver its first packets unevenly:
// running dry in the first half second of a run starts over at the same
// fill. So does input that stopped for longer than any fill would bridge.
constexpr uint32_t kSettleDivisor = 2;
constexpr double kCurableGapSeconds = 0.1;
// Within 2 ms of the target the ratio stays exact: the lowest delay wanders
// about that much from window to window, and every bend of the ratio is a
// pitch change that shifts the phase for good. Beyond, 1500 ppm per
// millisecond, so a 1000 ppm drift settles under 3 ms off, and the limit is
// reached 5 ms off.
constexpr double kDeadBandMs = 2.0;
constexpr double kCorrectionPerMs = 0.0015;
// A run's first window may settle up to 2 ms above the fill and is held
// there rather than bent down.
constexpr uint32_t kSettledOffsetLimitMs = 2;
// Windows of 500 ms of playback, long enough that their lowest delay has
// seen the late packets; a stall must leave it 15 ms above the fill: jitter
// and drift never come near that.
constexpr uint32_t kWindowDivisor = 2;
constexpr uint32_t kStallToleranceMs = 15;

size_t Frames(uint32_t rate, uint32_t ms) {
  return static_cast<size_t>(rate) * ms / kMillisecondsPerSecond;
}

}  // namespace

SidetoneDelayControl::SidetoneDelayControl(uint32_t render_rate, uint32_t period_frames,
                                           size_t dry_line)
    : render_rate(render_rate),
      dry_line_frames(dry_line),
      headroom(Frames(render_rate, kHeadroomMs)),
      period_frames(std::max<size_t>(period_frames, 1)),
      lowest_fill(this->period_frames + Frames(render_rate, kLowestFillExtraMs)),
      highest_fill(std::max(Frames(render_rate, kHighestFillMs), lowest_fill)),
      fill_frames(std::clamp(kStartFillPeriods * this->period_frames + headroom, lowest_fill,
                             highest_fill)),
      step_frames(std::max<size_t>(Frames(render_rate, kFillDecreaseMs), 1)),
      clean_limit(static_cast<size_t>(render_rate) * kCleanSecondsPerDecrease),
      settle_frames(render_rate / kSettleDivisor),
      window_frames(render_rate / kWindowDivisor),
      stall_tolerance(Frames(render_rate, kStallToleranceMs)),
      offset_limit(Frames(render_rate, kSettledOffsetLimitMs)) {}

void SidetoneDelayControl::Restart() {
  lowest = std::numeric_limits<size_t>::max();
  recent_count = 0;
  window_written = 0;
  correction = 0.0;
  settled_offset = 0;
}

SidetoneDelayControl::Steering SidetoneDelayControl::Look(size_t delay, size_t written) {
  played_frames += written;
  clean_frames += written;
  clean_lowest = std::min(clean_lowest, delay);
  if (clean_frames >= clean_limit) {
    if (clean_lowest >= dry_line_frames + headroom + step_frames) {
      fill_frames = std::max(fill_frames - std::min(fill_frames, step_frames), lowest_fill);
    }
    clean_frames = 0;
    clean_lowest = std::numeric_limits<size_t>::max();
  }
  lowest = std::min(lowest, delay);
  window_written += written;
  Steering steering;
  if (window_written >= window_frames) {
    if (recent_count == 0) {
      settled_offset = std::min(lowest - std::min(lowest, fill_frames), offset_limit);
    }
    // Now and then the delay stands a period higher or lower for a second
    // or so and comes back by itself (under Wine, about every five seconds)
    // while what is heard does not move. Only what the last two seconds
    // agree on steers: the aim, unless every window stood above it (then
    // the lowest of them) or below it (then the highest). So nothing steers
    // in a run's first two seconds, while a start a period off is as likely
    // as later.
    recent_lowest[recent_count % kRecentWindows] = lowest;
    ++recent_count;
    const size_t aim = target();
    size_t steered = aim;
    if (recent_count >= kRecentWindows) {
      const auto recent = std::minmax_element(recent_lowest.begin(), recent_lowest.end());
      steered = std::clamp(aim, *recent.first, *recent.second);
    }
    const double off_ms = (static_cast<double>(steered) - static_cast<double>(aim)) *
                          kMillisecondsPerSecond / static_cast<double>(render_rate);
    const double beyond = off_ms > kDeadBandMs    ? off_ms - kDeadBandMs
                          : off_ms < -kDeadBandMs ? off_ms + kDeadBandMs
                                                  : 0.0;
    correction = std::clamp(beyond * kCorrectionPerMs, -SidetoneResampler::kMaxCorrection,
                            SidetoneResampler::kMaxCorrection);
    // A stall leaves far more than a period: its surplus goes at once.
    steering.surplus = lowest > aim + stall_tolerance ? lowest - aim : 0;
    lowest = std::numeric_limits<size_t>::max();
    window_written = 0;
  }
  steering.correction = correction;
  return steering;
}

void SidetoneDelayControl::RanDry(double now_seconds) {
  dry_since = now_seconds;
  dry = true;
  clean_frames = 0;
  clean_lowest = std::numeric_limits<size_t>::max();
}

void SidetoneDelayControl::Resumed(double now_seconds) {
  if (dry && played_frames >= settle_frames && now_seconds - dry_since <= kCurableGapSeconds) {
    fill_frames = std::min(fill_frames + period_frames, highest_fill);
  }
  dry = false;
}
