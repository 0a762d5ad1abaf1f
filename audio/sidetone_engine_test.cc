#include "audio/sidetone_engine.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <memory>
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

// An engine whose every run acts out the next script of the list (the last
// one again once the list is used up).
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

  std::vector<std::shared_ptr<Script>> scripts;
  size_t next_run = 0;
  SidetoneEngine engine{[this] {
    const size_t run = std::min(next_run++, scripts.size() - 1);
    return scripted_session::MakeSession(scripts[run]);
  }};
};

TEST_F(SidetoneEngineTest, StartRunsTheMonitorAndStopJoinsIt) {
  const auto run = AddRun();
  EXPECT_TRUE(engine.Start(L"mic", L"speakers", 0.5f));
  EXPECT_EQ(engine.CurrentState(), kSidetoneRunning);
  EXPECT_EQ(engine.CurrentVolume(), 0.5f);
  const Lines started = scripted_session::LogLines();
  ASSERT_EQ(started.size(), 3u);
  EXPECT_EQ(started[0], "sidetone_stopped");
  EXPECT_EQ((Lines{std::min(started[1], started[2]), std::max(started[1], started[2])}),
            (Lines{"sidetone_loop_running", "sidetone_started"}));
  EXPECT_EQ(run->capture_id, L"mic");
  EXPECT_EQ(run->render_id, L"speakers");

  engine.Stop();
  EXPECT_TRUE(run->released) << "the worker has cleaned up before Stop returns";
  EXPECT_EQ(engine.CurrentState(), kSidetoneIdle);
  EXPECT_EQ(scripted_session::LogLines().back(), "sidetone_stopped");
}

TEST_F(SidetoneEngineTest, FailedSetUpAnswersFalseWithItsWords) {
  const auto run = AddRun(Step::kInitializeRender);
  EXPECT_FALSE(engine.Start(L"", L"", 0.35f));
  EXPECT_EQ(engine.CurrentState(), kSidetoneFailed);
  EXPECT_TRUE(run->released);
  EXPECT_EQ(scripted_session::LogLines(),
            (Lines{"sidetone_stopped", "sidetone_render_init_failed", "sidetone_start_failed"}));
  engine.Stop();
  EXPECT_EQ(engine.CurrentState(), kSidetoneIdle);
}

TEST_F(SidetoneEngineTest, StartWhileRunningReleasesTheOldRunFirst) {
  const auto first = AddRun();
  const auto second = AddRun();
  ASSERT_TRUE(engine.Start(L"a", L"b", 0.2f));
  scripted_session::ClearLog();
  ASSERT_TRUE(engine.Start(L"c", L"d", 0.9f));
  EXPECT_TRUE(first->released);
  EXPECT_FALSE(second->released);
  EXPECT_EQ(second->capture_id, L"c");
  EXPECT_EQ(engine.CurrentVolume(), 0.9f);
  EXPECT_EQ(scripted_session::LogLines().front(), "sidetone_stopped");
  engine.Stop();
}

TEST_F(SidetoneEngineTest, StopTwiceLogsTwiceAndNothingRuns) {
  engine.Stop();
  engine.Stop();
  EXPECT_EQ(scripted_session::LogLines(), (Lines{"sidetone_stopped", "sidetone_stopped"}));
  EXPECT_EQ(next_run, 0u);
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
    engine.Start(L"", L"", c.given);
    EXPECT_EQ(engine.CurrentVolume(), c.stored) << c.given;
  }
}

TEST_F(SidetoneEngineTest, SetUpSlowerThanTwoSecondsTimesOutAndStops) {
  auto slow = AddRun();
  // The worker's set-up takes longer than the start polls wait.
  SidetoneEngine slow_engine([slow] {
    std::this_thread::sleep_for(std::chrono::milliseconds(2300));
    return scripted_session::MakeSession(slow);
  });
  const auto begun = std::chrono::steady_clock::now();
  EXPECT_FALSE(slow_engine.Start(L"", L"", 0.35f));
  EXPECT_GE(std::chrono::steady_clock::now() - begun, std::chrono::milliseconds(2000));
  EXPECT_TRUE(slow->released);
  EXPECT_EQ(slow_engine.CurrentState(), kSidetoneIdle);
  const Lines lines = scripted_session::LogLines();
  EXPECT_EQ(lines.front(), "sidetone_stopped");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "sidetone_start_timeout"), lines.end());
  EXPECT_EQ(lines.back(), "sidetone_stopped");
}

}  // namespace
