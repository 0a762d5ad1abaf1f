#include "audio/sidetone_resampler.h"

#include <vector>

#include <gtest/gtest.h>

namespace {

// Steps of uneven sizes over a ramp whose values are the input positions:
// every output reads exactly at its index times the rate ratio (no jump
// between steps), and the input used up is exactly what the outputs covered.
TEST(SidetoneResamplerTest, UnevenStepsContinueOneInterpolationAndConsumeExactly) {
  for (const auto [capture, render] : {std::pair{44100u, 48000u}, std::pair{48000u, 44100u},
                                       std::pair{48000u, 48000u}, std::pair{96000u, 48000u}}) {
    SidetoneResampler resampler(capture, render);
    std::vector<float> queue;
    size_t fed = 0, used = 0, produced = 0;
    for (size_t step = 0; step < 300; ++step) {
      const size_t count = (step * 7919) % 500 + 1;
      while (resampler.Available(queue.size()) < count) {
        queue.push_back(static_cast<float>(fed++));
      }
      std::vector<float> out(count);
      const size_t consumed = resampler.Resample(queue, out.data(), count);
      for (size_t i = 0; i < count; ++i) {
        ASSERT_NEAR(out[i], (produced + i) * double{capture} / render, 0.02)
            << capture << " " << step;
      }
      queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(consumed));
      used += consumed;
      produced += count;
    }
    // A step longer than one sample may carry whole samples still to skip.
    EXPECT_EQ(used + resampler.Consumption(0), produced * capture / render) << capture;
  }
}

}  // namespace
