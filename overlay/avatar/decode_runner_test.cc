#include "overlay/avatar/decode_runner.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

namespace {

using Clock = DecodeRunner::Clock;

// Starts real threads and tells when each has wholly ended, the runner's own
// bookkeeping after the work included.
class RunnerTest : public ::testing::Test {
 protected:
  ~RunnerTest() override {
    release_.set_value();
    for (std::future<void>& ended : ended_) ended.wait();
  }
  DecodeRun Run(std::function<void(const std::atomic<bool>&)> work, Clock::time_point deadline) {
    return runner_.Run(std::move(work), deadline);
  }
  std::function<void(const std::atomic<bool>&)> Blocks() {
    return [this](const std::atomic<bool>& abandoned) {
      released_.wait();
      saw_abandoned_ = abandoned.load();
    };
  }

  bool can_start_ = true;
  std::vector<std::future<void>> ended_;
  std::promise<void> release_;
  std::shared_future<void> released_ = release_.get_future().share();
  std::atomic<bool> saw_abandoned_{false};
  DecodeRunner runner_{[this](std::function<void()> body) {
    if (!can_start_) return false;
    std::packaged_task<void()> task(std::move(body));
    ended_.push_back(task.get_future());
    std::thread(std::move(task)).detach();
    return true;
  }};
  const Clock::time_point past_ = Clock::now() - std::chrono::seconds(1);
  const Clock::time_point far_ = Clock::now() + std::chrono::hours(1);
};

TEST_F(RunnerTest, DecodesRunBesideOneAbandonedDecodeButNeverLeaveASecond) {
  int runs = 0;
  const auto counts = [&](const std::atomic<bool>&) { ++runs; };
  EXPECT_EQ(Run(Blocks(), past_), DecodeRun::kPutOff) << "given up at its deadline";
  EXPECT_EQ(Run(counts, far_), DecodeRun::kFinished) << "the next decode runs beside it";
  EXPECT_EQ(runs, 1);

  std::promise<void> release_second;
  const auto second = [released = release_second.get_future().share()](const std::atomic<bool>&) {
    released.wait();
  };
  std::future<DecodeRun> overrun =
      std::async(std::launch::async, [&] { return Run(second, past_); });
  EXPECT_NE(overrun.wait_for(std::chrono::milliseconds(0)), std::future_status::ready)
      << "not given up while the first one still runs alone";
  release_.set_value();
  EXPECT_EQ(overrun.get(), DecodeRun::kPutOff) << "given up once the first has ended";
  EXPECT_TRUE(saw_abandoned_) << "the given-up work is told";
  release_second.set_value();
  for (std::future<void>& ended : ended_) ended.wait();
  release_ = {};
}

TEST_F(RunnerTest, NoThreadMeansPutOffAndLeavesNoTrace) {
  can_start_ = false;
  bool ran = false;
  EXPECT_EQ(Run([&](const std::atomic<bool>&) { ran = true; }, far_), DecodeRun::kPutOff);
  EXPECT_FALSE(ran);
  can_start_ = true;
  EXPECT_EQ(Run([&](const std::atomic<bool>&) { ran = true; }, far_), DecodeRun::kFinished);
  EXPECT_TRUE(ran);
}

TEST_F(RunnerTest, InterruptEndsTheWaitAndEveryLaterRun) {
  const auto interrupts_then_blocks = [this](const std::atomic<bool>& abandoned) {
    runner_.Interrupt();
    Blocks()(abandoned);
  };
  EXPECT_EQ(Run(interrupts_then_blocks, far_), DecodeRun::kStopped);
  EXPECT_EQ(Run([](const std::atomic<bool>&) {}, far_), DecodeRun::kStopped);
  EXPECT_EQ(ended_.size(), 1u);
}

}  // namespace
