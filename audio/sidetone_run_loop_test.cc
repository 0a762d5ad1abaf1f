#include "audio/sidetone_run_loop.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
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
  RunSidetoneLoop(scripted_session::MakeSession(script), input, L"", stop, volume, state);
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

TEST(SidetoneRunLoopTest, SetUpPrimesSilenceStartsAndRunsUntilStopped) {
  auto script = std::make_shared<Script>();
  script->render_format = {kFloatTag, 2, 48000, 8, 32};
  script->render_buffer_frames = 960;
  // Stopped before the first iteration.
  EXPECT_EQ(RunOnce(script, true, L"mic"), kSidetoneRunning);
  EXPECT_EQ(scripted_session::LogLines(), Lines{"sidetone_loop_running"});
  const Lines calls = script->Calls();
  EXPECT_EQ(Lines(calls.end() - 2, calls.end()), (Lines{"start", "release"}));
  EXPECT_EQ(script->capture_id, L"mic");
  EXPECT_EQ(script->render_id, L"");
  EXPECT_EQ(RenderedFloats(*script), std::vector<float>(960 * 2, 0.0f));
}

class SidetoneStreamTest : public ::testing::Test {
 protected:
  void Make(SidetoneMixFormat capture, SidetoneMixFormat render, uint32_t buffer_frames) {
    script->capture_format = capture;
    script->render_format = render;
    script->render_buffer_frames = buffer_frames;
    session = scripted_session::MakeSession(script);
    stream = std::make_unique<SidetoneStream>(*session, capture, render, buffer_frames);
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

TEST_F(SidetoneStreamTest, BacklogIsCutAfterTheRenderWrite) {
  Make({kFloatTag, 1, 48000, 4, 32}, {kFloatTag, 1, 48000, 4, 32}, 480);
  script->pending = 240;  // playing, 240 frames free
  Capture({0.0f}, 1);
  stream->RenderStep();
  std::vector<float> ramp(239 + 9601);
  for (size_t i = 0; i < ramp.size(); ++i) {
    ramp[i] = static_cast<float>(i) / 16384.0f;
  }
  Capture(ramp, 1);
  ASSERT_EQ(stream->queue().size(), ramp.size() + 1) << "below the capture-side bound";
  stream->RenderStep();  // 240 played, 9601 left, cut to the newest 4800
  EXPECT_EQ(stream->queue(), std::vector<float>(ramp.end() - 4800, ramp.end()));
}

// A 30 ms render buffer drained 10 ms at a time, 44.1 kHz packets every
// 10 ms (from the 20th on, `delay` late) and the loop every 5 ms (at 300 ms,
// `stall` late). From 300 ms the device may also play nothing for `frozen`
// ms while still reporting its buffer full, as a stack stalled below it
// would. The input is a ramp, so a gap or a jump shows in the output.
struct LateCase {
  int delay;
  int stall;
  int frozen;
  bool runs_dry;
};

class SidetoneLateInputTest : public SidetoneStreamTest,
                              public ::testing::WithParamInterface<LateCase> {};

TEST_P(SidetoneLateInputTest, LateInputIsAbsorbedOrResumesAtTheSameDelay) {
  const LateCase late = GetParam();
  Make({kFloatTag, 1, 44100, 4, 32}, {kFloatTag, 1, 48000, 4, 32}, 1440);
  script->writes_add_pending = true;
  stream->PrimeSilence();
  bool ran_dry = false;
  for (int ms = 5, packet = 0; ms <= 1500; ms += 5) {
    const bool draining = ms % 10 == 0 && (ms <= 300 || ms > 300 + late.frozen);
    ran_dry = ran_dry || (draining && script->pending < 480);
    script->pending -= draining ? std::min(script->pending, 480u) : 0;
    for (; 10 * (packet + 1) + (packet >= 20 ? late.delay : 0) <= ms; ++packet) {
      std::vector<float> ramp(441);
      for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = (packet * 441.0f + i) / 131072.0f;
      script->packets.push_back(scripted_session::FloatPacket(ramp, 1));
    }
    if (ms <= 300 || ms > 300 + late.stall) {
      stream->CaptureStep(volume);
      stream->RenderStep();
    }
  }
  EXPECT_EQ(ran_dry, late.runs_dry);
  // Either way the delay is back at the fill (plus at most one packet).
  EXPECT_LE(script->pending + stream->queue().size() * 48000 / 44100, stream->fill_frames() + 482);
  // Past the silence and the fade-in, one ramp, unbroken but for one
  // crossfade where a surplus was dropped.
  const float step = 44100.0f / 48000.0f / 131072.0f;
  const std::vector<float> out = RenderedFloats(*script);
  auto it = std::find_if(out.begin(), out.end(), [](float x) { return x != 0; }) + 120;
  int bent = 0;
  for (; !late.runs_dry && it + 1 < out.end(); ++it) {
    ASSERT_LT(std::abs(it[1] - it[0]), 1e-3f) << (it - out.begin());
    bent += std::abs(it[1] - it[0] - step) > 1e-6f;
  }
  EXPECT_LE(bent, late.frozen != 0 ? 121 : 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, SidetoneLateInputTest,
                         ::testing::Values(LateCase{0, 0, 0, false}, LateCase{10, 0, 0, false},
                                           LateCase{15, 0, 0, false}, LateCase{0, 15, 0, false},
                                           LateCase{0, 0, 40, false}, LateCase{0, 0, 80, false},
                                           LateCase{60, 0, 0, true}, LateCase{0, 45, 0, true}));

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
      stream->RenderStep();
      largest = std::max(largest, stream->queue().size());
    }
    EXPECT_LE(largest, SidetoneStream::kCaptureBacklogFactor * limit) << failure;
    // With the buffer refused, each step starts playback over, which holds
    // the queue at the fill.
    EXPECT_GE(largest, std::string(failure) == "buffer" ? stream->fill_frames() : limit) << failure;
    EXPECT_TRUE(script->rendered.empty()) << failure;
  }
}

}  // namespace
