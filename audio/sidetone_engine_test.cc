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
void WaitForLine(const std::string& word);
bool Called(Script& script, const std::string& call);

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

TEST_F(SidetoneEngineTest, StartRunsTheMonitorRestartReleasesTheOldRunStoppedWorkerIsJoined) {
  const auto first = AddRun();
  const auto second = AddRun();
  EXPECT_EQ(StartAndPoll(L"mic", L"speakers", 0.5f), true);
  EXPECT_EQ(engine.CurrentState(), kSidetoneRunning);
  EXPECT_EQ(first->capture_id, L"mic");
  EXPECT_EQ(first->render_id, L"speakers");
  // The worker's line may come after the answer.
  WaitForLine("sidetone_loop_running");
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
  EXPECT_EQ(engine.CurrentState(), kSidetoneIdle);
  while (engine.Poll(Clock::now())) {
  }
  EXPECT_TRUE(second->released) << "joined once it has ended";
  EXPECT_EQ(engine.StoppingWorkers(), 0u);
}

// The worker's lines (set-up, running, device lost and back, its error codes
// and statistics) never wait for the log; only the platform thread's do.
TEST_F(SidetoneEngineTest, WorkerLinesGoThroughTheLogWithoutWaiting) {
  const auto script = AddRun();
  ASSERT_EQ(StartAndPoll(L"", L"", 0.5f), true);
  script->last_error = static_cast<int32_t>(0x88890004);
  script->device_lost = true;
  WaitForLine("sidetone_device_lost");
  script->device_lost = false;
  WaitForLine("sidetone_device_back");
  engine.Stop();
  while (engine.Poll(Clock::now())) {
  }
  AddRun(Step::kOpenRender);
  EXPECT_EQ(StartAndPoll(L"", L"", 0.5f), false);
  const Lines all = scripted_session::LogLines();
  EXPECT_TRUE(std::any_of(all.begin(), all.end(), [](const std::string& line) {
    return line.rfind("sidetone_statistics", 0) == 0;
  }));
  EXPECT_TRUE(Logged("sidetone_error hr=0x88890004"));
  EXPECT_EQ(scripted_session::BlockingLogLines(),
            (Lines{"sidetone_stopped", "sidetone_started", "sidetone_stopped", "sidetone_stopped",
                   "sidetone_start_failed"}));
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

void WaitForLine(const std::string& word) {
  while (!Logged(word)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
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
  // Every worker's words are in once none is left to join.
  engine.Stop();
  while (engine.Poll(Clock::now())) {
  }
  for (const std::string& word : scripted_session::LogLines()) {
    if (word.rfind("sidetone_statistics", 0) != 0) {
      words += word + " ";
    }
  }
  EXPECT_EQ(answers, GetParam().answers);
  EXPECT_EQ(words, GetParam().first_words);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SidetonePendingStartTest,
    ::testing::Values(
        // A stop during set-up ends it before the next step: no word of its own.
        PendingCase{"stop", "false ", "sidetone_stopped sidetone_stopped sidetone_stopped "},
        PendingCase{"start", "false true ",
                    "sidetone_stopped sidetone_stopped sidetone_loop_running sidetone_started "
                    "sidetone_stopped "},
        PendingCase{"time-out", "false ",
                    "sidetone_stopped sidetone_start_timeout sidetone_stopped sidetone_stopped "},
        PendingCase{"failed set-up", "false ",
                    "sidetone_stopped sidetone_render_device_failed sidetone_start_failed "
                    "sidetone_stopped "}));

// Set-up stuck in a driver call: nothing the platform thread does waits for
// it, and the worker is joined once the call returns.
struct HangCase {
  std::string then;
  std::string words;
};

class SidetoneHangingSetUpTest : public SidetoneEngineTest,
                                 public ::testing::WithParamInterface<HangCase> {};

TEST_P(SidetoneHangingSetUpTest, PlatformThreadNeverWaitsForIt) {
  const std::string then = GetParam().then;
  const auto hung = AddRun();
  hung->hang_at = Step::kOpenRender;
  const auto next = AddRun();
  std::string answers;
  const auto answer = [&answers](bool running) { answers += running ? "true " : "false "; };
  engine.Start(L"", L"", 0.35f, answer);
  while (hung->steps_begun < 4) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (then == "stop") {
    engine.Stop();
  } else if (then == "time-out") {
    engine.Poll(Clock::now() + std::chrono::seconds(3));
  } else if (then == "start") {
    engine.Start(L"", L"", 0.35f, answer);
    while (engine.StartPending()) {
      engine.Poll(Clock::now());
    }
    engine.Stop();
  } else {
    engine.Shutdown(std::chrono::milliseconds(1));
  }
  // Returned with the set-up still stuck.
  EXPECT_FALSE(hung->released);
  if (then == "teardown") {
    EXPECT_EQ(engine.StoppingWorkers(), 0u);
  } else {
    EXPECT_GE(engine.StoppingWorkers(), 1u);
  }
  hung->hang_released = true;
  if (then == "teardown") {
    while (!hung->released) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  while (engine.Poll(Clock::now())) {
  }
  EXPECT_TRUE(hung->released);
  EXPECT_EQ(hung->Calls().back(), "release") << "no step after the stop";
  EXPECT_FALSE(Called(*hung, "activate"));
  EXPECT_EQ(answers, then == "start" ? "false true " : "false ");
  std::string words;
  for (const std::string& word : scripted_session::LogLines()) {
    if (word.rfind("sidetone_statistics", 0) != 0) {
      words += word + " ";
    }
  }
  EXPECT_EQ(words, GetParam().words);
  (void)next;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SidetoneHangingSetUpTest,
    ::testing::Values(
        HangCase{"stop", "sidetone_stopped sidetone_stopped "},
        HangCase{"time-out", "sidetone_stopped sidetone_start_timeout sidetone_stopped "},
        HangCase{"start",
                 "sidetone_stopped sidetone_stopped sidetone_loop_running sidetone_started "
                 "sidetone_stopped "},
        HangCase{"teardown", "sidetone_stopped sidetone_stopped sidetone_worker_let_go "}));

bool Called(Script& script, const std::string& call) {
  const Lines calls = script.Calls();
  return std::find(calls.begin(), calls.end(), call) != calls.end();
}

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
