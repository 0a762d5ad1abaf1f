#include "audio/sidetone_mix_format.h"

#include <gtest/gtest.h>

namespace {

using Kind = SidetoneSampleKind;
using Sub = SidetoneSubFormat;

constexpr uint16_t kMp3 = 0x55;

struct LayoutCase {
  const char* name;
  SidetoneMixFormat format;
  Kind kind;
  uint32_t sample_bytes, valid_bits, stride, channels_in_frame;
  uint8_t silence = 0;
};

TEST(SidetoneMixFormatTest, KindWidthAndStrideFollowTheSubFormatAndValidBits) {
  for (const LayoutCase& c : {
           LayoutCase{
               "float", {kWaveFormatIeeeFloat, 2, 48000, 8, 32}, Kind::kFloat32, 4, 32, 8, 2},
           LayoutCase{"float width unstated",
                      {kWaveFormatIeeeFloat, 1, 48000, 4, 0},
                      Kind::kFloat32,
                      4,
                      32,
                      4,
                      1},
           LayoutCase{"double", {kWaveFormatIeeeFloat, 1, 48000, 8, 64}, Kind::kNone, 8, 64, 8, 1},
           LayoutCase{"extensible float",
                      {kWaveFormatExtensible, 2, 48000, 8, 32, Sub::kIeeeFloat, 32, 0x3},
                      Kind::kFloat32,
                      4,
                      32,
                      8,
                      2},
           // The one a width-only reading took for float.
           LayoutCase{"extensible 32-bit integer",
                      {kWaveFormatExtensible, 2, 48000, 8, 32, Sub::kPcm, 32, 0x3},
                      Kind::kInteger,
                      4,
                      32,
                      8,
                      2},
           LayoutCase{"24 bits in 32",
                      {kWaveFormatExtensible, 2, 48000, 8, 32, Sub::kPcm, 24, 0},
                      Kind::kInteger,
                      4,
                      24,
                      8,
                      2},
           LayoutCase{"packed 24",
                      {kWaveFormatExtensible, 2, 48000, 6, 24, Sub::kPcm, 24, 0},
                      Kind::kInteger,
                      3,
                      24,
                      6,
                      2},
           LayoutCase{"valid bits unstated",
                      {kWaveFormatExtensible, 1, 48000, 4, 32, Sub::kPcm, 0, 0},
                      Kind::kInteger,
                      4,
                      32,
                      4,
                      1},
           LayoutCase{"valid bits beyond the container",
                      {kWaveFormatExtensible, 1, 48000, 2, 16, Sub::kPcm, 20, 0},
                      Kind::kInteger,
                      2,
                      16,
                      2,
                      1},
           LayoutCase{"valid bits outside an extensible format",
                      {kWaveFormatPcm, 1, 48000, 2, 16, Sub::kNone, 12, 0},
                      Kind::kInteger,
                      2,
                      16,
                      2,
                      1},
           LayoutCase{"extensible pass-through",
                      {kWaveFormatExtensible, 2, 48000, 4, 16, Sub::kOther, 16, 0x3},
                      Kind::kNone,
                      2,
                      16,
                      4,
                      2},
           LayoutCase{"16-bit", {kWaveFormatPcm, 2, 44100, 4, 16}, Kind::kInteger, 2, 16, 4, 2},
           LayoutCase{
               "unsigned 8-bit", {kWaveFormatPcm, 1, 8000, 1, 8}, Kind::kInteger, 1, 8, 1, 1, 0x80},
           LayoutCase{"12-bit", {kWaveFormatPcm, 1, 8000, 2, 12}, Kind::kNone, 2, 12, 2, 1},
           LayoutCase{"17-bit", {kWaveFormatPcm, 1, 8000, 3, 17}, Kind::kNone, 3, 17, 3, 1},
           LayoutCase{
               "width unstated", {kWaveFormatPcm, 2, 8000, 0, 0}, Kind::kInteger, 2, 16, 4, 2},
           LayoutCase{"compressed", {kMp3, 2, 44100, 1, 0}, Kind::kNone, 2, 16, 1, 0, 0},
           // A format that names nothing falls back rather than dividing by 0.
           LayoutCase{"zeroes", {kWaveFormatIeeeFloat, 0, 0, 0, 32}, Kind::kFloat32, 4, 32, 4, 1},
       }) {
    const SidetoneFrameLayout layout = LayoutOf(c.format);
    EXPECT_EQ(layout.kind, c.kind) << c.name;
    EXPECT_EQ(layout.sample_bytes, c.sample_bytes) << c.name;
    EXPECT_EQ(layout.valid_bits, c.valid_bits) << c.name;
    EXPECT_EQ(layout.stride, c.stride) << c.name;
    EXPECT_EQ(layout.channels_in_frame, c.channels_in_frame) << c.name;
    EXPECT_EQ(layout.silence, c.silence) << c.name;
  }
  EXPECT_EQ(FormatRate({kWaveFormatIeeeFloat, 0, 0, 0, 32}), 48000u);
  EXPECT_EQ(FormatRate({kWaveFormatIeeeFloat, 1, 44100, 4, 32}), 44100u);
}

struct VoiceCase {
  const char* name;
  uint32_t channels, mask, voice;
};

TEST(SidetoneMixFormatTest, VoiceGoesToTheFrontPairOnly) {
  for (const VoiceCase& c : {
           VoiceCase{"mono", 1, 0, 0x1},
           VoiceCase{"stereo", 2, 0x3, 0x3},
           VoiceCase{"no mask", 2, 0, 0x3},
           VoiceCase{"5.1", 6, 0x3F, 0x3},
           // Without a front left, the front right is the first channel.
           VoiceCase{"front right and centre", 2, 0x6, 0x1},
           VoiceCase{"front left, centre, LFE", 3, 0xD, 0x1},
           VoiceCase{"back pair only", 2, 0x30, 0x3},
       }) {
    EXPECT_EQ(VoiceChannelsOf(c.channels, c.mask), c.voice) << c.name;
  }
  // Only an extensible format's mask counts.
  EXPECT_EQ(
      LayoutOf({kWaveFormatExtensible, 3, 48000, 12, 32, Sub::kIeeeFloat, 32, 0x6}).voice_channels,
      0x1u);
  EXPECT_EQ(LayoutOf({kWaveFormatIeeeFloat, 3, 48000, 12, 32, Sub::kNone, 0, 0x6}).voice_channels,
            0x3u);
}

}  // namespace
