#include "audio/sidetone_dsp.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr uint16_t kFloatBits = 32;
constexpr uint16_t kPcm16Bits = 16;
constexpr uint16_t kPcm8Bits = 8;
constexpr uint8_t kPcm8Silence = 0x80;
constexpr uint32_t kFloatBytes = 4;
constexpr uint32_t kPcm16Bytes = 2;
constexpr float kPcm16InputScale = 1.0f / 32768.0f;
constexpr double kPcm16OutputScale = 32767.0;

float ReadFloat(const uint8_t* at) {
  float value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

int16_t ReadPcm16(const uint8_t* at) {
  int16_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// NaN would survive clamping and has no integer to become.
float ClampSample(float sample) {
  return std::isnan(sample) ? 0.0f : std::clamp(sample, -1.0f, 1.0f);
}

}  // namespace

bool IsFloatFormat(const SidetoneMixFormat& format) {
  return format.format_tag == kWaveFormatIeeeFloat ||
         (format.format_tag == kWaveFormatExtensible && format.bits_per_sample == kFloatBits);
}

uint32_t FormatRate(const SidetoneMixFormat& format) {
  return format.samples_per_sec != 0 ? format.samples_per_sec : kSidetoneFallbackRate;
}

SidetoneFrameLayout LayoutOf(const SidetoneMixFormat& format) {
  SidetoneFrameLayout layout;
  layout.is_float = IsFloatFormat(format);
  layout.channels = format.channels != 0 ? format.channels : 1;
  const uint32_t sample_bytes = layout.is_float ? kFloatBytes : kPcm16Bytes;
  const uint32_t stored_bytes = layout.is_float || format.bits_per_sample == 0
                                    ? sample_bytes
                                    : (format.bits_per_sample + 7u) / 8u;
  layout.stride = format.block_align != 0 ? format.block_align : layout.channels * stored_bytes;
  layout.channels_in_frame = std::min(layout.channels, layout.stride / sample_bytes);
  // A zero width is taken at its word, as 16-bit; any other width would
  // turn the bytes into noise.
  layout.carries_samples =
      layout.is_float || format.bits_per_sample == kPcm16Bits || format.bits_per_sample == 0;
  layout.silence = format.bits_per_sample == kPcm8Bits && !layout.is_float ? kPcm8Silence : 0;
  return layout;
}

size_t MaxQueueSamples(uint32_t capture_rate) { return capture_rate / kSidetoneBacklogDivisor; }

void AppendCapturePacket(const uint8_t* data, uint32_t frames, bool silent,
                         const SidetoneFrameLayout& layout, float volume,
                         std::vector<float>& queue) {
  const size_t first = queue.size();
  queue.resize(first + frames, 0.0f);
  if (silent || data == nullptr || !(volume > kSidetoneSilentVolume) ||
      layout.channels_in_frame == 0 || !layout.carries_samples) {
    return;
  }
  const uint32_t channels = layout.channels_in_frame;
  for (uint32_t frame = 0; frame < frames; ++frame) {
    const uint8_t* at = data + static_cast<size_t>(frame) * layout.stride;
    float mono;
    if (layout.is_float) {
      float sum = 0.0f;
      for (uint32_t c = 0; c < channels; ++c) {
        sum += ReadFloat(at + c * kFloatBytes);
      }
      mono = sum / static_cast<float>(channels);
    } else {
      int32_t sum = 0;
      for (uint32_t c = 0; c < channels; ++c) {
        sum += ReadPcm16(at + c * kPcm16Bytes);
      }
      mono = static_cast<float>(sum) / static_cast<float>(channels) * kPcm16InputScale;
    }
    queue[first + frame] = mono * volume;
  }
}

void ConsumeFront(std::vector<float>& queue, size_t consumed) {
  queue.erase(queue.begin(),
              queue.begin() + static_cast<std::ptrdiff_t>(std::min(consumed, queue.size())));
}

void CutBacklog(std::vector<float>& queue, size_t max_queue) {
  if (queue.size() > max_queue) {
    ConsumeFront(queue, queue.size() - max_queue / 2);
  }
}

int16_t ToPcm16(float sample) {
  // The default rounding mode rounds ties to even.
  return static_cast<int16_t>(std::nearbyint(ClampSample(sample) * kPcm16OutputScale));
}

void WriteSilentFrames(size_t count, const SidetoneFrameLayout& layout, uint8_t* frames) {
  std::memset(frames, layout.silence, count * layout.stride);
}

void WriteRenderFrames(const std::vector<float>& samples, const SidetoneFrameLayout& layout,
                       uint8_t* frames) {
  const uint32_t sample_bytes = layout.is_float ? kFloatBytes : kPcm16Bytes;
  // Bytes no sample covers are silenced once, up front; a frame the samples
  // fill entirely needs no pass of its own.
  if (!layout.carries_samples || layout.stride > layout.channels_in_frame * sample_bytes) {
    WriteSilentFrames(samples.size(), layout, frames);
  }
  if (!layout.carries_samples) {
    return;
  }
  for (size_t i = 0; i < samples.size(); ++i) {
    uint8_t* at = frames + i * layout.stride;
    if (layout.is_float) {
      const float value = ClampSample(samples[i]);
      for (uint32_t c = 0; c < layout.channels_in_frame; ++c) {
        std::memcpy(at + c * kFloatBytes, &value, sizeof value);
      }
    } else {
      const int16_t value = ToPcm16(samples[i]);
      for (uint32_t c = 0; c < layout.channels_in_frame; ++c) {
        std::memcpy(at + c * kPcm16Bytes, &value, sizeof value);
      }
    }
  }
}
