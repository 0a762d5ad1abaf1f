#include "audio/mic_gain_capture_processing.h"

#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testing/webrtc_plugin/fake_webrtc_plugin.h"

namespace {

using fake_webrtc_plugin::Behaviour;
using Lines = std::vector<std::string>;

constexpr int kBands = 1;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

// A processor of its own per test; the process-wide one would carry state
// from test to test.
class TestProcessor : public MicGainCaptureProcessing {
 public:
  TestProcessor() = default;
};

std::vector<float> Ramp(int size) {
  std::vector<float> block(size);
  for (int i = 0; i < size; ++i) {
    block[i] = static_cast<float>(i % 17 - 8) / 8.0f;
  }
  return block;
}

class MicGainTest : public ::testing::Test {
 protected:
  void SetUp() override { fake_webrtc_plugin::ResetFake(); }

  TestProcessor processor;
};

using MicGainProcessTest = MicGainTest;

TEST_F(MicGainProcessTest, ScalesEverySampleInPlace) {
  processor.SetGain(1.5f);
  std::array<float, 4> block = {0.5f, -0.25f, 1.0f, 0.0f};
  processor.Process(kBands, 4, 4, block.data());
  EXPECT_EQ(block, (std::array<float, 4>{0.75f, -0.375f, 1.5f, 0.0f}));
}

TEST_F(MicGainProcessTest, DoesNotClipAboveFullScale) {
  processor.SetGain(2.0f);
  std::array<float, 2> block = {0.75f, -1.0f};
  processor.Process(kBands, 2, 2, block.data());
  EXPECT_EQ(block, (std::array<float, 2>{1.5f, -2.0f}));
}

TEST_F(MicGainProcessTest, UnityAndNearUnityLeaveBlockUnchanged) {
  for (float value : {1.0f, 1.0005f, 0.9995f}) {
    processor.SetGain(value);
    std::vector<float> block = Ramp(480);
    const std::vector<float> original = block;
    processor.Process(kBands, 480, 480, block.data());
    EXPECT_EQ(block, original) << "gain " << value;
  }
}

TEST_F(MicGainProcessTest, GainJustOutsideToleranceScales) {
  processor.SetGain(0.998f);
  std::array<float, 1> block = {1.0f};
  processor.Process(kBands, 1, 1, block.data());
  EXPECT_EQ(block[0], 0.998f);
}

TEST_F(MicGainProcessTest, ScalesOnlyTheShorterOfFramesAndBuffer) {
  processor.SetGain(2.0f);
  const std::vector<float> original = Ramp(480);

  std::vector<float> block = original;
  processor.Process(kBands, 480, 160, block.data());
  for (int i = 0; i < 480; ++i) {
    EXPECT_EQ(block[i], i < 160 ? original[i] * 2.0f : original[i]) << "sample " << i;
  }

  block = original;
  processor.Process(kBands, 100, 480, block.data());
  for (int i = 0; i < 480; ++i) {
    EXPECT_EQ(block[i], i < 100 ? original[i] * 2.0f : original[i]) << "sample " << i;
  }
}

TEST_F(MicGainProcessTest, IgnoresEmptyOrNegativeSizesAndNullBuffer) {
  processor.SetGain(2.0f);
  const std::vector<float> original = Ramp(16);
  for (auto [frames, size] : {std::pair{0, 16}, {16, 0}, {-1, 16}, {16, -5}, {-480, -480}}) {
    std::vector<float> block = original;
    processor.Process(kBands, frames, size, block.data());
    EXPECT_EQ(block, original) << "frames " << frames << " size " << size;
  }
  processor.Process(kBands, 16, 16, nullptr);
}

TEST_F(MicGainProcessTest, NegativeGainSilencesBlocks) {
  processor.SetGain(-0.5f);
  EXPECT_EQ(processor.CurrentGain(), 0.0f);
  std::vector<float> block = Ramp(480);
  processor.Process(kBands, 480, 480, block.data());
  for (float sample : block) {
    EXPECT_EQ(sample, 0.0f);
  }
}

TEST_F(MicGainProcessTest, NewGainAppliesFromTheNextBlock) {
  processor.SetGain(2.0f);
  std::array<float, 1> first = {0.5f};
  processor.Process(kBands, 1, 1, first.data());
  processor.SetGain(0.5f);
  std::array<float, 1> second = {0.5f};
  processor.Process(kBands, 1, 1, second.data());
  EXPECT_EQ(first[0], 1.0f);
  EXPECT_EQ(second[0], 0.25f);
}

TEST_F(MicGainProcessTest, OtherOperationsLeaveGainAndBlocksAlone) {
  processor.SetGain(1.5f);
  processor.Initialize(48000, 1);
  processor.Reset(16000);
  processor.Release();
  std::array<float, 1> block = {1.0f};
  processor.Process(kBands, 1, 1, block.data());
  EXPECT_EQ(block[0], 1.5f);
}

using MicGainSetGainTest = MicGainTest;

TEST_F(MicGainSetGainTest, ClampsToZeroToTwo) {
  const std::vector<std::pair<float, float>> cases = {
      {3.5f, 2.0f},   {2.0f, 2.0f},       {-0.5f, 0.0f},     {0.0f, 0.0f},
      {0.25f, 0.25f}, {1.0005f, 1.0005f}, {kInfinity, 2.0f}, {-kInfinity, 0.0f},
  };
  for (auto [value, stored] : cases) {
    processor.SetGain(value);
    EXPECT_EQ(processor.CurrentGain(), stored) << "set " << value;
  }
}

TEST_F(MicGainSetGainTest, IgnoresNaN) {
  processor.SetGain(1.5f);
  fake_webrtc_plugin::ResetFake();
  processor.SetGain(kNaN);
  EXPECT_EQ(processor.CurrentGain(), 1.5f);
  EXPECT_TRUE(fake_webrtc_plugin::Calls().empty());

  std::array<float, 2> block = {0.5f, -1.0f};
  processor.Process(kBands, 2, 2, block.data());
  EXPECT_EQ(block, (std::array<float, 2>{0.75f, -1.5f}));
}

using MicGainInstallTest = MicGainTest;

TEST_F(MicGainInstallTest, UnityGainsAttemptNoInstallation) {
  fake_webrtc_plugin::SetBehaviour(Behaviour::kAccepting);
  for (float value : {1.0f, 1.0005f, 0.9995f, kNaN}) {
    processor.SetGain(value);
  }
  EXPECT_TRUE(fake_webrtc_plugin::Calls().empty());
  EXPECT_TRUE(fake_webrtc_plugin::LogLines().empty());
  EXPECT_EQ(fake_webrtc_plugin::InstalledHook(), nullptr);
}

TEST_F(MicGainInstallTest, InstallsThroughThePluginInOrder) {
  fake_webrtc_plugin::SetBehaviour(Behaviour::kAccepting);
  processor.SetGain(1.5f);
  EXPECT_EQ(fake_webrtc_plugin::Calls(),
            (Lines{"shared_instance", "get_audio_processing", "add_ref",
                   "set_capture_post_processing", "release"}));
  EXPECT_EQ(fake_webrtc_plugin::InstalledHook(), &processor);
  EXPECT_EQ(fake_webrtc_plugin::OutstandingReferences(), 0);
  EXPECT_EQ(fake_webrtc_plugin::LogLines(), Lines{"mic_gain_post_processing_installed"});
}

TEST_F(MicGainInstallTest, InstallsOnlyOnce) {
  fake_webrtc_plugin::SetBehaviour(Behaviour::kAccepting);
  processor.SetGain(1.5f);
  const size_t calls_after_install = fake_webrtc_plugin::Calls().size();
  processor.SetGain(0.5f);
  processor.SetGain(1.0f);
  processor.SetGain(2.0f);
  processor.EnsureInstalled();
  EXPECT_EQ(fake_webrtc_plugin::Calls().size(), calls_after_install);
  EXPECT_EQ(fake_webrtc_plugin::LogLines(), Lines{"mic_gain_post_processing_installed"});
}

TEST_F(MicGainInstallTest, MissingPluginIsLoggedAndRetriedLater) {
  processor.SetGain(1.5f);
  EXPECT_EQ(fake_webrtc_plugin::Calls(), Lines{"shared_instance"});
  EXPECT_EQ(processor.CurrentGain(), 1.5f);

  fake_webrtc_plugin::SetBehaviour(Behaviour::kAccepting);
  processor.SetGain(1.2f);
  processor.SetGain(1.3f);
  EXPECT_EQ(fake_webrtc_plugin::LogLines(),
            (Lines{"mic_gain_webrtc_plugin_null", "mic_gain_post_processing_installed"}));
  EXPECT_EQ(fake_webrtc_plugin::InstalledHook(), &processor);
}

TEST_F(MicGainInstallTest, MissingAudioProcessingIsLoggedAndRetriedLater) {
  fake_webrtc_plugin::SetBehaviour(Behaviour::kNoAudioProcessing);
  processor.SetGain(0.5f);
  EXPECT_EQ(fake_webrtc_plugin::Calls(), (Lines{"shared_instance", "get_audio_processing"}));
  EXPECT_EQ(fake_webrtc_plugin::InstalledHook(), nullptr);

  fake_webrtc_plugin::SetBehaviour(Behaviour::kAccepting);
  processor.SetGain(0.6f);
  EXPECT_EQ(fake_webrtc_plugin::LogLines(),
            (Lines{"mic_gain_audio_processing_null", "mic_gain_post_processing_installed"}));
  EXPECT_EQ(fake_webrtc_plugin::InstalledHook(), &processor);
}

TEST_F(MicGainInstallTest, ThrowingPluginIsLoggedAndRetriedLater) {
  for (Behaviour failing : {Behaviour::kThrowingGet, Behaviour::kThrowingSetter}) {
    fake_webrtc_plugin::ResetFake();
    TestProcessor fresh;
    fake_webrtc_plugin::SetBehaviour(failing);
    fresh.SetGain(1.5f);
    EXPECT_EQ(fake_webrtc_plugin::OutstandingReferences(), 0);
    EXPECT_EQ(fake_webrtc_plugin::InstalledHook(), nullptr);

    fake_webrtc_plugin::SetBehaviour(Behaviour::kAccepting);
    fresh.SetGain(1.5f);
    EXPECT_EQ(fake_webrtc_plugin::LogLines(), (Lines{"mic_gain_post_processing_install_failed",
                                                     "mic_gain_post_processing_installed"}));
    EXPECT_EQ(fake_webrtc_plugin::InstalledHook(), &fresh);
  }
}

// The shared object's gain is whatever the cases run before left in it, so
// the starting gain is checked on a processor made the way Instance makes it.
TEST(MicGainInstanceTest, IsOneObjectAndProcessorsStartAtUnity) {
  EXPECT_EQ(&MicGainCaptureProcessing::Instance(), &MicGainCaptureProcessing::Instance());
  EXPECT_EQ(TestProcessor().CurrentGain(), 1.0f);
}

}  // namespace
