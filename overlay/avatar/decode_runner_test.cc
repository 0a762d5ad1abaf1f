#include "overlay/avatar/decode_runner.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = DecodeRunner::Clock;

// A latch a test opens once; futures are avoided because the clang build's
// runtime lacks what they need.
class Gate {
 public:
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    opened_.notify_all();
  }
  void Wait() {
    std::unique_lock lock(mutex_);
    opened_.wait(lock, [this] { return open_; });
  }
  bool IsOpen() {
    std::lock_guard lock(mutex_);
    return open_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
};

// Starts real threads and waits, at the end, until each has wholly ended,
// the runner's own bookkeeping after the work included.
class RunnerTest : public ::testing::Test {
 protected:
  ~RunnerTest() override {
    first_.Open();
    second_.Open();
    for (std::thread& thread : threads_) thread.join();
  }
  DecodeRun Run(std::function<void(const std::atomic<bool>&)> work, Clock::time_point deadline) {
    return runner_.Run(std::move(work), deadline);
  }
  std::function<void(const std::atomic<bool>&)> Blocks(Gate& gate) {
    return [this, &gate](const std::atomic<bool>& abandoned) {
      gate.Wait();
      saw_abandoned_ = abandoned.load();
      ++blocked_ended_;
    };
  }

  bool can_start_ = true;
  Gate first_;
  Gate second_;
  std::atomic<bool> saw_abandoned_{false};
  std::atomic<int> blocked_ended_{0};
  std::vector<std::thread> threads_;  // only the test's thread touches it
  DecodeRunner runner_{[this](std::function<void()> body) {
    if (!can_start_) return false;
    threads_.emplace_back(std::move(body));
    return true;
  }};
  const Clock::time_point past_ = Clock::now() - std::chrono::seconds(1);
  const Clock::time_point far_ = Clock::now() + std::chrono::hours(1);
};

TEST_F(RunnerTest, DecodesRunBesideOneAbandonedDecodeButNeverLeaveASecond) {
  int runs = 0;
  const auto counts = [&](const std::atomic<bool>&) { ++runs; };
  EXPECT_EQ(Run(Blocks(first_), past_), DecodeRun::kPutOff) << "given up at its deadline";
  EXPECT_EQ(Run(counts, far_), DecodeRun::kFinished) << "the next decode runs beside it";
  EXPECT_EQ(runs, 1);

  // A second overrun, once it runs, is given up only after the first has
  // ended; the first is let go only once the second has started.
  Gate second_started;
  std::thread opener([&] {
    second_started.Wait();
    first_.Open();
  });
  const auto second = [&](const std::atomic<bool>&) {
    second_started.Open();
    second_.Wait();
  };
  EXPECT_EQ(Run(second, past_), DecodeRun::kPutOff);
  EXPECT_EQ(blocked_ended_, 1) << "returned while the first still ran alone";
  EXPECT_EQ(threads_.size(), 3u) << "the second ran beside the first";
  second_started.Open();
  opener.join();
  EXPECT_TRUE(saw_abandoned_) << "the given-up work is told";
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
    Blocks(first_)(abandoned);
  };
  EXPECT_EQ(Run(interrupts_then_blocks, far_), DecodeRun::kStopped);
  EXPECT_EQ(Run([](const std::atomic<bool>&) {}, far_), DecodeRun::kStopped);
  EXPECT_EQ(threads_.size(), 1u);
}

}  // namespace
