#include "testing/engine/payload_summary.h"

#include <gtest/gtest.h>

#include <vector>

namespace substitute_engine {
namespace {

TEST(PayloadSummaryTest, NamesTheMethodOfACall) {
  const std::vector<uint8_t> stop = {0x07, 0x04, 's', 't', 'o', 'p', 0x00};
  EXPECT_EQ(SummarizeMessage(stop.data(), stop.size()), "stop (7 bytes)");
}

TEST(PayloadSummaryTest, FallsBackToTheSizeForOtherBytes) {
  const std::vector<uint8_t> raw = {0x01};
  EXPECT_EQ(SummarizeMessage(raw.data(), raw.size()), "1 byte");
  const std::vector<uint8_t> truncated = {0x07, 0x09, 'a'};
  EXPECT_EQ(SummarizeMessage(truncated.data(), truncated.size()), "3 bytes");
  const std::vector<uint8_t> unprintable = {0x07, 0x01, 0x0A};
  EXPECT_EQ(SummarizeMessage(unprintable.data(), unprintable.size()), "3 bytes");
  EXPECT_EQ(SummarizeMessage(nullptr, 0), "empty");
}

TEST(PayloadSummaryTest, TellsTheKindOfAnswer) {
  const std::vector<uint8_t> success = {0x00, 0x01};
  EXPECT_EQ(SummarizeAnswer(success.data(), success.size()), "success (2 bytes)");
  const std::vector<uint8_t> error = {0x01, 0x07, 0x03, 'b', 'a', 'd', 0x00, 0x00};
  EXPECT_EQ(SummarizeAnswer(error.data(), error.size()), "error bad");
  EXPECT_EQ(SummarizeAnswer(nullptr, 0), "empty");
  const std::vector<uint8_t> other = {0x05, 0x06};
  EXPECT_EQ(SummarizeAnswer(other.data(), other.size()), "2 bytes");
}

}  // namespace
}  // namespace substitute_engine
