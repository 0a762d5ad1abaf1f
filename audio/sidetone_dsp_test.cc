#include "audio/sidetone_dsp.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "audio/sidetone_resampler.h"

namespace {

constexpr uint16_t kPcm = 1;

std::vector<float> Ramp(size_t count, size_t first = 0) {
  std::vector<float> samples(count);
  for (size_t i = 0; i < count; ++i) {
    samples[i] = static_cast<float>(first + i);
  }
  return samples;
}

template <typename T>
std::vector<uint8_t> Bytes(const std::vector<T>& values) {
  std::vector<uint8_t> bytes(values.size() * sizeof(T));
  std::memcpy(bytes.data(), values.data(), bytes.size());
  return bytes;
}

template <typename T>
std::vector<T> Values(const std::vector<uint8_t>& bytes) {
  std::vector<T> values(bytes.size() / sizeof(T));
  std::memcpy(values.data(), bytes.data(), values.size() * sizeof(T));
  return values;
}

TEST(SidetoneFormatTest, BacklogLimitIsAFifthOfASecond) {
  EXPECT_EQ(MaxQueueSamples(44100), 8820u);
  EXPECT_EQ(MaxQueueSamples(48000), 9600u);
}

TEST(SidetoneFormatTest, ShortBlockAlignKeepsWritesInsideTheFrame) {
  // Two float channels claimed in a 4-byte frame: only one fits.
  const SidetoneFrameLayout layout = LayoutOf({kWaveFormatIeeeFloat, 2, 48000, 4, 32});
  EXPECT_EQ(layout.channels_in_frame, 1u);
  std::vector<uint8_t> frames(3 * 4 + 4, 0xEE);
  WriteRenderFrames({0.25f, 0.5f, 0.75f}, layout, frames.data());
  EXPECT_EQ(frames.back(), 0xEE);
}

TEST(SidetoneDownmixTest, ChannelsAreAveragedAndScaledSilenceAppendsZeros) {
  std::vector<float> queue = {9.0f};  // a sample already queued stays first
  const auto floats = Bytes<float>({0.5f, -0.25f, 1.0f, 1.0f, -0.5f, 0.0f});
  AppendCapturePacket(
      floats.data(), 3, false,
      LayoutOf({kWaveFormatExtensible, 2, 48000, 8, 32, SidetoneSubFormat::kIeeeFloat, 32, 0x3}),
      0.5f, queue);
  EXPECT_EQ(queue, (std::vector<float>{9.0f, 0.0625f, 0.5f, -0.125f}));

  // 16-bit frames are summed as integers, then scaled by 1/32768.
  queue.clear();
  const auto pcm = Bytes<int16_t>({32767, 32767, -32768, -32768, 16384, 0});
  AppendCapturePacket(pcm.data(), 3, false, LayoutOf({kPcm, 2, 44100, 4, 16}), 1.0f, queue);
  EXPECT_EQ(queue, (std::vector<float>{32767.0f / 32768.0f, -1.0f, 0.25f}));

  // A silent packet, null data and a volume at or below 0.0001 append zeros.
  queue.clear();
  const SidetoneFrameLayout mono = LayoutOf({kWaveFormatIeeeFloat, 1, 48000, 4, 32});
  AppendCapturePacket(floats.data(), 2, true, mono, 1.0f, queue);
  AppendCapturePacket(nullptr, 2, false, mono, 1.0f, queue);
  AppendCapturePacket(floats.data(), 2, false, mono, 0.0001f, queue);
  AppendCapturePacket(floats.data(), 1, false, mono, 0.0002f, queue);
  ASSERT_EQ(queue.size(), 7u);
  EXPECT_EQ(std::vector<float>(queue.begin(), queue.begin() + 6), std::vector<float>(6, 0.0f));
  EXPECT_FLOAT_EQ(queue[6], 0.0001f);
}

// Each integer width is read over its own full scale: the same two values,
// 0.5 and -1 in the left and right channel, average to -0.25; a frame of
// zeros reads as exactly 0.
TEST(SidetoneDownmixTest, EveryIntegerWidthReadsAtItsScale) {
  struct Case {
    const char* name;
    SidetoneMixFormat format;
    std::vector<uint8_t> frame;
  };
  for (const Case& c : {
           Case{"16-bit", {kPcm, 2, 48000, 4, 16}, {0x00, 0x40, 0x00, 0x80}},
           Case{"packed 24", {kPcm, 2, 48000, 6, 24}, {0x00, 0x00, 0x40, 0x00, 0x00, 0x80}},
           Case{"24 in 32",
                {kWaveFormatExtensible, 2, 48000, 8, 32, SidetoneSubFormat::kPcm, 24, 0x3},
                {0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x80}},
           Case{"32-bit",
                {kWaveFormatExtensible, 2, 48000, 8, 32, SidetoneSubFormat::kPcm, 32, 0},
                {0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x80}},
           Case{"unsigned 8-bit", {kPcm, 2, 8000, 2, 8}, {0xC0, 0x00}},
           Case{"float", {kWaveFormatIeeeFloat, 2, 48000, 8, 32}, Bytes<float>({0.5f, -1.0f})},
       }) {
    std::vector<uint8_t> frames = c.frame;
    frames.resize(2 * c.frame.size(), c.format.bits_per_sample == 8 ? 0x80 : 0x00);
    std::vector<float> queue;
    AppendCapturePacket(frames.data(), 2, false, LayoutOf(c.format), 1.0f, queue);
    EXPECT_EQ(queue, (std::vector<float>{-0.25f, 0.0f})) << c.name;
  }
  // A format that carries no samples reads as silence.
  std::vector<float> queue;
  const auto frame = Bytes<float>({0.5f, 0.5f});
  AppendCapturePacket(frame.data(), 1, false,
                      LayoutOf({kWaveFormatExtensible, 2, 48000, 8, 32, SidetoneSubFormat::kOther}),
                      1.0f, queue);
  EXPECT_EQ(queue, std::vector<float>{0.0f});
}

// Steps of uneven sizes over a ramp whose values are the input positions:
// every output reads exactly at its index times the rate ratio (no jump
// between steps), and the input used up is exactly what the outputs covered.
TEST(SidetoneResamplerTest, UnevenStepsContinueOneInterpolationAndConsumeExactly) {
  for (const auto& [capture, render] : {std::pair{44100u, 48000u}, std::pair{48000u, 44100u},
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
        ASSERT_NEAR(out[i], static_cast<double>(produced + i) * capture / render, 0.02)
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

// A rate of zero (a format that names none) passes samples through one for
// one rather than dividing by it.
TEST(SidetoneResamplerTest, ZeroRateOnEitherSideStepsOneSampleAtATime) {
  for (const auto& [capture, render] : {std::pair{0u, 48000u}, std::pair{44100u, 0u}}) {
    SidetoneResampler resampler(capture, render);
    EXPECT_EQ(resampler.Available(10), 10u) << capture << " " << render;
    EXPECT_EQ(resampler.Consumption(10), 10u) << capture << " " << render;
  }
}

// A cut into a sine (of this period, 0: silence) lands a whole number of
// periods in, the nearest to the cut wanted, within the range allowed and
// with 96 samples after it to match.
TEST(SidetoneSpliceTest, CutLandsWhereTheWaveformGoesOn) {
  struct Row {
    double period;
    size_t size, wanted, shortest, longest, cut;
  };
  const Row rows[] = {
      {48.0, 1000, 100, 40, 110, 96},               // a period's multiple below
      {48.0, 1000, 130, 1, 200, 144},               // or above, the nearer one
      {48.0, 1000, 100, 100, 110, 100},             // the best the range allows
      {48.0, 200, 150, 90, 200, 96},                // no cut without its samples after it
      {48.0, 50, 30, 1, 40, 30},                    // nor with too few samples to match
      {0.0, 1000, 100, 40, 110, 100},               // silence keeps the cut wanted
      {48000.0 / 997.0, 1000, 480, 120, 600, 337},  // 997 Hz: 7 periods are 337.01
  };
  for (const Row& row : rows) {
    std::vector<float> samples(row.size, 0.0f);
    for (size_t i = 0; i < samples.size() && row.period != 0.0; ++i) {
      samples[i] = static_cast<float>(0.5 * std::sin(2.0 * 3.14159265358979 * i / row.period));
    }
    EXPECT_EQ(MatchingCut(samples, row.wanted, row.shortest, row.longest, 96), row.cut)
        << row.period << " " << row.size << " " << row.wanted;
  }
}

TEST(SidetoneBacklogTest, CutKeepsTheNewestHalfLimit) {
  std::vector<float> queue = Ramp(9601);
  CutBacklog(queue, 9600);
  EXPECT_EQ(queue, Ramp(4800, 4801));
  std::vector<float> at_limit = Ramp(9600);
  CutBacklog(at_limit, 9600);
  EXPECT_EQ(at_limit.size(), 9600u);
  ConsumeFront(at_limit, 9599);
  EXPECT_EQ(at_limit, std::vector<float>{9599.0f});
  ConsumeFront(at_limit, 5);
  EXPECT_TRUE(at_limit.empty());
}

TEST(SidetoneSampleTest, IntegerLimitsAndRounding) {
  struct Case {
    float sample;
    uint32_t bits;
    int32_t value;
  };
  for (const Case& c :
       {Case{1.0f, 16, 32767}, Case{1.5f, 16, 32767}, Case{-1.0f, 16, -32767},
        Case{-3.0f, 16, -32767}, Case{0.5f, 16, 16384},
        Case{-0.5f, 16, -16384},  // -16383.5: the tie goes to the even value
        Case{0.25f, 16, 8192},    // 8191.75
        Case{std::numeric_limits<float>::quiet_NaN(), 16, 0}, Case{1.0f, 8, 127},
        Case{1.0f, 24, 8388607}, Case{-1.0f, 24, -8388607}, Case{1.0f, 32, 2147483647},
        Case{-1.0f, 32, -2147483647}, Case{0.5f, 20, 262144}}) {
    EXPECT_EQ(ToPcm(c.sample, c.bits), c.value) << c.sample << " " << c.bits;
  }
}

// Full scale, its negative and a half, in each integer layout: the value at
// the top of its container, little-endian; unsigned 8-bit offset by 128.
TEST(SidetoneSampleTest, IntegerWidthsAreStoredAtTheTopOfTheirContainer) {
  struct Case {
    const char* name;
    SidetoneMixFormat format;
    std::vector<uint8_t> bytes;
  };
  for (const Case& c : {
           Case{"16-bit", {kPcm, 1, 48000, 2, 16}, {0xFF, 0x7F, 0x01, 0x80, 0x00, 0x40}},
           Case{"packed 24",
                {kPcm, 1, 48000, 3, 24},
                {0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x80, 0x00, 0x00, 0x40}},
           Case{"20 in 24",
                {kWaveFormatExtensible, 1, 48000, 3, 24, SidetoneSubFormat::kPcm, 20, 0},
                {0xF0, 0xFF, 0x7F, 0x10, 0x00, 0x80, 0x00, 0x00, 0x40}},
           Case{"24 in 32",
                {kWaveFormatExtensible, 1, 48000, 4, 32, SidetoneSubFormat::kPcm, 24, 0},
                {0x00, 0xFF, 0xFF, 0x7F, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00, 0x00, 0x40}},
           Case{"32-bit",
                {kWaveFormatExtensible, 1, 48000, 4, 32, SidetoneSubFormat::kPcm, 32, 0},
                {0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x40}},
           Case{"unsigned 8-bit", {kPcm, 1, 8000, 1, 8}, {0xFF, 0x01, 0xC0}},
       }) {
    std::vector<uint8_t> frames(c.bytes.size(), 0xAB);
    WriteRenderFrames({1.0f, -1.0f, 0.5f}, LayoutOf(c.format), frames.data());
    EXPECT_EQ(frames, c.bytes) << c.name;
  }
}

TEST(SidetoneSampleTest, FramesOfFormatsWithoutSamplesAreSilentInFull) {
  for (const auto& [format, silence] :
       {std::pair{SidetoneMixFormat{kPcm, 2, 48000, 4, 12}, 0},
        std::pair{SidetoneMixFormat{kWaveFormatIeeeFloat, 1, 48000, 8, 64}, 0},
        std::pair{SidetoneMixFormat{kWaveFormatExtensible, 2, 48000, 4, 16,
                                    SidetoneSubFormat::kOther, 16, 0x3},
                  0}}) {
    std::vector<uint8_t> frames(3 * format.block_align, 0xAB);
    WriteRenderFrames({0.5f, -1.0f, 1.0f}, LayoutOf(format), frames.data());
    EXPECT_EQ(frames, std::vector<uint8_t>(frames.size(), static_cast<uint8_t>(silence)));
  }
}

TEST(SidetoneSampleTest, VoiceGoesToTheFrontPairClampedTheOtherChannelsStaySilent) {
  std::vector<uint8_t> floats(3 * 8);
  WriteRenderFrames({0.5f, 2.0f, -2.0f}, LayoutOf({kWaveFormatIeeeFloat, 2, 48000, 8, 32}),
                    floats.data());
  EXPECT_EQ(Values<float>(floats), (std::vector<float>{0.5f, 0.5f, 1.0f, 1.0f, -1.0f, -1.0f}));

  // 5.1: front left and right only; centre, LFE and the back pair silent.
  std::vector<uint8_t> surround(2 * 24, 0xAB);
  WriteRenderFrames(
      {0.5f, -0.25f},
      LayoutOf({kWaveFormatExtensible, 6, 48000, 24, 32, SidetoneSubFormat::kIeeeFloat, 32, 0x3F}),
      surround.data());
  EXPECT_EQ(Values<float>(surround),
            (std::vector<float>{0.5f, 0.5f, 0, 0, 0, 0, -0.25f, -0.25f, 0, 0, 0, 0}));

  // With no mask, the first two of three 16-bit channels.
  std::vector<uint8_t> pcm(2 * 6, 0xAB);
  WriteRenderFrames({1.0f, -1.0f}, LayoutOf({kPcm, 3, 44100, 6, 16}), pcm.data());
  EXPECT_EQ(Values<int16_t>(pcm), (std::vector<int16_t>{32767, 32767, 0, -32767, -32767, 0}));

  // Unsigned 8-bit: the silent channels hold its silence, 0x80.
  std::vector<uint8_t> bytes(2 * 3, 0xAB);
  WriteRenderFrames(
      {1.0f, -1.0f},
      LayoutOf({kWaveFormatExtensible, 3, 8000, 3, 8, SidetoneSubFormat::kPcm, 8, 0x103}),
      bytes.data());
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0xFF, 0xFF, 0x80, 0x01, 0x01, 0x80}));

  // A mono frame wider than its channel: the bytes past it are silent.
  std::vector<uint8_t> padded(2 * 4, 0xAB);
  WriteRenderFrames({1.0f, 1.0f}, LayoutOf({kPcm, 1, 44100, 4, 16}), padded.data());
  EXPECT_EQ(Values<int16_t>(padded), (std::vector<int16_t>{32767, 0, 32767, 0}));
}

}  // namespace
