#include "audio/sidetone_stream.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "testing/sidetone/scripted_session.h"

namespace {

using scripted_session::Script;

constexpr uint16_t kFloatTag = 3;
constexpr double kPi = 3.14159265358979323846;

// 44.1 kHz mono packets of 10 ms on the capture clock, `drift_ppm` fast,
// each handed over up to `jitter_ms` late; a 48 kHz device that takes a
// 10 ms period every 10 ms of its own clock. Every `stall_every_s` seconds
// capture holds back `stall_ms` of packets and then hands them over at once;
// at 5 s the device may play nothing for `freeze_ms` while the loop goes on.
// Every `lag_every_s` seconds the device skips a period and makes up for it
// a second later, as Wine's does now and then.
struct ClockCase {
  int seconds;
  double drift_ppm;
  int jitter_ms;
  int stall_every_s;
  int stall_ms;
  int freeze_ms;
  int lag_every_s;
  uint32_t underruns;
  uint32_t trims;
  uint32_t settled_fill_ms;
};

class SidetoneClockTest : public ::testing::TestWithParam<ClockCase> {};

TEST_P(SidetoneClockTest, DelayHoldsAtTheFillWithoutSplicesOrGaps) {
  const ClockCase c = GetParam();
  auto script = std::make_shared<Script>();
  script->capture_format = {kFloatTag, 1, 44100, 4, 32};
  script->render_format = {kFloatTag, 1, 48000, 4, 32};
  script->render_buffer_frames = 4800;
  script->writes_add_pending = true;
  auto session = scripted_session::MakeSession(script);
  SidetoneStream stream(*session, script->capture_format, script->render_format, 4800, 480);
  const std::atomic<float> volume(1.0f);

  // A 200 Hz sine: any splice, or a stop on a live sample, is a step far
  // beyond its own slope; fades and crossfades stay within twice of it.
  const double hz = 200.0;
  const float largest_step = static_cast<float>(2.0 * 0.5 * 2.0 * kPi * hz / 48000.0);
  float last = 0.0f;
  uint64_t packet = 0;
  uint32_t random = 12345;
  double next_due = 0.0;
  int device_starved = 0;
  double lowest_ms = 1e9;
  // The lowest delay of each 500 ms, over the last 10 s.
  std::vector<double> window_lowest;
  const double capture_period = 0.010 / (1.0 + c.drift_ppm * 1e-6);
  const int ticks = c.seconds * 2000;  // half milliseconds
  for (int tick = 1; tick <= ticks; ++tick) {
    const double now = tick / 2000.0;
    bool woken = false;
    const bool frozen = c.freeze_ms != 0 && now > 5.0 && now <= 5.0 + c.freeze_ms / 1000.0;
    const int lag_tick = c.lag_every_s == 0 ? -1 : tick % (c.lag_every_s * 2000);
    if (tick % 20 == 0 && !frozen && !(now > 1.0 && lag_tick == 0)) {
      const uint32_t take = now > 1.0 && lag_tick == 2000 ? 960 : 480;
      std::lock_guard<std::mutex> guard(script->lock);
      device_starved += script->pending < take && stream.playing();
      script->pending -= std::min(script->pending, take);
      woken = true;
    }
    // Without drift, jitter or stalls, what is heard never moves: the ratio
    // stays exact.
    if (c.drift_ppm == 0.0 && c.jitter_ms == 0 && c.stall_ms == 0 && c.freeze_ms == 0 &&
        c.seconds < 30) {
      ASSERT_EQ(stream.correction(), 0.0) << "at " << now << " s";
    }
    while (true) {
      const double made = (packet + 1) * capture_period;
      const double phase = std::fmod(made, c.stall_every_s == 0 ? 1e9 : c.stall_every_s);
      double due = made;
      if (c.stall_every_s != 0 && made > 1.0 && phase < c.stall_ms / 1000.0) {
        due = made - phase + c.stall_ms / 1000.0;
      }
      if (next_due == 0.0) {
        random = random * 1103515245u + 12345u;
        next_due = due + (c.jitter_ms == 0 ? 0.0 : (random >> 16) % (c.jitter_ms * 10) / 10000.0);
      }
      if (next_due > now) {
        break;
      }
      std::vector<float> samples(441);
      for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] =
            static_cast<float>(0.5 * std::sin(2.0 * kPi * hz * (packet * 441 + i) / 44100.0));
      }
      std::lock_guard<std::mutex> guard(script->lock);
      script->packets.push_back(scripted_session::FloatPacket(samples, 1));
      ++packet;
      next_due = 0.0;
      woken = true;
    }
    if (woken) {
      stream.CaptureStep(volume);
      stream.RenderStep(now);
      std::vector<float> out(script->rendered.size() / sizeof(float));
      if (!out.empty()) {
        std::memcpy(out.data(), script->rendered.data(), out.size() * sizeof(float));
      }
      script->rendered.clear();
      for (const float x : out) {
        ASSERT_LT(std::abs(x - last), largest_step) << "at " << now << " s";
        last = x;
      }
    }
    // The target is where the delay's lowest point of each 500 ms is held.
    if (stream.playing()) {
      lowest_ms =
          std::min(lowest_ms, (script->pending + stream.queue().size() * 48000.0 / 44100.0) / 48.0);
    }
    if (tick % 1000 == 0 && now > 1.0 && lowest_ms < 1e9) {
      window_lowest.push_back(lowest_ms);
    }
    if (tick % 1000 == 0) {
      lowest_ms = 1e9;
    }
    if (tick % 20000 == 0 && !window_lowest.empty()) {
      if (c.stall_ms == 0 && c.freeze_ms == 0) {
        // The median: as the two clocks slide past each other, a packet
        // now and then lands a period late or early for a window or two.
        std::nth_element(window_lowest.begin(), window_lowest.begin() + window_lowest.size() / 2,
                         window_lowest.end());
        EXPECT_NEAR(window_lowest[window_lowest.size() / 2], stream.target_frames() / 48.0, 5.0)
            << "at " << now;
      }
      window_lowest.clear();
    }
  }
  const SidetoneStatistics& stats = stream.statistics();
  EXPECT_EQ(stats.underruns, c.underruns);
  EXPECT_EQ(device_starved, 0) << "every time it ran dry it faded out first";
  EXPECT_EQ(stats.trims, c.trims);
  EXPECT_EQ(stats.fill_ms, c.settled_fill_ms);
}

INSTANTIATE_TEST_SUITE_P(Clocks, SidetoneClockTest,
                         ::testing::Values(
                             // Ten minutes of drift both ways with 8 ms of packet jitter: steered,
                             // never trimmed, and the fill comes down from 25 ms only as far as
                             // the dips that jitter makes leave room.
                             ClockCase{600, 1000.0, 8, 0, 0, 0, 0, 0, 0, 16},
                             ClockCase{600, -1000.0, 8, 0, 0, 0, 0, 0, 0, 25},
                             ClockCase{310, 0.0, 0, 0, 0, 0, 0, 0, 0, 16},
                             // A device that lags a period for a second now and then is not
                             // steered against.
                             ClockCase{20, 0.0, 0, 0, 0, 0, 3, 0, 0, 25},
                             // Capture holding back 60 ms runs dry, fading out; the fill rises a
                             // period each time until it rides the stall out. Packets of a burst
                             // that come after playback started over are trimmed.
                             ClockCase{20, 0.0, 0, 10, 60, 0, 0, 1, 0, 35},
                             ClockCase{20, 0.0, 2, 3, 60, 0, 0, 5, 4, 75},
                             // Gaps of 90 ms raise it up to its 100 ms ceiling; one of 150 ms is
                             // longer than any fill would bridge and leaves it where it was.
                             ClockCase{40, 0.0, 0, 2, 90, 0, 0, 8, 0, 100},
                             ClockCase{20, 0.0, 0, 10, 150, 0, 0, 1, 0, 25},
                             // A device frozen for 60 ms leaves a surplus that only a trim
                             // removes; 10 ms more stays within what steering may take back.
                             ClockCase{20, 300.0, 0, 0, 0, 60, 0, 0, 1, 25},
                             ClockCase{20, 300.0, 0, 0, 0, 10, 0, 0, 0, 25}));

// Steady windows of 500 ms, each `count` windows at `above` frames over the
// fill; a count of 0 restarts the run. What the last window steered.
struct SteeringRow {
  std::vector<std::pair<int, size_t>> windows;
  int correction_sign;
  size_t surplus;
};

TEST(SidetoneDelayControlTest, SteeringAndTrimsFollowTheRunsOwnWindows) {
  const SteeringRow rows[] = {
      {{{3, 480}}, 0, 0},                    // nothing steers before four windows
      {{{4, 480}}, 1, 0},                    // then a run 10 ms high is bent down
      {{{4, 480}, {0, 0}, {3, 480}}, 0, 0},  // windows before a restart have no vote
      {{{1, 96}, {4, 168}}, 0, 0},           // held where the first window settled
      {{{4, 240}}, 1, 0},                    // but no more than 2 ms above the fill
      {{{1, 0}, {4, 168}}, 1, 0},            // the first window counts, not the second
      {{{1, 0}, {1, 720}}, 0, 0},            // 15 ms above the aim is not a stall
      {{{1, 0}, {1, 744}}, 0, 744},          // beyond it, the surplus is trimmed
  };
  for (size_t row = 0; row < std::size(rows); ++row) {
    SidetoneDelayControl control(48000, 480, 624);
    control.Restart();
    SidetoneDelayControl::Steering steering;
    for (const auto& [count, above] : rows[row].windows) {
      if (count == 0) {
        control.Restart();
      }
      for (int look = 0; look < 50 * count; ++look) {
        steering = control.Look(control.fill() + above, 480);
      }
    }
    EXPECT_EQ((steering.correction > 0) - (steering.correction < 0), rows[row].correction_sign)
        << row;
    EXPECT_EQ(steering.surplus, rows[row].surplus) << row;
  }
}

// The fill comes down 1 ms after 30 s that kept 5 ms and a step clear of
// running dry (624 frames), and rises a period after a gap of up to 100 ms
// once half a second has played.
TEST(SidetoneDelayControlTest, TheFillFollowsCleanStretchesAndCurableGaps) {
  struct Row {
    size_t lowest;  // 0: at the fill
    size_t played;
    double gap_seconds;
    int change;
  };
  const Row rows[] = {{912, 1440000, -1, -48},
                      {911, 1440000, -1, 0},
                      {0, 24000, 0.1, 480},
                      {0, 23520, 0.1, 0},
                      {0, 24000, 0.125, 0}};
  for (const Row& row : rows) {
    SidetoneDelayControl control(48000, 480, 624);
    const size_t fill = control.fill();
    control.Restart();
    control.Look(row.lowest != 0 ? row.lowest : fill, row.played - 480);
    control.Look(fill, 480);
    if (row.gap_seconds >= 0) {
      control.RanDry(0.0);
      control.Resumed(row.gap_seconds);
    }
    EXPECT_EQ(static_cast<long>(control.fill()) - static_cast<long>(fill), row.change)
        << row.played << " " << row.gap_seconds;
  }
}

}  // namespace
