#include "audio/sidetone_run_loop.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "audio/sidetone_stream.h"
#include "testing/sidetone/scripted_session.h"

namespace {

using scripted_session::Script;
using scripted_session::Step;
using Lines = std::vector<std::string>;

constexpr uint16_t kFloatTag = 3;

std::vector<float> RenderedFloats(Script& script) {
  std::lock_guard<std::mutex> guard(script.lock);
  std::vector<float> values(script.rendered.size() / sizeof(float));
  std::memcpy(values.data(), script.rendered.data(), values.size() * sizeof(float));
  return values;
}

// One run of the loop over `script`, with the stop requested from the start
// or not; returns the state it leaves.
int32_t RunOnce(const std::shared_ptr<Script>& script, bool stopped, const wchar_t* input) {
  scripted_session::ClearLog();
  const std::atomic<bool> stop(stopped);
  const std::atomic<float> volume(0.35f);
  std::atomic<int32_t> state(kSidetoneIdle);
  RunSidetoneLoop([script] { return scripted_session::MakeSession(script); }, input, L"", stop,
                  volume, state);
  return state.load();
}

struct SetUpCase {
  Step fail_at;
  const char* word;
  size_t calls_made;  // set-up calls up to and including the failing one
};

class SidetoneSetUpTest : public ::testing::TestWithParam<SetUpCase> {};

TEST_P(SidetoneSetUpTest, FailingStepLogsItsWordAndReleasesEverything) {
  auto script = std::make_shared<Script>();
  script->fail_at = GetParam().fail_at;
  EXPECT_EQ(RunOnce(script, false, L"in"), kSidetoneIdle);
  EXPECT_EQ(scripted_session::LogLines(), Lines{GetParam().word});
  const Lines all = {"com",         "enumerator",   "capture_device", "render_device", "activate",
                     "mix_formats", "capture_init", "render_init",    "services"};
  Lines expected(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(GetParam().calls_made));
  expected.push_back("release");
  EXPECT_EQ(script->Calls(), expected);
  EXPECT_TRUE(script->rendered.empty());
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, SidetoneSetUpTest,
    ::testing::Values(SetUpCase{Step::kInitializeCom, "sidetone_com_init_failed", 1},
                      SetUpCase{Step::kCreateEnumerator, "sidetone_enumerator_failed", 2},
                      SetUpCase{Step::kOpenCapture, "sidetone_capture_device_failed", 3},
                      SetUpCase{Step::kOpenRender, "sidetone_render_device_failed", 4},
                      SetUpCase{Step::kActivateClients, "sidetone_activate_client_failed", 5},
                      SetUpCase{Step::kGetMixFormats, "sidetone_mix_format_failed", 6},
                      SetUpCase{Step::kInitializeCapture, "sidetone_capture_init_failed", 7},
                      SetUpCase{Step::kInitializeRender, "sidetone_render_init_failed", 8},
                      SetUpCase{Step::kGetServices, "sidetone_get_service_failed", 9}));

bool Logged(const std::string& prefix) {
  const Lines lines = scripted_session::LogLines();
  return std::any_of(lines.begin(), lines.end(),
                     [&prefix](const std::string& line) { return line.rfind(prefix, 0) == 0; });
}

bool Called(Script& script, const std::string& call) {
  const Lines calls = script.Calls();
  return std::find(calls.begin(), calls.end(), call) != calls.end();
}

// The loop on a thread of its own, over sessions on one script.
class SidetoneLoopThread {
 public:
  explicit SidetoneLoopThread(std::shared_ptr<Script> script)
      : thread([this, script] {
          RunSidetoneLoop([script] { return scripted_session::MakeSession(script); }, L"mic", L"",
                          stop, volume, state);
        }) {}
  ~SidetoneLoopThread() { Stop(); }
  void Stop() {
    stop = true;
    if (thread.joinable()) {
      thread.join();
    }
  }

  std::atomic<bool> stop{false};
  std::atomic<float> volume{0.35f};
  std::atomic<int32_t> state{kSidetoneIdle};
  std::thread thread;
};

template <typename Predicate>
void WaitFor(Predicate done) {
  while (!done()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

TEST(SidetoneRunLoopTest, StopBeforeSetUpOpensNothing) {
  auto script = std::make_shared<Script>();
  EXPECT_EQ(RunOnce(script, true, L"mic"), kSidetoneIdle);
  EXPECT_EQ(scripted_session::LogLines(), Lines{});
  EXPECT_EQ(script->Calls(), Lines{"release"});
}

TEST(SidetoneRunLoopTest, RenderStartsPrimedOnTheFirstPacketAndStatisticsEndTheRun) {
  scripted_session::ClearLog();
  auto script = std::make_shared<Script>();
  script->render_buffer_frames = 4800;
  {
    SidetoneLoopThread loop(script);
    WaitFor([&] { return Called(*script, "start_capture"); });
    EXPECT_FALSE(Called(*script, "start_render")) << "nothing captured yet";
    {
      std::lock_guard<std::mutex> guard(script->lock);
      script->repeat_packet = scripted_session::FloatPacket(std::vector<float>(480, 0.5f), 1);
    }
    WaitFor([&] { return Called(*script, "start_render"); });
    // Silence ahead of the first packet, fading in, up to the fill (25 ms)
    // and the period the device plays before the next look, less the 3 ms
    // kept in hand. Later looks may have written more since.
    const std::vector<float> primed = RenderedFloats(*script);
    ASSERT_GE(primed.size(), 1536u);
    EXPECT_EQ(std::vector<float>(primed.begin(), primed.begin() + 1200),
              std::vector<float>(1200, 0.0f));
    EXPECT_FLOAT_EQ(primed[1200], 0.175f / 120.0f) << "the fade-in starts at its first step";
    EXPECT_GT(primed[1535], 0.17f);
    EXPECT_EQ(loop.state, kSidetoneRunning);
  }
  const Lines lines = scripted_session::LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "sidetone_loop_running");
  EXPECT_EQ(lines[1].rfind("sidetone_statistics underruns=", 0), 0u) << lines[1];
}

TEST(SidetoneRunLoopTest, LostDeviceIsLoggedRetriedAndComesBackWithoutANewStart) {
  scripted_session::ClearLog();
  auto script = std::make_shared<Script>();
  script->repeat_packet = scripted_session::FloatPacket(std::vector<float>(480, 0.5f), 1);
  script->last_error = static_cast<int32_t>(0x88890004u);
  SidetoneLoopThread loop(script);
  WaitFor([&] { return Called(*script, "start_render"); });
  script->device_lost = true;
  WaitFor([&] { return Logged("sidetone_device_lost"); });
  // Retried while gone, each attempt failing quietly.
  const int begun = script->steps_begun;
  WaitFor([&] { return script->steps_begun > begun + 1; });
  script->device_lost = false;
  WaitFor([&] { return Logged("sidetone_device_back"); });
  loop.Stop();
  const Lines lines = scripted_session::LogLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(Lines(lines.begin(), lines.begin() + 4),
            (Lines{"sidetone_loop_running", "sidetone_device_lost", "sidetone_error hr=0x88890004",
                   "sidetone_device_back"}));
  EXPECT_NE(lines[4].find(" restarts=1 device_losses=1 "), std::string::npos) << lines[4];
  EXPECT_EQ(loop.state, kSidetoneRunning);
}

TEST(SidetoneRunLoopTest, StopEndsTheLoopWhileTheDeviceStaysGone) {
  auto script = std::make_shared<Script>();
  script->repeat_packet = scripted_session::FloatPacket(std::vector<float>(480, 0.5f), 1);
  SidetoneLoopThread loop(script);
  WaitFor([&] { return Called(*script, "start_render"); });
  script->device_lost = true;
  const int begun = script->steps_begun;
  WaitFor([&] { return script->steps_begun > begun; });
  loop.Stop();
  EXPECT_TRUE(script->released);
}

class SidetoneStreamTest : public ::testing::Test {
 protected:
  void Make(SidetoneMixFormat capture, SidetoneMixFormat render, uint32_t buffer_frames) {
    script->capture_format = capture;
    script->render_format = render;
    script->render_buffer_frames = buffer_frames;
    session = scripted_session::MakeSession(script);
    stream = std::make_unique<SidetoneStream>(*session, capture, render, buffer_frames, 480);
  }
  void Capture(const std::vector<float>& interleaved, uint32_t channels) {
    script->packets.push_back(scripted_session::FloatPacket(interleaved, channels));
    stream->CaptureStep(volume);
  }

  std::shared_ptr<Script> script = std::make_shared<Script>();
  std::unique_ptr<SidetoneAudioSession> session;
  std::unique_ptr<SidetoneStream> stream;
  std::atomic<float> volume{1.0f};
};

TEST_F(SidetoneStreamTest, CaptureStepDrainsEveryWaitingPacket) {
  Make({kFloatTag, 1, 48000, 4, 32}, {kFloatTag, 1, 48000, 4, 32}, 960);
  script->packets.push_back(scripted_session::FloatPacket({0.25f, 0.25f}, 1));
  Capture({0.5f}, 1);
  EXPECT_EQ(stream->queue(), (std::vector<float>{0.25f, 0.25f, 0.5f}));
}

// Every packet is released and its discontinuity counted. A device found
// empty at a look has stopped on whatever came last, as if playback ran dry:
// once half a second has played, the fill rises a period.
TEST_F(SidetoneStreamTest, ADeviceFoundEmptyRaisesTheFillAsAGapDoes) {
  Make({kFloatTag, 1, 48000, 4, 32}, {kFloatTag, 1, 48000, 4, 32}, 4800);
  const size_t fill = stream->fill_frames();
  for (int step = 0; step <= 60; ++step) {
    script->pending = step == 60 ? 0 : 1000;
    script->packets.push_back(scripted_session::FloatPacket(std::vector<float>(480, 0.5f), 1));
    script->packets.back().discontinuity = step == 0;
    stream->CaptureStep(volume);
    stream->RenderStep(step * 0.01);
  }
  EXPECT_EQ(script->capture_released, 61u * 480u);
  EXPECT_EQ(stream->statistics().discontinuities, 1u);
  EXPECT_EQ(stream->statistics().underruns, 1u);
  EXPECT_TRUE(stream->playing());
  EXPECT_EQ(stream->fill_frames(), fill + 480);
}

TEST_F(SidetoneStreamTest, QueueStaysBoundedWhileTheRenderSideKeepsFailing) {
  Make({kFloatTag, 1, 48000, 4, 32}, {kFloatTag, 1, 48000, 4, 32}, 960);
  const size_t limit = stream->max_queue_samples();
  const uint32_t packet = 480;
  for (const char* failure : {"padding", "buffer", "full"}) {
    script->padding_fails = std::string(failure) == "padding";
    script->render_buffer_fails = std::string(failure) == "buffer";
    script->pending = std::string(failure) == "full" ? 960 : 0;
    size_t largest = 0;
    for (int iteration = 0; iteration < 2000; ++iteration) {  // 10 s of polling
      Capture(std::vector<float>(packet, 0.1f), 1);
      stream->RenderStep(iteration * 0.005);
      largest = std::max(largest, stream->queue().size());
    }
    EXPECT_LE(largest, SidetoneStream::kCaptureBacklogFactor * limit) << failure;
    // With the buffer refused, each step starts playback over, which holds
    // the queue at the fill.
    EXPECT_GE(largest, std::string(failure) == "buffer" ? stream->fill_frames() : limit) << failure;
    EXPECT_TRUE(script->rendered.empty()) << failure;
    // Nothing written is nothing played: no playback to run dry.
    EXPECT_EQ(stream->statistics().underruns, 0u) << failure;
  }
}

// Input held back and handed over at once while playing, beyond the backlog
// limit, is cut at the next write, and playback starts over.
TEST_F(SidetoneStreamTest, ABurstBeyondTheBacklogLimitIsCutAndPlaybackStartsOver) {
  Make({kFloatTag, 1, 48000, 4, 32}, {kFloatTag, 1, 48000, 4, 32}, 4800);
  Capture(std::vector<float>(480, 0.5f), 1);
  stream->RenderStep(0.0);
  ASSERT_TRUE(stream->playing());
  script->pending = 1000;
  Capture(std::vector<float>(stream->max_queue_samples() + 4800, 0.5f), 1);
  stream->RenderStep(0.01);
  EXPECT_LE(stream->queue().size(), stream->max_queue_samples());
  EXPECT_FALSE(stream->playing());
}

// A burst that leaves a surplus while playing is trimmed all of it, also
// what sat in the device, in one cut; where no cut can match a rising ramp,
// the crossfade carries the jump over 2.5 ms, not at one sample.
TEST_F(SidetoneStreamTest, ABurstIsTrimmedInOneCutThatCrossfades) {
  Make({kFloatTag, 1, 48000, 4, 32}, {kFloatTag, 1, 48000, 4, 32}, 4800);
  script->writes_add_pending = true;
  const float slope = 0.9f / 240000.0f;
  float made = 0.0f;
  double before = 0.0;
  double after = 0.0;
  for (int step = 0; step < 400; ++step) {
    script->pending -= std::min<uint32_t>(script->pending, 480);
    std::vector<float> ramp(step == 300 ? 480 + 2880 : 480);
    std::generate(ramp.begin(), ramp.end(), [&] { return slope * made++; });
    Capture(ramp, 1);
    stream->RenderStep(step * 0.01);
    const double delay = script->pending + stream->queue().size();
    before += step >= 250 && step < 300 ? delay / 50 : 0.0;
    after += step >= 350 ? delay / 50 : 0.0;
  }
  ASSERT_EQ(stream->statistics().trims, 1u);
  EXPECT_NEAR(after, before, 24.0);
  std::vector<float> out(script->rendered.size() / sizeof(float));
  std::memcpy(out.data(), script->rendered.data(), out.size() * sizeof(float));
  std::adjacent_difference(out.begin(), out.end(), out.begin());
  const auto [down, up] = std::minmax_element(out.begin() + 1, out.end());
  EXPECT_LT(std::max(-*down, *up), slope * 2880.0f / 10.0f);
}

// A new volume is reached over 7.5 ms (360 samples at 48 kHz), one step a
// sample, starting at once; at or below 0.0001 it lands on true silence.
TEST_F(SidetoneStreamTest, VolumeRampsToItsNewValueOverAFewMilliseconds) {
  const std::pair<float, float> rows[] = {
      {1.0f, 0.0f}, {0.5f, 1.0f}, {1.0f, 0.0001f}, {0.35f, 0.35f}, {0.0f, 0.2f}};
  for (const auto& [from, to] : rows) {
    Make({kFloatTag, 1, 48000, 4, 32}, {kFloatTag, 1, 48000, 4, 32}, 960);
    volume = from;
    Capture(std::vector<float>(480, 1.0f), 1);
    volume = to;
    Capture(std::vector<float>(480, 1.0f), 1);
    const std::vector<float>& queue = stream->queue();
    const float landed = to > 0.0001f ? to : 0.0f;
    EXPECT_EQ(queue[479], from) << from << " " << to;
    float largest_step = 0.0f;
    for (size_t i = 480; i < queue.size(); ++i) {
      largest_step = std::max(largest_step, std::abs(queue[i] - queue[i - 1]));
    }
    EXPECT_LE(largest_step, std::abs(landed - from) / 360.0f * 1.01f + 1e-7f) << from << " " << to;
    EXPECT_EQ(queue[480 + 361], landed) << from << " " << to;
    EXPECT_EQ(queue.back(), landed) << from << " " << to;
    if (landed != from) {
      EXPECT_NE(queue[480], from) << from << " " << to;
      EXPECT_NE(queue[480 + 300], landed) << from << " " << to;
    }
  }
}

// The device is handed a fade-out and 40 ms of silence after it, and the
// stream may stop once the device holds only the last 10 ms of that.
TEST_F(SidetoneStreamTest, FadeOutEndsOnSilenceAndWaitsForTheDeviceToPlayIt) {
  Make({kFloatTag, 1, 48000, 4, 32}, {kFloatTag, 1, 48000, 4, 32}, 4800);
  script->pending = 2000;
  stream->FadeOut();
  EXPECT_TRUE(stream->Drained()) << "nothing played, nothing to wait for";
  script->pending = 0;
  Capture(std::vector<float>(480, 0.5f), 1);
  stream->RenderStep(0.0);
  ASSERT_TRUE(stream->playing());
  script->rendered.clear();
  script->pending = 2000;
  stream->FadeOut();
  EXPECT_FALSE(stream->playing());
  const std::vector<float> rendered = RenderedFloats(*script);
  ASSERT_EQ(rendered.size(), 144u + 1920u);
  EXPECT_EQ(rendered[23], 0.5f);
  EXPECT_EQ(rendered[24], 0.5f * (119.0f / 120.0f)) << "the fade is the last 2.5 ms of the hand";
  for (size_t i = 1; i < 144; ++i) {
    EXPECT_LE(rendered[i - 1] - rendered[i], 0.5f / 120.0f + 1e-6f) << i;
  }
  EXPECT_EQ(std::vector<float>(rendered.begin() + 143, rendered.end()),
            std::vector<float>(1921, 0.0f));
  for (const auto& [pending, drained] : {std::pair{2000u, false}, {481u, false}, {480u, true}}) {
    script->pending = pending;
    EXPECT_EQ(stream->Drained(), drained) << pending;
  }
  script->pending = 2000;
  script->padding_fails = true;
  EXPECT_TRUE(stream->Drained()) << "a device that does not answer is not waited for";
}

// Playback fades out, running dry, only when the queue holds nothing beyond
// the 3 ms in hand and the device less than a period; a low padding reading
// with input queued is ridden out by writing it. The device is given no more
// than the fill and a period (1680 frames).
TEST_F(SidetoneStreamTest, RunsDryOnlyWhenTheQueueHasNothingLeft) {
  struct Row {
    uint32_t pending;
    size_t queued;
    uint32_t underruns;
    bool writes;
  };
  for (const Row& row : {Row{100, 336, 0, true}, Row{100, 0, 1, false}, Row{479, 0, 1, false},
                         Row{480, 0, 0, false}, Row{1680, 336, 0, false}}) {
    script = std::make_shared<Script>();
    Make({kFloatTag, 1, 48000, 4, 32}, {kFloatTag, 1, 48000, 4, 32}, 4800);
    Capture(std::vector<float>(480, 0.5f), 1);
    stream->RenderStep(0.0);
    ASSERT_EQ(stream->queue().size(), 144u);
    script->pending = row.pending;
    script->rendered.clear();
    if (row.queued != 0) {
      Capture(std::vector<float>(row.queued, 0.5f), 1);
    }
    stream->RenderStep(0.01);
    EXPECT_EQ(stream->statistics().underruns, row.underruns) << row.pending << " " << row.queued;
    EXPECT_EQ(stream->playing(), row.underruns == 0) << row.pending << " " << row.queued;
    if (row.underruns == 0) {
      EXPECT_EQ(!script->rendered.empty(), row.writes) << row.pending << " " << row.queued;
    }
  }
}

}  // namespace
