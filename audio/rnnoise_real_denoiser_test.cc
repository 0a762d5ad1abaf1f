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
// White noise at about -30 dBFS: ±1000 in RNNoise's 16-bit scale.
constexpr float kNoiseAmplitude = 1000.0f / kScale;
constexpr int kNoiseFrames = 300;
// RNNoise needs a few hundred milliseconds to judge the noise floor.
constexpr int kSettlingFrames = 50;

class RealProcessor : public RnnoiseCaptureProcessing {
 public:
  RealProcessor() { EnableProcessing(); }
};

struct DenoiserDeleter {
  void operator()(DenoiseState* state) const { rnnoise_destroy(state); }
};
using Denoiser = std::unique_ptr<DenoiseState, DenoiserDeleter>;

// Uniform white noise from a fixed linear congruential sequence.
Block WhiteNoise(int samples) {
  Block noise(samples);
  uint32_t state = 12345;
  for (float& sample : noise) {
    state = state * 1664525u + 1013904223u;
    sample = (static_cast<float>(state >> 8) / 8388608.0f - 1.0f) * kNoiseAmplitude;
  }
  return noise;
}

double Energy(const Block& samples, size_t begin) {
  double sum = 0;
  for (size_t i = begin; i < samples.size(); ++i) {
    sum += static_cast<double>(samples[i]) * samples[i];
  }
  return sum;
}

// RNNoise's own output for the stream, frame by frame, in the buffer's scale.
Block ReferenceOutput(const Block& stream) {
  Denoiser denoiser(rnnoise_create(nullptr));
  EXPECT_NE(denoiser, nullptr);
  Block output(stream.size());
  std::vector<float> in(kFrame);
  std::vector<float> out(kFrame);
  for (size_t f = 0; f + kFrame <= stream.size(); f += kFrame) {
    for (int i = 0; i < kFrame; ++i) {
      in[i] = stream[f + i] * kScale;
    }
    rnnoise_process_frame(denoiser.get(), out.data(), in.data());
    for (int i = 0; i < kFrame; ++i) {
      output[f + i] = out[i] / kScale;
    }
  }
  return output;
}

// The stream through the processor in blocks of `block` samples.
Block ThroughProcessor(const Block& stream, int block) {
  RealProcessor processor;
  Block output = stream;
  for (size_t at = 0; at + block <= output.size(); at += block) {
    processor.Process(1, block, block, output.data() + at);
  }
  return output;
}

TEST(RealRnnoiseTest, WhiteNoiseComesOutWithClearlyLessEnergy) {
  const Block noise = WhiteNoise(kNoiseFrames * kFrame);
  const Block output = ThroughProcessor(noise, kFrame);
  const size_t settled = static_cast<size_t>(kSettlingFrames) * kFrame;
  const double ratio = Energy(output, settled) / Energy(noise, settled);
  EXPECT_LT(ratio, 0.6) << "output energy / input energy";
  RecordProperty("energy_ratio", std::to_string(ratio));
}

TEST(RealRnnoiseTest, ProcessorOutputIsRnnoiseOutputOnBothPaths) {
  const Block noise = WhiteNoise(20 * kFrame);
  const Block reference = ReferenceOutput(noise);
  EXPECT_EQ(ThroughProcessor(noise, kFrame), reference);

  // Blocks of 160: the same output, 320 samples late.
  constexpr int kDelay = 320;
  const Block buffered = ThroughProcessor(noise, 160);
  EXPECT_EQ(Block(buffered.begin(), buffered.begin() + kDelay),
            Block(noise.begin(), noise.begin() + kDelay));
  EXPECT_EQ(Block(buffered.begin() + kDelay, buffered.end()),
            Block(reference.begin(), reference.end() - kDelay));
}

}  // namespace
