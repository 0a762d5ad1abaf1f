#include "audio/rnnoise_capture_processing.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "audio/rnnoise/rnnoise_api.h"
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

float FakeOutput(float in, int frame_index) {
  return -0.5f * in + static_cast<float>(frame_index + 1);
}

DenoiseState* FakeCreate(RNNModel* model) {
  EXPECT_EQ(model, nullptr);
  if (fake.refuse_create) {
    return nullptr;
  }
  ++fake.created;
  return reinterpret_cast<DenoiseState*>(new int(0));
}

void FakeDestroy(DenoiseState* state) {
  ++fake.destroyed;
  delete reinterpret_cast<int*>(state);
}

float FakeProcessFrame(DenoiseState* state, float* out, const float* in) {
  int& frames_seen = *reinterpret_cast<int*>(state);
  for (int i = 0; i < kFrame; ++i) {
    out[i] = FakeOutput(in[i], frames_seen);
  }
  ++frames_seen;
  ++fake.frames;
  return 0.5f;
}

// Processing is off in the product; only tests turn it on.
class TestProcessor : public RnnoiseCaptureProcessing {
 public:
  explicit TestProcessor(const RnnoiseFunctions& functions = {&FakeCreate, &FakeDestroy,
                                                              &FakeProcessFrame})
      : RnnoiseCaptureProcessing(functions) {
    EnableProcessing();
  }
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

Block Feed(RnnoiseCaptureProcessing& processor, Block block, int buffer_size = -1) {
  const int size = static_cast<int>(block.size());
  processor.Process(1, size, buffer_size < 0 ? size : buffer_size, block.data());
  return block;
}

class RnnoiseProcessingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake = FakeLibrary{};
    fake_webrtc_plugin::ResetFake();
  }

  TestProcessor processor;
};

TEST_F(RnnoiseProcessingTest, FullWetFrameIsExactlyTheDenoiserOutputScaledBack) {
  const Block frame = Stream(kFrame);
  const Block out = Feed(processor, frame);
  for (int i = 0; i < kFrame; ++i) {
    ASSERT_EQ(out[i], FakeOutput(frame[i] * kScale, 0) / kScale) << i;
  }
  processor.SetWet(0.5f);
  EXPECT_EQ(Feed(processor, frame), DirectMix(frame, 0.5f, 1));
  // A buffer shorter than the frame count caps the block: buffered, none ready.
  EXPECT_EQ(Feed(processor, frame, 160), frame);
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
    EXPECT_EQ(Feed(processor, block), expected) << "block " << b;
  }
  EXPECT_EQ(fake.frames, kBlocks * kBlock / kFrame);
}

TEST_F(RnnoiseProcessingTest, NearlyDryLevelLeavesBlocksAndFifosAlone) {
  const Block stream = Stream(3 * 160);
  Feed(processor, Slice(stream, 0, 160));
  const Block untouched = Stream(160, 99);
  for (float wet : {0.0005f, 0.001f}) {
    processor.SetWet(wet);
    EXPECT_EQ(Feed(processor, untouched), untouched) << wet;
  }
  EXPECT_EQ(fake.frames, 0);
  // The stream goes on as if the dry blocks never came; a NaN level is
  // ignored rather than turning every sample into NaN.
  processor.SetWet(1.0f);
  processor.SetWet(std::nanf(""));
  Feed(processor, Slice(stream, 160, 160));
  EXPECT_EQ(Feed(processor, Slice(stream, 320, 160)), Slice(BufferedMix(stream, 1.0f), 0, 160));
}

TEST_F(RnnoiseProcessingTest, ReleaseInitializeAndResetStartAfresh) {
  const std::pair<const char*, std::function<void(RnnoiseCaptureProcessing&)>> restarts[] = {
      {"Release", [](RnnoiseCaptureProcessing& p) { p.Release(); }},
      {"Initialize", [](RnnoiseCaptureProcessing& p) { p.Initialize(48000, 1); }},
      {"Reset", [](RnnoiseCaptureProcessing& p) { p.Reset(16000); }},
  };
  const Block frame = Stream(kFrame, 7);
  for (const auto& [name, restart] : restarts) {
    SetUp();
    TestProcessor fresh;
    Feed(fresh, Stream(640));  // one frame seen, 160 samples left in the FIFOs
    restart(fresh);
    // A new state (frame index 0) and empty FIFOs: the direct path again.
    EXPECT_EQ(Feed(fresh, frame), DirectMix(frame, 1.0f, 0)) << name;
    EXPECT_EQ(std::pair(fake.created, fake.destroyed), std::pair(2, 1)) << name;
  }
}

TEST_F(RnnoiseProcessingTest, BlocksPassUntouchedWhileDisabledOrWithoutState) {
  const Block frame = Stream(kFrame);
  fake.refuse_create = true;
  EXPECT_EQ(Feed(processor, frame), frame);
  fake.refuse_create = false;
  EXPECT_EQ(Feed(processor, frame), DirectMix(frame, 1.0f, 0));

  // Asking to enable leaves processing off: the hook is disabled in this host.
  processor.SetEnabled(true);
  EXPECT_EQ(Feed(processor, frame), frame);
}

// The real RNNoise this build links. Uniform white noise at ±1000 in its
// 16-bit scale (about -30 dBFS), from a fixed linear congruential sequence.
Block WhiteNoise(int frames) {
  Block noise(static_cast<size_t>(frames) * kFrame);
  uint32_t state = 12345;
  for (float& sample : noise) {
    state = state * 1664525u + 1013904223u;
    sample = (static_cast<float>(state >> 8) / 8388608.0f - 1.0f) * 1000.0f / kScale;
  }
  return noise;
}

Block ThroughRealProcessor(Block stream, int block) {
  TestProcessor processor(LinkedRnnoise());
  for (size_t at = 0; at + block <= stream.size(); at += block) {
    processor.Process(1, block, block, stream.data() + at);
  }
  return stream;
}

TEST(RealRnnoiseTest, WhiteNoiseComesOutWithClearlyLessEnergy) {
  const Block noise = WhiteNoise(300);
  const Block output = ThroughRealProcessor(noise, kFrame);
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
  EXPECT_EQ(ThroughRealProcessor(noise, kFrame), reference);
  // Blocks of 160: the first 320 samples pass, then the same output follows.
  const Block buffered = ThroughRealProcessor(noise, 160);
  EXPECT_EQ(Slice(buffered, 0, 320), Slice(noise, 0, 320));
  EXPECT_EQ(Slice(buffered, 320, static_cast<int>(noise.size()) - 320),
            Slice(reference, 0, static_cast<int>(noise.size()) - 320));
}

}  // namespace
