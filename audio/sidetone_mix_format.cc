#include "audio/sidetone_mix_format.h"

#include <algorithm>
#include <bit>

namespace {

constexpr uint16_t kFloatBits = 32;
constexpr uint16_t kPcm8Bits = 8;
constexpr uint16_t kPcm16Bits = 16;
constexpr uint16_t kPcm24Bits = 24;
constexpr uint16_t kPcm32Bits = 32;
// A zero width is taken at its word, as 16-bit.
constexpr uint16_t kUnstatedBits = kPcm16Bits;
constexpr uint32_t kBitsPerByte = 8;
constexpr uint8_t kPcm8Silence = 0x80;
constexpr uint32_t kFirstTwoChannels = 0x3;

uint16_t StatedBits(const SidetoneMixFormat& format) {
  return format.bits_per_sample != 0 ? format.bits_per_sample : kUnstatedBits;
}

SidetoneSampleKind FloatKind(const SidetoneMixFormat& format) {
  return format.bits_per_sample == kFloatBits || format.bits_per_sample == 0
             ? SidetoneSampleKind::kFloat32
             : SidetoneSampleKind::kNone;
}

SidetoneSampleKind IntegerKind(const SidetoneMixFormat& format) {
  switch (StatedBits(format)) {
    case kPcm8Bits:
    case kPcm16Bits:
    case kPcm24Bits:
    case kPcm32Bits:
      return SidetoneSampleKind::kInteger;
    default:
      return SidetoneSampleKind::kNone;
  }
}

}  // namespace

uint32_t FormatRate(const SidetoneMixFormat& format) {
  return format.samples_per_sec != 0 ? format.samples_per_sec : kSidetoneFallbackRate;
}

SidetoneSampleKind SampleKindOf(const SidetoneMixFormat& format) {
  switch (format.format_tag) {
    case kWaveFormatIeeeFloat:
      return FloatKind(format);
    case kWaveFormatPcm:
      return IntegerKind(format);
    case kWaveFormatExtensible:
      // The SubFormat, not the width, tells float from integer: 32-bit
      // integer mix formats exist.
      if (format.sub_format == SidetoneSubFormat::kIeeeFloat) {
        return FloatKind(format);
      }
      if (format.sub_format == SidetoneSubFormat::kPcm) {
        return IntegerKind(format);
      }
      return SidetoneSampleKind::kNone;
    default:
      return SidetoneSampleKind::kNone;
  }
}

uint32_t VoiceChannelsOf(uint32_t channels, uint32_t channel_mask) {
  if (channels <= 1) {
    return 1;
  }
  // Channels are stored in the order of the mask's bits, so a speaker's
  // channel is the count of the mask's bits below its own (for the front
  // pair, 0 or 1: always a channel of a format of two or more).
  uint32_t voice = 0;
  for (const uint32_t speaker : {kSpeakerFrontLeft, kSpeakerFrontRight}) {
    if ((channel_mask & speaker) != 0) {
      voice |= 1u << std::popcount(channel_mask & (speaker - 1));
    }
  }
  return voice != 0 ? voice : kFirstTwoChannels;
}

SidetoneFrameLayout LayoutOf(const SidetoneMixFormat& format) {
  SidetoneFrameLayout layout;
  layout.kind = SampleKindOf(format);
  layout.channels = format.channels != 0 ? format.channels : 1;
  const uint16_t bits =
      layout.kind == SidetoneSampleKind::kFloat32 ? kFloatBits : StatedBits(format);
  layout.sample_bytes = (bits + kBitsPerByte - 1) / kBitsPerByte;
  const bool valid_stated = format.format_tag == kWaveFormatExtensible &&
                            format.valid_bits_per_sample != 0 &&
                            format.valid_bits_per_sample <= bits;
  layout.valid_bits = valid_stated ? format.valid_bits_per_sample : bits;
  layout.stride =
      format.block_align != 0 ? format.block_align : layout.channels * layout.sample_bytes;
  layout.channels_in_frame = std::min(layout.channels, layout.stride / layout.sample_bytes);
  // Of the voice channels, those the frame's bytes hold.
  layout.voice_channels =
      VoiceChannelsOf(layout.channels,
                      format.format_tag == kWaveFormatExtensible ? format.channel_mask : 0) &
      (layout.channels_in_frame >= 2 ? kFirstTwoChannels : layout.channels_in_frame);
  layout.silence =
      layout.kind != SidetoneSampleKind::kFloat32 && bits == kPcm8Bits ? kPcm8Silence : 0;
  return layout;
}
