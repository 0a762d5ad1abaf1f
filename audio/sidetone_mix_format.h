#ifndef VELMO_AUDIO_SIDETONE_MIX_FORMAT_H_
#define VELMO_AUDIO_SIDETONE_MIX_FORMAT_H_

#include <cstdint>

// How the monitor reads an endpoint's shared-mode mix format, free of any
// audio API: which samples a frame holds, how they are stored, and which
// channels carry the voice.

// What an extensible format's SubFormat names.
enum class SidetoneSubFormat : uint8_t {
  // Not an extensible format, or one too short to carry a SubFormat.
  kNone,
  kPcm,
  kIeeeFloat,
  // Anything else (compressed pass-through, for one): not samples the
  // monitor can make.
  kOther,
};

// The fields of an endpoint's mix format that the monitor uses.
struct SidetoneMixFormat {
  uint16_t format_tag = 0;
  uint16_t channels = 0;
  uint32_t samples_per_sec = 0;
  uint16_t block_align = 0;
  uint16_t bits_per_sample = 0;
  // Extensible formats only.
  SidetoneSubFormat sub_format = SidetoneSubFormat::kNone;
  uint16_t valid_bits_per_sample = 0;
  uint32_t channel_mask = 0;
};

inline constexpr uint16_t kWaveFormatPcm = 1;
inline constexpr uint16_t kWaveFormatIeeeFloat = 3;
inline constexpr uint16_t kWaveFormatExtensible = 0xFFFE;
inline constexpr uint32_t kSpeakerFrontLeft = 0x1;
inline constexpr uint32_t kSpeakerFrontRight = 0x2;
inline constexpr uint32_t kSidetoneFallbackRate = 48000;

enum class SidetoneSampleKind : uint8_t {
  kFloat32,
  // Signed little-endian integers of 2 to 4 bytes, or unsigned 8-bit ones.
  kInteger,
  // A format the monitor cannot make samples of: its frames are read and
  // written as silence.
  kNone,
};

// How the interleaved frames of one format are laid out in a buffer.
struct SidetoneFrameLayout {
  SidetoneSampleKind kind = SidetoneSampleKind::kFloat32;
  // Channels of the format (never 0); the downmix divides by it.
  uint32_t channels = 1;
  // Bytes from one frame to the next.
  uint32_t stride = 0;
  // Bytes of one sample's container.
  uint32_t sample_bytes = 4;
  // Integer samples: the significant bits, at the top of the container.
  uint32_t valid_bits = 32;
  // Channels that fit in a frame's bytes; fewer than `channels` only for a
  // malformed block alignment, which must not lead outside the buffer.
  uint32_t channels_in_frame = 1;
  // The channels the voice is written to: bit 0 for the first channel, bit 1
  // for the second. The front pair always comes first in a mask's order, so
  // no other channel ever carries it; every other channel is silent.
  uint32_t voice_channels = 1;
  // The byte a silent frame is made of (unsigned 8-bit PCM is silent at 0x80).
  uint8_t silence = 0;
};

uint32_t FormatRate(const SidetoneMixFormat& format);
SidetoneSampleKind SampleKindOf(const SidetoneMixFormat& format);
// The front left and right channels where the mask names them; a mono
// output's one channel; the first two channels when there is no mask or it
// names neither. Bits as in SidetoneFrameLayout::voice_channels.
uint32_t VoiceChannelsOf(uint32_t channels, uint32_t channel_mask);
SidetoneFrameLayout LayoutOf(const SidetoneMixFormat& format);

#endif  // VELMO_AUDIO_SIDETONE_MIX_FORMAT_H_
