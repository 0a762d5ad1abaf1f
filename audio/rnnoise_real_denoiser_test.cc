// The denoising processor over the RNNoise this build links.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio/rnnoise/rnnoise_api.h"
#include "audio/rnnoise_capture_processing.h"

namespace {

using Block = std::vector<float>;

constexpr int kFrame = RnnoiseCaptureProcessing::kFrameSamples;
constexpr float kScale = RnnoiseCaptureProcessing::kRnnoiseScale;

class RealProcessor : public RnnoiseCaptureProcessing {
 public:
  RealProcessor() { EnableProcessing(); }
};

// Uniform white noise at ±1000 in RNNoise's 16-bit scale (about -30 dBFS),
// from a fixed linear congruential sequence.
Block WhiteNoise(int frames) {
  Block noise(static_cast<size_t>(frames) * kFrame);
  uint32_t state = 12345;
  for (float& sample : noise) {
    state = state * 1664525u + 1013904223u;
    sample = (static_cast<float>(state >> 8) / 8388608.0f - 1.0f) * 1000.0f / kScale;
  }
  return noise;
}

Block ThroughProcessor(Block stream, int block) {
  RealProcessor processor;
  for (size_t at = 0; at + block <= stream.size(); at += block) {
    processor.Process(1, block, block, stream.data() + at);
  }
  return stream;
}

TEST(RealRnnoiseTest, WhiteNoiseComesOutWithClearlyLessEnergy) {
  const Block noise = WhiteNoise(300);
  const Block output = ThroughProcessor(noise, kFrame);
  // RNNoise takes a few hundred milliseconds to learn the noise floor.
  double in = 0;
  double out = 0;
  for (size_t i = 50 * kFrame; i < noise.size(); ++i) {
    in += static_cast<double>(noise[i]) * noise[i];
    out += static_cast<double>(output[i]) * output[i];
  }
  RecordProperty("energy_ratio", std::to_string(out / in));
  EXPECT_LT(out / in, 0.6);
}

TEST(RealRnnoiseTest, ProcessorOutputIsRnnoiseOutputOnBothPaths) {
  const Block noise = WhiteNoise(20);
  Block reference(noise.size());
  std::unique_ptr<DenoiseState, void (*)(DenoiseState*)> denoiser(rnnoise_create(nullptr),
                                                                  &rnnoise_destroy);
  ASSERT_NE(denoiser, nullptr);
  Block in(kFrame);
  for (size_t at = 0; at < noise.size(); at += kFrame) {
    for (int i = 0; i < kFrame; ++i) {
      in[i] = noise[at + i] * kScale;
    }
    rnnoise_process_frame(denoiser.get(), reference.data() + at, in.data());
    for (int i = 0; i < kFrame; ++i) {
      reference[at + i] /= kScale;
    }
  }
  EXPECT_EQ(ThroughProcessor(noise, kFrame), reference);

  // Blocks of 160: the first 320 samples pass, then the same output follows.
  const Block buffered = ThroughProcessor(noise, 160);
  EXPECT_EQ(Block(buffered.begin(), buffered.begin() + 320),
            Block(noise.begin(), noise.begin() + 320));
  EXPECT_EQ(Block(buffered.begin() + 320, buffered.end()),
            Block(reference.begin(), reference.end() - 320));
}

}  // namespace
