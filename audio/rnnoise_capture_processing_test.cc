#include "audio/rnnoise_capture_processing.h"

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testing/webrtc_plugin/fake_webrtc_plugin.h"

namespace {

using Block = std::vector<float>;
using Lines = std::vector<std::string>;

constexpr int kFrame = RnnoiseCaptureProcessing::kFrameSamples;
constexpr float kScale = RnnoiseCaptureProcessing::kRnnoiseScale;
constexpr int kBands = 1;

// A deterministic stand-in for RNNoise: each output sample is a fixed
// function of its input and of how many frames the state has seen, so a test
// can compute every expected sample.
struct FakeDenoiser {
  int frames_seen = 0;
};

struct FakeLibrary {
  bool refuse_create = false;
  int created = 0;
  int destroyed = 0;
  int frames = 0;
};

FakeLibrary& Fake() {
  static FakeLibrary library;
  return library;
}

float FakeOutput(float in, int frame_index) {
  return -0.5f * in + static_cast<float>(frame_index + 1);
}

DenoiseState* FakeCreate(RNNModel* model) {
  EXPECT_EQ(model, nullptr);
  if (Fake().refuse_create) {
    return nullptr;
  }
  ++Fake().created;
  return reinterpret_cast<DenoiseState*>(new FakeDenoiser());
}

void FakeDestroy(DenoiseState* state) {
  ++Fake().destroyed;
  delete reinterpret_cast<FakeDenoiser*>(state);
}

float FakeProcessFrame(DenoiseState* state, float* out, const float* in) {
  auto* denoiser = reinterpret_cast<FakeDenoiser*>(state);
  for (int i = 0; i < kFrame; ++i) {
    out[i] = FakeOutput(in[i], denoiser->frames_seen);
  }
  ++denoiser->frames_seen;
  ++Fake().frames;
  return 0.5f;
}

class TestProcessor : public RnnoiseCaptureProcessing {
 public:
  TestProcessor() : RnnoiseCaptureProcessing({&FakeCreate, &FakeDestroy, &FakeProcessFrame}) {}
  using RnnoiseCaptureProcessing::EnableProcessing;
};

// The stream the tests feed: distinct, exactly representable samples.
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

// What the direct path gives for a frame that is the state's frame_index-th.
Block DirectMix(const Block& frame, float wet, int frame_index) {
  Block mixed(frame.size());
  for (size_t i = 0; i < frame.size(); ++i) {
    const float out = FakeOutput(frame[i] * kScale, frame_index);
    mixed[i] = out * (1.0f / kScale) * wet + (1.0f - wet) * frame[i];
  }
  return mixed;
}

// What the buffered path queues for a frame.
Block BufferedMix(const Block& frame, float wet, int frame_index) {
  Block mixed(frame.size());
  for (size_t i = 0; i < frame.size(); ++i) {
    const float in = frame[i] * kScale;
    const float out = FakeOutput(in, frame_index);
    mixed[i] = in * (1.0f / kScale) * (1.0f - wet) + out * (1.0f / kScale) * wet;
  }
  return mixed;
}

class RnnoiseProcessingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Fake() = FakeLibrary{};
    fake_webrtc_plugin::ResetFake();
    processor = std::make_unique<TestProcessor>();
    processor->EnableProcessing();
  }

  // Runs one block through Process and returns it.
  Block Run(Block block, int frames = -1, int buffer_size = -1) {
    const int size = static_cast<int>(block.size());
    processor->Process(kBands, frames < 0 ? size : frames, buffer_size < 0 ? size : buffer_size,
                       block.data());
    return block;
  }

  std::unique_ptr<TestProcessor> processor;
};

TEST_F(RnnoiseProcessingTest, FullWetFrameIsExactlyTheDenoiserOutputScaledBack) {
  const Block frame = Stream(kFrame);
  const Block out = Run(frame);
  for (int i = 0; i < kFrame; ++i) {
    ASSERT_EQ(out[i], FakeOutput(frame[i] * kScale, 0) / kScale) << i;
  }
  EXPECT_EQ(Fake().created, 1);
}

TEST_F(RnnoiseProcessingTest, FramesWithEmptyFifosAreMixedInPlaceWithoutDelay) {
  const Block stream = Stream(3 * kFrame);
  const float levels[] = {0.5f, 0.25f, 0.8f};
  for (int f = 0; f < 3; ++f) {
    processor->SetWet(levels[f]);
    const Block frame = Slice(stream, f * kFrame, kFrame);
    EXPECT_EQ(Run(frame), DirectMix(frame, levels[f], f)) << "frame " << f;
  }
}

TEST_F(RnnoiseProcessingTest, SmallBlocksComeBackUnchangedTwiceThenDelayedBy320) {
  constexpr int kBlock = 160;
  constexpr float kWet = 0.5f;
  constexpr int kBlocks = 12;
  processor->SetWet(kWet);
  const Block stream = Stream(kBlocks * kBlock);
  Block mixed;
  for (int f = 0; f < kBlocks * kBlock / kFrame; ++f) {
    const Block frame_mix = BufferedMix(Slice(stream, f * kFrame, kFrame), kWet, f);
    mixed.insert(mixed.end(), frame_mix.begin(), frame_mix.end());
  }
  for (int b = 0; b < kBlocks; ++b) {
    const Block block = Slice(stream, b * kBlock, kBlock);
    const Block out = Run(block);
    if (b < 2) {
      EXPECT_EQ(out, block) << "block " << b;
    } else {
      EXPECT_EQ(out, Slice(mixed, (b - 2) * kBlock, kBlock)) << "block " << b;
    }
  }
  EXPECT_EQ(Fake().frames, kBlocks * kBlock / kFrame);
}

TEST_F(RnnoiseProcessingTest, BlockShortOfMixedSamplesKeepsItsUnprocessedTail) {
  const Block stream = Stream(880);
  Run(Slice(stream, 0, 400));
  const Block second = Slice(stream, 400, 400);
  const Block out = Run(second);
  const Block mixed = BufferedMix(Slice(stream, 0, kFrame), 1.0f, 0);
  // 480 mixed samples are ready: 400 fill this block, 80 wait.
  EXPECT_EQ(out, Slice(mixed, 0, 400));
  EXPECT_EQ(Run(Slice(stream, 800, 80)), Slice(mixed, 400, 80));
  // Nothing waits now, and 400 + 60 samples are short of a frame.
  const Block fourth = Stream(60, 7);
  EXPECT_EQ(Run(fourth), fourth);
}

TEST_F(RnnoiseProcessingTest, NearlyDryLevelLeavesBlocksAndFifosAlone) {
  constexpr int kBlock = 160;
  const Block stream = Stream(4 * kBlock);
  Run(Slice(stream, 0, kBlock));
  processor->SetWet(0.0005f);
  const Block untouched = Stream(kBlock, 99);
  EXPECT_EQ(Run(untouched), untouched);
  processor->SetWet(0.001f);
  EXPECT_EQ(Run(untouched), untouched);
  EXPECT_EQ(Fake().frames, 0);

  processor->SetWet(1.0f);
  EXPECT_EQ(Run(Slice(stream, kBlock, kBlock)), Slice(stream, kBlock, kBlock));
  const Block mixed = BufferedMix(Slice(stream, 0, kFrame), 1.0f, 0);
  EXPECT_EQ(Run(Slice(stream, 2 * kBlock, kBlock)), Slice(mixed, 0, kBlock));
}

TEST_F(RnnoiseProcessingTest, ReleaseThenProcessStartsAfresh) {
  const Block stream = Stream(2 * kFrame);
  Run(Slice(stream, 0, 160));
  Run(Slice(stream, 160, 160));
  processor->Release();
  EXPECT_EQ((std::pair{Fake().created, Fake().destroyed}), (std::pair{1, 1}));

  // A new state (frame index 0 again) and empty FIFOs: the direct path.
  const Block frame = Slice(stream, kFrame, kFrame);
  EXPECT_EQ(Run(frame), DirectMix(frame, 1.0f, 0));
  EXPECT_EQ((std::pair{Fake().created, Fake().destroyed}), (std::pair{2, 1}));
}

TEST_F(RnnoiseProcessingTest, InitializeAndResetRebuildTheState) {
  Run(Stream(160));
  processor->Initialize(48000, 1);
  EXPECT_EQ((std::pair{Fake().created, Fake().destroyed}), (std::pair{2, 1}));
  const Block frame = Stream(kFrame, 3);
  EXPECT_EQ(Run(frame), DirectMix(frame, 1.0f, 0));
  Run(Stream(160));
  processor->Reset(16000);
  EXPECT_EQ((std::pair{Fake().created, Fake().destroyed}), (std::pair{3, 2}));
  EXPECT_EQ(Run(frame), DirectMix(frame, 1.0f, 0));
}

TEST_F(RnnoiseProcessingTest, CountIsTheFrameCountCappedByAPositiveBufferLength) {
  const Block frame = Stream(kFrame);
  // Buffer length 0 or negative: the frame count (480) rules, direct path.
  EXPECT_EQ(Run(frame, kFrame, 0), DirectMix(frame, 1.0f, 0));
  EXPECT_EQ(Run(frame, kFrame, -5), DirectMix(frame, 1.0f, 1));
  // Buffer length 160: only 160 samples enter the stream, buffered.
  EXPECT_EQ(Run(frame, kFrame, 160), frame);
  EXPECT_EQ(Fake().frames, 2);
}

TEST_F(RnnoiseProcessingTest, UnusableBlocksAreNotTouched) {
  processor->Process(kBands, kFrame, kFrame, nullptr);
  Block block = Stream(kFrame);
  const Block original = block;
  for (int frames : {0, -1}) {
    processor->Process(kBands, frames, kFrame, block.data());
  }
  EXPECT_EQ(block, original);
  EXPECT_EQ(Fake().created, 0);
}

TEST_F(RnnoiseProcessingTest, FailedCreationPassesBlocksAndRetries) {
  Fake().refuse_create = true;
  const Block frame = Stream(kFrame);
  EXPECT_EQ(Run(frame), frame);
  EXPECT_EQ(Run(frame), frame);
  Fake().refuse_create = false;
  EXPECT_EQ(Run(frame), DirectMix(frame, 1.0f, 0));
  EXPECT_EQ(Fake().created, 1);
}

TEST(RnnoiseSettingsTest, DisabledProcessorTouchesNothing) {
  Fake() = FakeLibrary{};
  fake_webrtc_plugin::ResetFake();
  TestProcessor processor;
  processor.SetEnabled(true);
  processor.SetEnabled(false);
  EXPECT_FALSE(processor.IsEnabled());
  EXPECT_EQ(fake_webrtc_plugin::LogLines(),
            (Lines{"rnnoise_skipped_hook_disabled", "rnnoise_disabled_hook_disabled"}));
  Block block = Stream(kFrame);
  const Block original = block;
  processor.Process(kBands, kFrame, kFrame, block.data());
  EXPECT_EQ(block, original);
  EXPECT_EQ(Fake().created, 0);
}

TEST(RnnoiseSettingsTest, WetIsClampedAndNaNIgnored) {
  TestProcessor processor;
  const std::vector<std::pair<float, float>> cases = {
      {0.5f, 0.5f},
      {3.0f, 1.0f},
      {-2.0f, 0.0f},
      {std::numeric_limits<float>::infinity(), 1.0f},
      {std::numeric_limits<float>::quiet_NaN(), 1.0f},
      {0.0f, 0.0f},
      {std::numeric_limits<float>::quiet_NaN(), 0.0f}};
  for (const auto& [value, stored] : cases) {
    processor.SetWet(value);
    EXPECT_EQ(processor.CurrentWet(), stored) << value;
  }
}

}  // namespace
