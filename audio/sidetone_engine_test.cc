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

TEST_F(SidetoneEngineTest, StartRunsTheMonitorRestartReleasesTheOldRunStopJoins) {
  const auto first = AddRun();
  const auto second = AddRun();
  EXPECT_TRUE(engine.Start(L"mic", L"speakers", 0.5f));
  EXPECT_EQ(engine.CurrentState(), kSidetoneRunning);
  EXPECT_EQ(first->capture_id, L"mic");
  EXPECT_EQ(first->render_id, L"speakers");
  const Lines started = scripted_session::LogLines();
  ASSERT_EQ(started.size(), 3u);
  EXPECT_EQ(started[0], "sidetone_stopped");
  EXPECT_EQ((Lines{std::min(started[1], started[2]), std::max(started[1], started[2])}),
            (Lines{"sidetone_loop_running", "sidetone_started"}));

  ASSERT_TRUE(engine.Start(L"c", L"d", 0.9f));
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
    engine.Start(L"", L"", c.given);
    EXPECT_EQ(engine.CurrentVolume(), c.stored) << c.given;
  }
}

bool Logged(const std::string& word) {
  const Lines lines = scripted_session::LogLines();
  return std::find(lines.begin(), lines.end(), word) != lines.end();
}

TEST_F(SidetoneEngineTest, SetUpSlowerThanTwoSecondsTimesOutAndStops) {
  auto slow = AddRun();
  // The worker's set-up lasts until the start polls have given up (bounded,
  // so a start that never times out fails instead of hanging).
  SidetoneEngine slow_engine([slow] {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!Logged("sidetone_start_timeout") && std::chrono::steady_clock::now() < limit) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return scripted_session::MakeSession(slow);
  });
  const auto begun = std::chrono::steady_clock::now();
  EXPECT_FALSE(slow_engine.Start(L"", L"", 0.35f));
  EXPECT_GE(std::chrono::steady_clock::now() - begun, std::chrono::milliseconds(2000));
  EXPECT_TRUE(slow->released);
  EXPECT_EQ(slow_engine.CurrentState(), kSidetoneIdle);
  const Lines lines = scripted_session::LogLines();
  EXPECT_EQ(lines.front(), "sidetone_stopped");
  EXPECT_TRUE(Logged("sidetone_start_timeout"));
  EXPECT_EQ(lines.back(), "sidetone_stopped");
}

}  // namespace
