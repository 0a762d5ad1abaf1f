#include "audio/rnnoise_capture_processing.h"

#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "testing/webrtc_plugin/fake_webrtc_plugin.h"

namespace {

using Block = std::vector<float>;

constexpr int kFrame = RnnoiseCaptureProcessing::kFrameSamples;
constexpr float kScale = RnnoiseCaptureProcessing::kRnnoiseScale;

// A deterministic stand-in for RNNoise: each output sample is a fixed
// function of its input and of how many frames its state has seen.
struct FakeLibrary {
  bool refuse_create = false;
  int created = 0;
  int destroyed = 0;
  int frames = 0;
} fake;

struct FakeDenoiser {
  int frames_seen = 0;
};

float FakeOutput(float in, int frame_index) {
  return -0.5f * in + static_cast<float>(frame_index + 1);
}

DenoiseState* FakeCreate(RNNModel* model) {
  EXPECT_EQ(model, nullptr);
  if (fake.refuse_create) {
    return nullptr;
  }
  ++fake.created;
  return reinterpret_cast<DenoiseState*>(new FakeDenoiser());
}

void FakeDestroy(DenoiseState* state) {
  ++fake.destroyed;
  delete reinterpret_cast<FakeDenoiser*>(state);
}

float FakeProcessFrame(DenoiseState* state, float* out, const float* in) {
  auto* denoiser = reinterpret_cast<FakeDenoiser*>(state);
  for (int i = 0; i < kFrame; ++i) {
    out[i] = FakeOutput(in[i], denoiser->frames_seen);
  }
  ++denoiser->frames_seen;
  ++fake.frames;
  return 0.5f;
}

class TestProcessor : public RnnoiseCaptureProcessing {
 public:
  TestProcessor() : RnnoiseCaptureProcessing({&FakeCreate, &FakeDestroy, &FakeProcessFrame}) {}
  using RnnoiseCaptureProcessing::EnableProcessing;
};

// Distinct, exactly representable samples.
Block Stream(int size, int offset = 0) {
  Block samples(size);
  for (int i = 0; i < size; ++i) {
    samples[i] = static_cast<float>((i + offset) % 251 - 125) / 256.0f;
  }
  return samples;
}

Block Slice(const Block& samples, int begin, int size) {
  return Block(samples.begin() + begin, samples.begin() + begin + size);
}

// The direct path's result for the state's frame_index-th frame.
Block DirectMix(const Block& frame, float wet, int frame_index) {
  Block mixed(frame.size());
  for (size_t i = 0; i < frame.size(); ++i) {
    const float out = FakeOutput(frame[i] * kScale, frame_index);
    mixed[i] = out * (1.0f / kScale) * wet + (1.0f - wet) * frame[i];
  }
  return mixed;
}

// The buffered path's mixed stream for whole frames of `stream`.
Block BufferedMix(const Block& stream, float wet) {
  Block mixed(stream.size() / kFrame * kFrame);
  for (size_t i = 0; i < mixed.size(); ++i) {
    const float in = stream[i] * kScale;
    const float out = FakeOutput(in, static_cast<int>(i) / kFrame);
    mixed[i] = in * (1.0f / kScale) * (1.0f - wet) + out * (1.0f / kScale) * wet;
  }
  return mixed;
}

class RnnoiseProcessingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake = FakeLibrary{};
    fake_webrtc_plugin::ResetFake();
    processor.EnableProcessing();
  }

  Block Run(Block block, int frames = -1, int buffer_size = -1) {
    const int size = static_cast<int>(block.size());
    processor.Process(1, frames < 0 ? size : frames, buffer_size < 0 ? size : buffer_size,
                      block.data());
    return block;
  }

  TestProcessor processor;
};

TEST_F(RnnoiseProcessingTest, FullWetFrameIsExactlyTheDenoiserOutputScaledBack) {
  const Block frame = Stream(kFrame);
  const Block out = Run(frame);
  for (int i = 0; i < kFrame; ++i) {
    ASSERT_EQ(out[i], FakeOutput(frame[i] * kScale, 0) / kScale) << i;
  }
  // Partial wet levels mix in place, frame after frame, without delay.
  for (int f = 1; f <= 2; ++f) {
    const float wet = 0.25f * static_cast<float>(f);
    processor.SetWet(wet);
    EXPECT_EQ(Run(frame), DirectMix(frame, wet, f)) << "frame " << f;
  }
}

TEST_F(RnnoiseProcessingTest, BlocksOf160ComeBackUnchangedTwiceThenDelayedBy320) {
  constexpr int kBlock = 160;
  constexpr int kBlocks = 12;
  processor.SetWet(0.5f);
  const Block stream = Stream(kBlocks * kBlock);
  const Block mixed = BufferedMix(stream, 0.5f);
  for (int b = 0; b < kBlocks; ++b) {
    const Block block = Slice(stream, b * kBlock, kBlock);
    const Block expected = b < 2 ? block : Slice(mixed, (b - 2) * kBlock, kBlock);
    EXPECT_EQ(Run(block), expected) << "block " << b;
  }
  EXPECT_EQ(fake.frames, kBlocks * kBlock / kFrame);
}

TEST_F(RnnoiseProcessingTest, NearlyDryLevelLeavesBlocksAndFifosAlone) {
  const Block stream = Stream(3 * 160);
  Run(Slice(stream, 0, 160));
  const Block untouched = Stream(160, 99);
  for (float wet : {0.0005f, 0.001f}) {
    processor.SetWet(wet);
    EXPECT_EQ(Run(untouched), untouched) << wet;
  }
  EXPECT_EQ(fake.frames, 0);
  // The stream goes on as if the dry blocks never came; a NaN level is
  // ignored rather than turning every sample into NaN.
  processor.SetWet(1.0f);
  processor.SetWet(std::nanf(""));
  Run(Slice(stream, 160, 160));
  EXPECT_EQ(Run(Slice(stream, 320, 160)), Slice(BufferedMix(stream, 1.0f), 0, 160));
}

TEST_F(RnnoiseProcessingTest, ReleaseThenProcessStartsAfresh) {
  Run(Stream(160));
  Run(Stream(160, 160));
  processor.Release();
  EXPECT_EQ(std::pair(fake.created, fake.destroyed), std::pair(1, 1));
  // A new state (frame index 0) and empty FIFOs: the direct path again.
  const Block frame = Stream(kFrame, 7);
  EXPECT_EQ(Run(frame), DirectMix(frame, 1.0f, 0));
  EXPECT_EQ(std::pair(fake.created, fake.destroyed), std::pair(2, 1));
}

TEST_F(RnnoiseProcessingTest, InitializeAndResetRebuildTheState) {
  const Block frame = Stream(kFrame);
  Run(Stream(160));
  processor.Initialize(48000, 1);
  EXPECT_EQ(Run(frame), DirectMix(frame, 1.0f, 0));
  Run(Stream(160));
  processor.Reset(16000);
  EXPECT_EQ(Run(frame), DirectMix(frame, 1.0f, 0));
  EXPECT_EQ(std::pair(fake.created, fake.destroyed), std::pair(3, 2));
}

TEST_F(RnnoiseProcessingTest, CountIsTheFrameCountCappedByAPositiveBufferLength) {
  const Block frame = Stream(kFrame);
  EXPECT_EQ(Run(frame, kFrame, 0), DirectMix(frame, 1.0f, 0));
  EXPECT_EQ(Run(frame, kFrame, -5), DirectMix(frame, 1.0f, 1));
  // Only 160 samples enter the stream: buffered, nothing ready yet.
  EXPECT_EQ(Run(frame, kFrame, 160), frame);
  EXPECT_EQ(fake.frames, 2);
}

TEST_F(RnnoiseProcessingTest, BlocksPassUnchangedWhileNoStateCanBeMade) {
  fake.refuse_create = true;
  const Block frame = Stream(kFrame);
  EXPECT_EQ(Run(frame), frame);
  EXPECT_EQ(Run(frame), frame);
  fake.refuse_create = false;
  EXPECT_EQ(Run(frame), DirectMix(frame, 1.0f, 0));
}

TEST_F(RnnoiseProcessingTest, DisabledOrUnusableBlocksAreNotTouched) {
  processor.Process(1, kFrame, kFrame, nullptr);
  const Block frame = Stream(kFrame);
  Block block = frame;
  for (int frames : {0, -1}) {
    processor.Process(1, frames, kFrame, block.data());
  }
  EXPECT_EQ(block, frame);

  processor.SetEnabled(true);
  EXPECT_FALSE(processor.IsEnabled());
  EXPECT_EQ(Run(frame), frame);
  EXPECT_EQ(fake.created, 0);
  EXPECT_EQ(fake_webrtc_plugin::LogLines(),
            std::vector<std::string>{"rnnoise_skipped_hook_disabled"});
}

}  // namespace
