#ifndef VELMO_AUDIO_SIDETONE_DSP_H_
#define VELMO_AUDIO_SIDETONE_DSP_H_

#include <cstddef>
#include <cstdint>
#include <vector>

// The sample arithmetic of the microphone monitor, free of any audio API:
// capture packets are reduced to scaled mono samples at the capture rate,
// queued, and turned into render frames at the render rate.

// The fields of an endpoint's shared-mode mix format that the monitor uses.
struct SidetoneMixFormat {
  uint16_t format_tag = 0;
  uint16_t channels = 0;
  uint32_t samples_per_sec = 0;
  uint16_t block_align = 0;
  uint16_t bits_per_sample = 0;
};

inline constexpr uint16_t kWaveFormatIeeeFloat = 3;
inline constexpr uint16_t kWaveFormatExtensible = 0xFFFE;
inline constexpr uint32_t kSidetoneFallbackRate = 48000;
// The backlog limit is this fraction of a second of capture samples (200 ms).
inline constexpr uint32_t kSidetoneBacklogDivisor = 5;
// Volumes at or below this play silence.
inline constexpr float kSidetoneSilentVolume = 0.0001f;

// How the interleaved frames of one format are laid out in a buffer.
struct SidetoneFrameLayout {
  bool is_float = false;
  // Channels of the format (never 0); the downmix divides by it.
  uint32_t channels = 1;
  // Bytes from one frame to the next.
  uint32_t stride = 0;
  // Channels that fit in a frame's bytes; fewer than `channels` only for a
  // malformed block alignment, which must not lead outside the buffer.
  uint32_t channels_in_frame = 1;
  // False for integer formats of another width than 16 bits (8- or 24-bit
  // PCM): their frames are read and written as silence, never as samples.
  bool carries_samples = true;
  // The byte a silent frame is made of (unsigned 8-bit PCM is silent at 0x80).
  uint8_t silence = 0;
};

// Float means IEEE float, or extensible with 32 bits per sample; every other
// format is read and written as 16-bit signed integers.
bool IsFloatFormat(const SidetoneMixFormat& format);
uint32_t FormatRate(const SidetoneMixFormat& format);
SidetoneFrameLayout LayoutOf(const SidetoneMixFormat& format);

// The backlog limit in samples for a capture rate.
size_t MaxQueueSamples(uint32_t capture_rate);

// Appends `frames` mono samples to `queue`: the channel average of each
// frame times `volume`, or zeros for a silent packet, a null buffer or a
// volume at or below kSidetoneSilentVolume.
void AppendCapturePacket(const uint8_t* data, uint32_t frames, bool silent,
                         const SidetoneFrameLayout& layout, float volume,
                         std::vector<float>& queue);

// Removes `consumed` samples from the front of the queue.
void ConsumeFront(std::vector<float>& queue, size_t consumed);

// Beyond `max_queue` samples keeps only the newest max_queue / 2.
void CutBacklog(std::vector<float>& queue, size_t max_queue);

// A monitor sample as a 16-bit value: clamped to [-1, 1], scaled by 32767 and
// rounded to nearest, ties to even.
int16_t ToPcm16(float sample);

// Writes each sample, clamped to [-1, 1], into every channel of one frame of
// `frames` (as float or 16-bit, after the layout). Every byte of every frame
// is written: padding beyond the channels, and the whole frame of a format
// that carries no samples, hold silence.
void WriteRenderFrames(const std::vector<float>& samples, const SidetoneFrameLayout& layout,
                       uint8_t* frames);

// Fills `count` frames with silence.
void WriteSilentFrames(size_t count, const SidetoneFrameLayout& layout, uint8_t* frames);

#endif  // VELMO_AUDIO_SIDETONE_DSP_H_
