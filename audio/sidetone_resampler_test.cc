#include "audio/sidetone_resampler.h"

#include <vector>

#include <gtest/gtest.h>

namespace {

struct RateCase {
  uint32_t capture_rate;
  uint32_t render_rate;
};

class SidetoneResamplerTest : public ::testing::TestWithParam<RateCase> {};

// Steps of uneven sizes over a ramp whose values are the input positions:
// every output must read exactly at output index times the rate ratio, and
// the input used up must be exactly what the outputs covered.
TEST_P(SidetoneResamplerTest, UnevenStepsContinueOneInterpolationAndConsumeExactly) {
  const RateCase rates = GetParam();
  const double ratio = static_cast<double>(rates.capture_rate) / rates.render_rate;
  SidetoneResampler resampler(rates.capture_rate, rates.render_rate);
  std::vector<float> queue;
  size_t fed = 0;
  size_t used = 0;
  size_t produced = 0;
  for (size_t step = 0; step < 300; ++step) {
    const size_t count = (step * 7919) % 500 + 1;
    while (resampler.Available(queue.size()) < count) {
      queue.push_back(static_cast<float>(fed++));
    }
    std::vector<float> out(count);
    const size_t consumed = resampler.Resample(queue, out.data(), count);
    for (size_t i = 0; i < count; ++i) {
      ASSERT_NEAR(out[i], (produced + i) * ratio, 0.02) << "step " << step << " output " << i;
    }
    queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(consumed));
    used += consumed;
    produced += count;
  }
  // A step longer than one sample may carry whole samples still to skip.
  EXPECT_EQ(used + resampler.Consumption(0), produced * rates.capture_rate / rates.render_rate);
}

INSTANTIATE_TEST_SUITE_P(Rates, SidetoneResamplerTest,
                         ::testing::Values(RateCase{44100, 48000}, RateCase{48000, 44100},
                                           RateCase{48000, 48000}, RateCase{96000, 48000},
                                           RateCase{16000, 48000}));

}  // namespace
