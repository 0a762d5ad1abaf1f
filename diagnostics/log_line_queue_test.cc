#include "diagnostics/log_line_queue.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Line = std::array<char, LogLineQueue::kLineBytes>;

std::string Pop(LogLineQueue& queue) {
  Line out{};
  const auto length = queue.TryPop(out);
  return length ? std::string(out.data(), *length) : std::string("<none>");
}

TEST(LogLineQueueTest, LinesComeOutInOrderWholeAndCut) {
  LogLineQueue queue;
  EXPECT_EQ(Pop(queue), "<none>");
  const std::string longest(LogLineQueue::kLineBytes, 'a');
  ASSERT_TRUE(queue.TryPush("first"));
  ASSERT_TRUE(queue.TryPush(""));
  ASSERT_TRUE(queue.TryPush(longest + "past the end"));
  EXPECT_EQ(Pop(queue), "first");
  EXPECT_EQ(Pop(queue), "");
  EXPECT_EQ(Pop(queue), longest);
  EXPECT_EQ(Pop(queue), "<none>");

  std::array<char, LogLineQueue::kLineBytes - 1> too_small{};
  ASSERT_TRUE(queue.TryPush("kept"));
  EXPECT_FALSE(queue.TryPop(too_small));
  EXPECT_EQ(Pop(queue), "kept");
}

TEST(LogLineQueueTest, FullQueueDropsAndCountsThenTakesLinesAgain) {
  LogLineQueue queue;
  // Several laps round the ring, each filled to the brim and one more.
  for (int lap = 0; lap < 3; ++lap) {
    for (std::size_t i = 0; i < LogLineQueue::kCapacity; ++i) {
      ASSERT_TRUE(queue.TryPush(std::to_string(lap) + ":" + std::to_string(i))) << i;
    }
    EXPECT_FALSE(queue.TryPush("over"));
    EXPECT_FALSE(queue.TryPush("over"));
    EXPECT_EQ(queue.TakeDropped(), 2u);
    EXPECT_EQ(queue.TakeDropped(), 0u);
    EXPECT_EQ(Pop(queue), std::to_string(lap) + ":0");
    ASSERT_TRUE(queue.TryPush("after"));
    for (std::size_t i = 1; i < LogLineQueue::kCapacity; ++i) {
      ASSERT_EQ(Pop(queue), std::to_string(lap) + ":" + std::to_string(i));
    }
    EXPECT_EQ(Pop(queue), "after");
    EXPECT_EQ(Pop(queue), "<none>");
  }
}

TEST(LogLineQueueTest, ConcurrentProducersNeitherTearNorReorderTheirLines) {
  constexpr int kProducers = 4;
  constexpr int kLinesEach = 5000;
  LogLineQueue queue;
  std::atomic<int> finished{0};
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&queue, &finished, p] {
      for (int n = 0; n < kLinesEach; ++n) {
        char line[LogLineQueue::kLineBytes];
        // The padding's letter is the producer's: a torn slot mixes letters.
        const int length = std::snprintf(line, sizeof(line), "p=%d n=%d %s", p, n,
                                         std::string(100 + n % 50, char('a' + p)).c_str());
        queue.TryPush(std::string_view(line, static_cast<std::size_t>(length)));
      }
      finished.fetch_add(1);
    });
  }
  std::array<int, kProducers> next{};
  std::size_t popped = 0;
  Line out{};
  for (;;) {
    const bool all_done = finished.load() == kProducers;
    while (const auto length = queue.TryPop(out)) {
      const std::string line(out.data(), *length);
      int p = -1;
      int n = -1;
      ASSERT_EQ(std::sscanf(line.c_str(), "p=%d n=%d", &p, &n), 2) << line;
      ASSERT_TRUE(p >= 0 && p < kProducers) << line;
      EXPECT_GE(n, next[p]) << "lines of one producer out of order";
      next[p] = n + 1;
      const std::string padding = line.substr(line.rfind(' ') + 1);
      EXPECT_EQ(padding, std::string(100 + n % 50, char('a' + p))) << "torn line";
      ++popped;
    }
    if (all_done) {
      break;
    }
    std::this_thread::yield();
  }
  for (std::thread& producer : producers) {
    producer.join();
  }
  EXPECT_EQ(popped + queue.TakeDropped(), std::size_t{kProducers} * kLinesEach);
}

}  // namespace
