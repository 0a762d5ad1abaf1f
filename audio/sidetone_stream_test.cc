#include "audio/sidetone_stream.h"

#include <algorithm>
#include <cmath>
#include <complex>
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

// The phase of a 200 Hz sine of amplitude 0.5, played at 48 kHz, over each
// 10 ms of the output: each 10 ms that plays it in full must follow the last
// that did, unless playback ran dry in between.
struct ToneWindows {
  std::complex<double> sum;
  size_t index = 0;
  uint32_t underruns = 0;
  bool anchored = false;
  double anchor = 0.0;
  double jump = 0.0;

  bool Add(float x, uint32_t underruns_now) {
    anchored = anchored && underruns_now == underruns;
    underruns = underruns_now;
    sum += static_cast<double>(x) * std::polar(1.0, -2.0 * kPi * 200.0 * index++ / 48000.0);
    if (index % 480 != 0) {
      return true;
    }
    const std::complex<double> window = std::exchange(sum, 0.0);
    if (std::abs(window) < 0.9 * 0.5 * 240.0) {
      return true;
    }
    const double phase = std::arg(window);
    jump = std::remainder(phase - std::exchange(anchor, phase), 2.0 * kPi);
    return !std::exchange(anchored, true) || std::abs(jump) < 0.1;
  }
};

// 44.1 kHz mono packets of 10 ms on the capture clock, `drift_ppm` fast,
// each handed over up to `jitter_ms` late; a 48 kHz device that takes a
// 10 ms period every 10 ms of its own clock. Every `stall_every_s` seconds
// capture holds back `stall_ms` of packets and then hands them over at once;
// at 5 s the device may play nothing for `freeze_ms` while the loop goes on.
// Every `lag_every_s` seconds the device skips a period and makes up for it
// a second later, as Wine's does now and then. Stalls stop after
// `stalls_until_s` (0: they go on).
struct ClockCase {
  int seconds;
  double drift_ppm;
  int jitter_ms;
  int stall_every_s;
  int stall_ms;
  int stalls_until_s;
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
  // And a trim cuts where the sine goes on: from one 10 ms of the output to
  // the next, its phase moves no more than drift moves it.
  ToneWindows phase;
  uint64_t packet = 0;
  uint32_t random = 12345;
  double next_due = 0.0;
  int device_starved = 0;
  double last_correction = 0.0;
  double delay_sum_ms = 0.0;
  int delay_samples = 0;
  // The mean delay of each 500 ms, over the last 10 s.
  std::vector<double> window_means;
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
    if (c.drift_ppm == 0.0 && c.jitter_ms == 0 && c.stall_ms == 0 && c.freeze_ms == 0) {
      ASSERT_EQ(stream.correction(), 0.0) << "at " << now << " s";
    }
    // Bounded to what clocks need, and slewed: no bend is heard.
    ASSERT_LE(std::abs(stream.correction()), 1000e-6);
    ASSERT_LE(std::abs(stream.correction() - last_correction), 5e-6) << "at " << now << " s";
    last_correction = stream.correction();
    while (true) {
      const double made = (packet + 1) * capture_period;
      const double phase = std::fmod(made, c.stall_every_s == 0 ? 1e9 : c.stall_every_s);
      double due = made;
      const bool stalling = c.stalls_until_s == 0 || made < c.stalls_until_s;
      if (c.stall_every_s != 0 && made > 1.0 && stalling && phase < c.stall_ms / 1000.0) {
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
      const bool was_playing = stream.playing();
      stream.CaptureStep(volume);
      stream.RenderStep(now);
      // Playback starts, and starts over after a gap, a period above the
      // fill it will be held at, a raised one too.
      if (!was_playing && stream.playing()) {
        EXPECT_NEAR(script->pending + stream.queue().size() * 48000.0 / 44100.0,
                    static_cast<double>(stream.target_frames() + 480), 2.0)
            << "at " << now << " s";
      }
      std::vector<float> out(script->rendered.size() / sizeof(float));
      if (!out.empty()) {
        std::memcpy(out.data(), script->rendered.data(), out.size() * sizeof(float));
      }
      script->rendered.clear();
      for (const float x : out) {
        ASSERT_LT(std::abs(x - last), largest_step) << "at " << now << " s";
        last = x;
        ASSERT_TRUE(phase.Add(x, stream.statistics().underruns))
            << "phase jumped by " << phase.jump << " at " << now << " s";
      }
    }
    // The target is where the delay's mean over each 500 ms is held.
    if (stream.playing()) {
      delay_sum_ms += (script->pending + stream.queue().size() * 48000.0 / 44100.0) / 48.0;
      ++delay_samples;
    }
    if (tick % 1000 == 0 && now > 1.0 && delay_samples != 0) {
      window_means.push_back(delay_sum_ms / delay_samples);
    }
    if (tick % 1000 == 0) {
      delay_sum_ms = 0.0;
      delay_samples = 0;
    }
    if (tick % 20000 == 0 && !window_means.empty()) {
      // A drift takes up to a minute to be taken up; one right at the limit
      // of the correction is held where the loop caught it, a few
      // milliseconds off.
      const bool at_limit = std::abs(c.drift_ppm) >= 1000.0;
      if (c.stall_ms == 0 && c.freeze_ms == 0 && (now > 60.0 || std::abs(c.drift_ppm) < 400.0)) {
        // The median: as the two clocks slide past each other, a packet
        // now and then lands a period late or early for a window or two.
        std::nth_element(window_means.begin(), window_means.begin() + window_means.size() / 2,
                         window_means.end());
        EXPECT_NEAR(window_means[window_means.size() / 2], stream.target_frames() / 48.0,
                    at_limit ? 10.0 : 3.0)
            << "at " << now;
      }
      window_means.clear();
    }
  }
  const SidetoneStatistics& stats = stream.statistics();
  EXPECT_EQ(stats.underruns, c.underruns);
  EXPECT_EQ(device_starved, 0) << "every time it ran dry it faded out first";
  EXPECT_EQ(stats.trims, c.trims);
  EXPECT_EQ(stats.fill_ms, c.settled_fill_ms);
}

INSTANTIATE_TEST_SUITE_P(
    Clocks, SidetoneClockTest,
    ::testing::Values(
        // Ten minutes of drift both ways with 8 ms of packet jitter: taken up by the ratio alone,
        // never trimmed. At 1000 ppm, the correction's limit, the level is held where the loop
        // caught it; catching a slow capture clock costs one gap at the start.
        ClockCase{600, 1000.0, 8, 0, 0, 0, 0, 0, 0, 0, 25},
        ClockCase{600, -1000.0, 8, 0, 0, 0, 0, 0, 1, 0, 35},
        ClockCase{300, 500.0, 8, 0, 0, 0, 0, 0, 0, 0, 25},
        ClockCase{300, -500.0, 8, 0, 0, 0, 0, 0, 0, 0, 25},
        // Two clocks that agree play at the exact ratio throughout.
        ClockCase{310, 0.0, 0, 0, 0, 0, 0, 0, 0, 0, 25},
        // A device that lags a period for a second now and then is not steered against.
        ClockCase{20, 0.0, 0, 0, 0, 0, 0, 3, 0, 0, 25},
        // Capture holding back 60 ms runs dry, fading out; the fill rises a period, given back by
        // a trim once playback has run clean. Stalls of 40 ms raise it until it rides them out;
        // packets of a burst that come after playback started over are trimmed.
        ClockCase{20, 0.0, 0, 10, 60, 0, 0, 0, 1, 1, 25},
        ClockCase{20, 0.0, 2, 3, 40, 0, 0, 0, 2, 1, 45},
        // Gaps of 90 ms raise it up to its 60 ms ceiling; one of 150 ms is longer than any fill
        // would bridge and leaves it where it was.
        ClockCase{40, 0.0, 0, 2, 90, 0, 0, 0, 19, 0, 60},
        ClockCase{20, 0.0, 0, 10, 150, 0, 0, 0, 1, 0, 25},
        // Once the gaps stop, the fill they raised is back where it started within 20 s, a period
        // at a time; a trim whose cut left half a period of it is followed by one more.
        ClockCase{40, 0.0, 0, 2, 60, 12, 0, 0, 3, 5, 25},
        // A device frozen for 60 ms leaves a surplus trimmed at once; one frozen for 10 ms steps
        // the delay up a period, trimmed once it stays, never bent away.
        ClockCase{20, 300.0, 0, 0, 0, 0, 60, 0, 0, 1, 25},
        ClockCase{20, 300.0, 0, 0, 0, 0, 10, 0, 0, 1, 25}));

// Windows of 500 ms, each `count` windows at `above` frames over the fill,
// the first 24 of their 50 looks `below` frames lower; a count of 0 restarts
// the run. What the last window steered.
struct SteeringWindows {
  int count;
  long above;
  long below = 0;
};

struct SteeringRow {
  std::vector<SteeringWindows> windows;
  int correction_sign;
  size_t surplus;
  // Whether what a look asks to trim is trimmed, as the stream does.
  bool trimmed = false;
};

TEST(SidetoneDelayControlTest, SteeringFollowsTheMedianLevelAndTrimsOnlyStalls) {
  const SteeringRow rows[] = {
      {{{4, 0}, {1, 100}}, 0, 0},                      // nothing steers before six windows
      {{{4, 0}, {1, 100}, {1, 200}, {6, 300}}, 1, 0},  // then a level that creeps up is bent down
      {{{4, 240}, {8, 0}}, -1, 0},                     // and one 5 ms low is bent up
      {{{4, 0}, {8, 48}}, 0, 0},                       // within 1 ms of its level it is not
      {{{4, 0}, {8, 72}}, 1, 0},                       // beyond, it is
      {{{4, 0}, {1, 480}, {1, 0}, {1, 480}, {5, 0}}, 0, 0},  // a lag now and then bends nothing
      {{{4, 0}, {3, 480}}, 0, 0},                            // a step up is not steered against
      {{{4, 0}, {4, 480}}, 0, 480},                          // and once it stays, it is trimmed
      {{{4, 0}, {2, -100}, {4, 288}}, 0, 0},   // unless it leaves no more than 6 ms to trim
      {{{4, 0}, {4, 300, 500}}, 1, 0},         // a median that jumps alone is no step
      {{{4, 0}, {3, 300, 500}}, 1, 0},         // and its windows count
      {{{4, 0}, {3, -300, -500}}, -1, 0},      // as do those of one that drops alone
      {{{4, 0}, {1, 480}, {3, 250}}, 1, 0},    // a step that comes back ends there
      {{{4, 0}, {1, 300}, {4, 600}}, 0, 600},  // a step on a step is trimmed by both
      {{{4, 0}, {1, 800, -200}, {1, 600, -200}, {2, 700, -200}}, 0, 600},  // by its lowest median
      {{{4, 200}, {1, 800, 300}, {3, 900, 300}}, 0, 556},                  // or its lowest mean
      {{{4, 0}, {1, 600, -200}, {3, 700, -200}}, 0, 700},  // after its first, partly before it
      {{{4, 0}, {1, 600, 200}, {3, 700, 200}}, 0, 500},    // or its lowest above the fill
      {{{4, 0}, {4, 600, 400}}, 0, 0},                     // none if its lowest stays near it
      {{{4, 0}, {9, -480}}, 0, 0},                         // nor is a step down, for a while
      {{{4, 0}, {12, -480}}, -1, 0},                       // one that lasts is the new level
      {{{4, 0}, {12, -480}, {4, 0}}, -1, 0},               // and the way back up is no step to trim
      {{{4, 720}, {8, 720}}, 0, 0},                        // held where it settled, 15 ms up
      {{{2, 0}, {2, 200}, {8, 100}}, 0, 0},                // the middle of its first four windows
      {{{4, 960}}, 0, 0},                                  // half a period more is not trimmed
      {{{4, 1000}}, 0, 280},                               // a start far higher is trimmed
      {{{4, 1700, 1500}}, 0, 200},             // by no more than its lowest stood over the fill
      {{{4, 2000, 2000}}, 0, 0},               // not at all where its lowest stood at the fill
      {{{3, 0}, {9, 600}, {1, 700}}, 1, 600},  // so is one that stood far higher since it settled
      {{{3, 0}, {7, 800, 600}}, 1, 0},         // though not while its lowest stays near the fill
      {{{4, 0}, {1, 100}, {1, 200}, {22, 300}, {0, 0}, {5, 0}}, 1, 0},  // drift outlives a restart
      {{{1, 720}}, 0, 0},                        // 15 ms above the fill is not a stall
      {{{1, 744}}, 0, 744},                      // beyond it, the surplus is trimmed
      {{{6, 0}, {1, 744}, {2, 0}}, 0, 0, true},  // and the level it never entered stays
      // where the trim leaves the level, even above where it stood, is where it is held
      {{{6, 0}, {1, 744}, {8, 200}}, 0, 0, true},
  };
  for (size_t row = 0; row < std::size(rows); ++row) {
    SidetoneDelayControl control(48000, 480, 480);
    control.Restart();
    SidetoneDelayControl::Steering steering;
    for (const auto& [count, above, below] : rows[row].windows) {
      if (count == 0) {
        control.Restart();
      }
      for (int look = 0; look < 50 * count; ++look) {
        const long delay = static_cast<long>(control.fill()) + above - (look % 50 < 24 ? below : 0);
        steering = control.Look(static_cast<size_t>(delay), 480);
        if (rows[row].trimmed && steering.surplus != 0) {
          control.Trimmed(steering.surplus);
        }
      }
    }
    EXPECT_EQ((steering.correction > 1e-9) - (steering.correction < -1e-9),
              rows[row].correction_sign)
        << row << ": " << steering.correction;
    EXPECT_EQ(steering.surplus, rows[row].surplus) << row;
  }
}

// `head`, `times` of `pattern`, then `tail`.
std::vector<SteeringWindows> Repeating(std::vector<SteeringWindows> head,
                                       const std::vector<SteeringWindows>& pattern, int times,
                                       const std::vector<SteeringWindows>& tail) {
  for (int time = 0; time < times; ++time) {
    head.insert(head.end(), pattern.begin(), pattern.end());
  }
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

// A closed loop: the delay gains what the capture clock runs ahead, loses
// what the correction plays faster, and stands `above` frames higher while a
// window's looks say so, as Wine's mean does while capture comes in bursts,
// though nothing heard moves. What the loop plays once the level is back.
TEST(SidetoneDelayControlTest, DriftIsLearnedFromHowTheLevelMovesNotWhereItStands) {
  struct Row {
    double drift_ppm;
    std::vector<SteeringWindows> windows;
  };
  const Row rows[] = {
      {0.0, {{4, 0}, {20, 240}, {60, 0}}},     // a level that stood high teaches no drift
      {0.0, {{4, 0}, {20, -240}, {60, 0}}},    // nor one that stood low
      {300.0, {{4, 0}, {80, 0}}},              // a drift is learned
      {-300.0, {{4, 0}, {20, 240}, {60, 0}}},  // also past a level that stood off
      // nor one up 3 ms for 1.5 s in every 4 s: the slopes up and those down each make over a
      // third of the span, and only their middle passes over both
      {0.0, Repeating({{4, 0}}, {{3, 150}, {5, 0}}, 6, {{40, 0}})},
  };
  for (const Row& row : rows) {
    SidetoneDelayControl control(48000, 480, 480);
    control.Restart();
    double moved = 0.0;
    double correction = 0.0;
    for (const auto& [count, above, below] : row.windows) {
      for (int look = 0; look < 50 * count; ++look) {
        moved += 480.0 * (row.drift_ppm * 1e-6 - correction);
        const double delay = static_cast<double>(control.fill()) + above + moved;
        correction = control.Look(static_cast<size_t>(std::max(delay, 0.0)), 480).correction;
      }
    }
    EXPECT_NEAR(correction * 1e6, row.drift_ppm, 30.0) << row.drift_ppm;
    EXPECT_NEAR(moved, 0.0, 72.0) << "the level is back where it is held";
  }
}

// Within the dead band nothing is learned: a level that wanders that little
// never bends the ratio.
TEST(SidetoneDelayControlTest, ALevelCreepingWithinTheDeadBandTeachesNoDrift) {
  SidetoneDelayControl control(48000, 480, 480);
  control.Restart();
  double correction = 0.0;
  // A frame higher each window (40 ppm) for 24 s: 47 frames at the end.
  for (int look = 0; look < 50 * 48; ++look) {
    correction = control.Look(control.fill() + static_cast<size_t>(look / 50), 480).correction;
  }
  EXPECT_EQ(correction, 0.0);
}

TEST(SidetoneDelayControlTest, CorrectionIsBoundedAndMovesAFewPpmPerLook) {
  SidetoneDelayControl control(48000, 480, 480);
  control.Restart();
  double last = 0.0;
  double largest_move = 0.0;
  for (int look = 0; look < 50 * 400; ++look) {
    const size_t above = look < 200 ? 0 : 2400;  // 50 ms high for good
    const double correction = control.Look(control.fill() + above, 480).correction;
    largest_move = std::max(largest_move, std::abs(correction - last));
    last = correction;
  }
  EXPECT_EQ(last, SidetoneDelayControl::kMaxCorrection);
  EXPECT_LE(largest_move, 4.0001e-6);
  // A device that gives no period is taken as one of a frame.
  EXPECT_EQ(SidetoneDelayControl(48000, 0, 0).period(), 1u);
}

// The fill rises a period after a gap of up to 100 ms once half a second has
// played, up to 60 ms. Each 5 s of playback in which no window's lowest
// delay, a period lower, would stand below the dry line gives a period back
// by a trim, down to where it started or to where the dips stop it. A dip is
// one look of each window, the fill less `dip`.
TEST(SidetoneDelayControlTest, TheFillRisesAfterGapsAndComesBackDown) {
  struct Row {
    int gaps;
    double gap_seconds;
    size_t played;
    size_t clean_after;
    size_t dip;
    long change;
  };
  const Row rows[] = {{1, 0.1, 24000, 0, 0, 480},         {1, 0.1, 23520, 0, 0, 0},
                      {1, 0.1251, 24000, 0, 0, 0},        {10, 0.1, 24000, 0, 0, 1680},
                      {1, 0.1, 24000, 239520, 0, 480},    {1, 0.1, 24000, 240000, 0, 0},
                      {10, 0.1, 24000, 240000, 0, 1200},  {10, 0.1, 24000, 960000, 0, 0},
                      {1, 0.1, 24000, 960000, 721, 480},  {1, 0.1, 24000, 960000, 720, 0},
                      {10, 0.1, 24000, 960000, 1200, 720}};
  for (const Row& row : rows) {
    SidetoneDelayControl control(48000, 480, 480);
    const size_t fill = control.fill();
    control.Restart();
    control.Look(fill, row.played);
    for (int gap = 0; gap < row.gaps; ++gap) {
      control.RanDry(0.0);
      // A start whose first write failed is tried again: no second gap.
      control.Resumed(row.gap_seconds);
      control.Resumed(row.gap_seconds);
      control.Restart();
    }
    const long raised = static_cast<long>(control.fill()) - static_cast<long>(fill);
    long given_back = 0;
    for (size_t clean = 0; clean < row.clean_after; clean += 480) {
      const size_t dip = clean % 24000 == 0 ? row.dip : 0;
      const auto steering = control.Look(control.fill() - dip, 480);
      EXPECT_EQ(steering.surplus, 0u);
      if (steering.deferred != 0) {
        given_back += static_cast<long>(steering.deferred);
        control.Trimmed(steering.deferred);
      }
    }
    const long change = static_cast<long>(control.fill()) - static_cast<long>(fill);
    EXPECT_EQ(change, row.change) << row.gaps << " " << row.played << " " << row.gap_seconds << " "
                                  << row.clean_after << " " << row.dip;
    EXPECT_EQ(given_back, raised - change);
  }
}

}  // namespace
