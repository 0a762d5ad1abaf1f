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

bool Logged(const std::string& word) {
  const Lines lines = scripted_session::LogLines();
  return std::find(lines.begin(), lines.end(), word) != lines.end();
}

// An engine whose every run acts out the next script of the list (the last
// one again once the list is used up). While `gate_open` is false, the set-up
// waits (until the time-out word at most, and 10 s).
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

  // Starts, then polls like the platform thread's timer until answered.
  std::optional<bool> StartAndPoll(const wchar_t* input, const wchar_t* output, float volume) {
    std::optional<bool> answer;
    engine.Start(input, output, volume, [&answer](bool running) { answer = running; });
    for (const auto limit = Clock::now() + std::chrono::seconds(10);
         !answer && Clock::now() < limit;
         std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
      engine.Poll(Clock::now());
    }
    return answer;
  }

  std::vector<std::shared_ptr<Script>> scripts;
  size_t next_run = 0;
  std::atomic<bool> gate_open{true};
  SidetoneEngine engine{[this] {
    const auto limit = Clock::now() + std::chrono::seconds(10);
    while (!gate_open && !Logged("sidetone_start_timeout") && Clock::now() < limit) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
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

// What comes while a start is pending: the pending start is answered false
// before anything else happens, and the log keeps its words and order.
struct PendingCase {
  const char* then;
  const char* answer;
  Lines words;
};

class SidetonePendingStartTest : public SidetoneEngineTest,
                                 public ::testing::WithParamInterface<PendingCase> {};

TEST_P(SidetonePendingStartTest, PendingStartIsAnsweredFalseFirst) {
  const auto slow =
      AddRun(GetParam().then == std::string("failed set-up") ? Step::kOpenRender : Step::kNone);
  gate_open = GetParam().then == std::string("failed set-up");
  std::vector<std::string> events;
  engine.Start(L"", L"", 0.35f, [&](bool running) {
    events.push_back(std::string("answer ") + (running ? "true" : "false") +
                     (slow->released ? " after the join" : ""));
    gate_open = true;
  });
  ASSERT_TRUE(engine.StartPending());
  const std::string then = GetParam().then;
  if (then == "stop") {
    engine.Stop();
  } else if (then == "time-out") {
    engine.Poll(Clock::now() + std::chrono::seconds(3));
  }
  for (const auto limit = Clock::now() + std::chrono::seconds(10);
       engine.Poll(Clock::now()) && Clock::now() < limit;) {
  }
  EXPECT_EQ(events, Lines{GetParam().answer});
  EXPECT_FALSE(engine.StartPending());
  EXPECT_EQ(scripted_session::LogLines(), GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SidetonePendingStartTest,
    ::testing::Values(PendingCase{"stop",
                                  "answer false",
                                  {"sidetone_stopped", "sidetone_loop_running",
                                   "sidetone_stopped"}},
                      PendingCase{"time-out",
                                  "answer false after the join",
                                  {"sidetone_stopped", "sidetone_start_timeout",
                                   "sidetone_loop_running", "sidetone_stopped"}},
                      PendingCase{"failed set-up",
                                  "answer false after the join",
                                  {"sidetone_stopped", "sidetone_render_device_failed",
                                   "sidetone_start_failed"}}));

TEST_F(SidetoneEngineTest, SecondStartWhilePendingAnswersTheFirstFalseThenRuns) {
  AddRun();
  gate_open = false;
  std::vector<std::string> events;
  engine.Start(L"", L"", 0.35f, [&](bool running) {
    events.push_back(running ? "first true" : "first false");
    gate_open = true;
  });
  engine.Start(L"", L"", 0.35f,
               [&](bool running) { events.push_back(running ? "second true" : "second false"); });
  for (const auto limit = Clock::now() + std::chrono::seconds(10);
       engine.Poll(Clock::now()) && Clock::now() < limit;) {
  }
  EXPECT_EQ(events, (Lines{"first false", "second true"}));
  const Lines words = scripted_session::LogLines();
  ASSERT_EQ(words.size(), 5u);
  EXPECT_EQ(Lines(words.begin(), words.begin() + 3),
            (Lines{"sidetone_stopped", "sidetone_loop_running", "sidetone_stopped"}));
  engine.Stop();
}

TEST_F(SidetoneEngineTest, WorkerThatThrowsWhileRunningLeavesAFailedStateStopAndStartHandle) {
  const auto script = AddRun();
  ASSERT_EQ(StartAndPoll(L"", L"", 0.35f), true);
  {
    std::lock_guard<std::mutex> guard(script->lock);
    script->throw_while_running = true;
  }
  for (const auto limit = Clock::now() + std::chrono::seconds(10);
       engine.CurrentState() != kSidetoneFailed && Clock::now() < limit;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(engine.CurrentState(), kSidetoneFailed);
  EXPECT_TRUE(script->released);
  engine.Stop();
  EXPECT_EQ(engine.CurrentState(), kSidetoneIdle);
  script->throw_while_running = false;
  EXPECT_EQ(StartAndPoll(L"", L"", 0.35f), true);
  engine.Stop();
}

}  // namespace
