#include "audio/sidetone_engine.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "audio/sidetone_run_loop.h"
#include "testing/sidetone/scripted_session.h"

namespace {

using scripted_session::Script;
using scripted_session::Step;
using Lines = std::vector<std::string>;
using Clock = SidetoneEngine::Clock;

bool Logged(const std::string& word);

// An engine whose every run acts out the next script of the list (the last
// one again once the list is used up). While the gate is shut, set-up waits
// (until the time-out word at most).
class SidetoneEngineTest : public ::testing::Test {
 protected:
  void SetUp() override { scripted_session::ClearLog(); }

  std::shared_ptr<Script> AddRun(Step fail_at = Step::kNone) {
    auto script = std::make_shared<Script>();
    script->fail_at = fail_at;
    script->repeat_packet = scripted_session::FloatPacket(std::vector<float>(480, 0.5f), 1);
    scripts.push_back(script);
    return script;
  }

  // Starts, then polls as the platform thread's timer does until answered.
  std::optional<bool> StartAndPoll(const wchar_t* input, const wchar_t* output, float volume) {
    std::optional<bool> answer;
    engine.Start(input, output, volume, [&answer](bool running) { answer = running; });
    while (engine.Poll(Clock::now())) {
    }
    return answer;
  }

  std::vector<std::shared_ptr<Script>> scripts;
  size_t next_run = 0;
  std::atomic<bool> gate_open{true};
  SidetoneEngine engine{[this] {
    while (!gate_open && !Logged("sidetone_start_timeout")) {
      std::this_thread::yield();
    }
    const size_t run = std::min(next_run++, scripts.size() - 1);
    return scripted_session::MakeSession(scripts[run]);
  }};
};

TEST_F(SidetoneEngineTest, StartRunsTheMonitorRestartReleasesTheOldRunStopJoins) {
  const auto first = AddRun();
  const auto second = AddRun();
  EXPECT_EQ(StartAndPoll(L"mic", L"speakers", 0.5f), true);
  EXPECT_EQ(engine.CurrentState(), kSidetoneRunning);
  EXPECT_EQ(first->capture_id, L"mic");
  EXPECT_EQ(first->render_id, L"speakers");
  const Lines started = scripted_session::LogLines();
  ASSERT_EQ(started.size(), 3u);
  EXPECT_EQ(started[0], "sidetone_stopped");
  EXPECT_EQ((Lines{std::min(started[1], started[2]), std::max(started[1], started[2])}),
            (Lines{"sidetone_loop_running", "sidetone_started"}));

  ASSERT_EQ(StartAndPoll(L"c", L"d", 0.9f), true);
  EXPECT_TRUE(first->released);
  EXPECT_FALSE(second->released);
  EXPECT_EQ(second->capture_id, L"c");

  engine.Stop();
  EXPECT_TRUE(second->released) << "the worker has cleaned up before Stop returns";
  EXPECT_EQ(engine.CurrentState(), kSidetoneIdle);
  EXPECT_EQ(scripted_session::LogLines().back(), "sidetone_stopped");
}

TEST_F(SidetoneEngineTest, VolumeIsClampedAndANaNIsSilent) {
  AddRun(Step::kInitializeCom);
  struct Case {
    float given;
    float stored;
  };
  for (const Case& c : {Case{3.0f, 1.0f}, Case{-0.5f, 0.0f}, Case{0.25f, 0.25f},
                        Case{std::numeric_limits<float>::quiet_NaN(), 0.0f}}) {
    engine.SetVolume(c.given);
    EXPECT_EQ(engine.CurrentVolume(), c.stored) << c.given;
    EXPECT_EQ(StartAndPoll(L"", L"", c.given), false);
    EXPECT_EQ(engine.CurrentVolume(), c.stored) << c.given;
  }
}

bool Logged(const std::string& word) {
  const Lines lines = scripted_session::LogLines();
  return std::find(lines.begin(), lines.end(), word) != lines.end();
}

// A stop or start while a start is pending answers it false first.
struct PendingCase {
  std::string then, answers, first_words;
};

class SidetonePendingStartTest : public SidetoneEngineTest,
                                 public ::testing::WithParamInterface<PendingCase> {};

TEST_P(SidetonePendingStartTest, PendingStartIsAnsweredFalseFirst) {
  const std::string then = GetParam().then;
  AddRun(then == "failed set-up" ? Step::kOpenRender : Step::kNone);
  gate_open = then == "failed set-up";
  std::string answers, words;
  const auto answer = [&answers, this](bool running) {
    answers += running ? "true " : "false ";
    gate_open = true;
  };
  engine.Start(L"", L"", 0.35f, answer);
  if (then != "time-out" && then != "failed set-up") {
    (then == "stop") ? engine.Stop() : engine.Start(L"", L"", 0.35f, answer);
  }
  while (engine.Poll(then == "time-out" ? Clock::now() + std::chrono::seconds(3) : Clock::now())) {
  }
  for (const std::string& word : scripted_session::LogLines()) {
    words += word + " ";
  }
  EXPECT_EQ(answers, GetParam().answers);
  EXPECT_EQ(words.substr(0, GetParam().first_words.size()), GetParam().first_words);
  engine.Stop();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SidetonePendingStartTest,
    ::testing::Values(
        PendingCase{"stop", "false ", "sidetone_stopped sidetone_loop_running sidetone_stopped "},
        PendingCase{"start", "false true ",
                    "sidetone_stopped sidetone_loop_running sidetone_stopped "},
        PendingCase{
            "time-out", "false ",
            "sidetone_stopped sidetone_start_timeout sidetone_loop_running sidetone_stopped "},
        PendingCase{"failed set-up", "false ",
                    "sidetone_stopped sidetone_render_device_failed sidetone_start_failed "}));

TEST_F(SidetoneEngineTest, WorkerThatThrowsWhileRunningEndsFailedAndStopAndStartHandleIt) {
  const auto script = AddRun();
  ASSERT_EQ(StartAndPoll(L"", L"", 0.35f), true);
  script->throw_while_running = true;
  while (engine.CurrentState() != kSidetoneFailed) {
  }
  engine.Stop();
  EXPECT_TRUE(script->released);
  script->throw_while_running = false;
  EXPECT_EQ(StartAndPoll(L"", L"", 0.35f), true);
}

}  // namespace
