#include "audio/sidetone_dsp.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr uint32_t kBitsPerByte = 8;
constexpr double kSpliceMargin = 1e-6;
constexpr uint32_t kFirstChannel = 0x1;
constexpr uint32_t kSecondChannel = 0x2;
constexpr int32_t kPcm8Offset = 128;
constexpr double kPcm8Scale = 1.0 / 128.0;
// An integer sample read into the top of a 32-bit word, over its full scale.
constexpr double kWordScale = 1.0 / 2147483648.0;

float ReadFloat(const uint8_t* at) {
  float value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// A little-endian integer sample of any container width in [-1, 1). The
// bits below the valid ones are zero, so the container's full scale is the
// sample's.
double ReadInteger(const uint8_t* at, uint32_t bytes) {
  if (bytes == 1) {
    return (static_cast<int32_t>(at[0]) - kPcm8Offset) * kPcm8Scale;
  }
  uint32_t word = 0;
  for (uint32_t b = 0; b < bytes; ++b) {
    word |= static_cast<uint32_t>(at[b]) << (kBitsPerByte * (b + 4 - bytes));
  }
  return static_cast<int32_t>(word) * kWordScale;
}

double ReadSample(const uint8_t* at, const SidetoneFrameLayout& layout) {
  return layout.kind == SidetoneSampleKind::kFloat32 ? ReadFloat(at)
                                                     : ReadInteger(at, layout.sample_bytes);
}

// NaN would survive clamping and has no integer to become.
float ClampSample(float sample) {
  return std::isnan(sample) ? 0.0f : std::clamp(sample, -1.0f, 1.0f);
}

// The container bytes of one integer sample: the value at the top of its
// container, offset for unsigned 8-bit.
uint32_t StoredInteger(float sample, const SidetoneFrameLayout& layout) {
  const uint32_t container_bits = layout.sample_bytes * kBitsPerByte;
  const int64_t value = static_cast<int64_t>(ToPcm(sample, layout.valid_bits)) *
                        (int64_t{1} << (container_bits - layout.valid_bits));
  return static_cast<uint32_t>(layout.sample_bytes == 1 ? value + kPcm8Offset : value);
}

}  // namespace

size_t MaxQueueSamples(uint32_t capture_rate) { return capture_rate / kSidetoneBacklogDivisor; }

void AppendCapturePacket(const uint8_t* data, uint32_t frames, bool silent,
                         const SidetoneFrameLayout& layout, float volume,
                         std::vector<float>& queue) {
  const size_t first = queue.size();
  queue.resize(first + frames, 0.0f);
  if (silent || data == nullptr || !(volume > kSidetoneSilentVolume) ||
      layout.channels_in_frame == 0 || layout.kind == SidetoneSampleKind::kNone) {
    return;
  }
  const uint32_t channels = layout.channels_in_frame;
  for (uint32_t frame = 0; frame < frames; ++frame) {
    const uint8_t* at = data + static_cast<size_t>(frame) * layout.stride;
    double sum = 0.0;
    for (uint32_t c = 0; c < channels; ++c) {
      sum += ReadSample(at + c * layout.sample_bytes, layout);
    }
    queue[first + frame] = static_cast<float>(sum / channels) * volume;
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

size_t MatchingCut(const std::vector<float>& samples, size_t wanted, size_t shortest,
                   size_t longest, size_t length) {
  if (samples.size() < length) {
    return wanted;
  }
  longest = std::min(longest, samples.size() - length);
  // A cut farther from `wanted` must match better by more than the
  // rounding of the samples.
  double energy = 0.0;
  for (size_t i = 0; i < length; ++i) {
    energy += static_cast<double>(samples[i]) * static_cast<double>(samples[i]);
  }
  const double margin = kSpliceMargin * energy;
  size_t best = wanted;
  double least = std::numeric_limits<double>::infinity();
  const auto try_cut = [&](size_t cut) {
    if (cut < shortest || cut > longest) {
      return;
    }
    double difference = 0.0;
    for (size_t i = 0; i < length; ++i) {
      const double d = static_cast<double>(samples[cut + i]) - static_cast<double>(samples[i]);
      difference += d * d;
    }
    if (difference + margin < least) {
      least = difference;
      best = cut;
    }
  };
  // Nearest first, so that among equals the cut stays closest to `wanted`.
  const size_t reach =
      std::max(wanted > shortest ? wanted - shortest : 0, longest > wanted ? longest - wanted : 0);
  for (size_t distance = 0; distance <= reach; ++distance) {
    if (distance <= wanted) {
      try_cut(wanted - distance);
    }
    if (distance != 0) {
      try_cut(wanted + distance);
    }
  }
  return best;
}

int32_t ToPcm(float sample, uint32_t valid_bits) {
  const double full_scale = std::ldexp(1.0, static_cast<int>(valid_bits) - 1) - 1.0;
  // The default rounding mode rounds ties to even.
  return static_cast<int32_t>(std::nearbyint(ClampSample(sample) * full_scale));
}

void WriteSilentFrames(size_t count, const SidetoneFrameLayout& layout, uint8_t* frames) {
  std::memset(frames, layout.silence, count * layout.stride);
}

void WriteRenderFrames(const std::vector<float>& samples, const SidetoneFrameLayout& layout,
                       uint8_t* frames) {
  const uint32_t voice = layout.voice_channels;
  // Bytes no sample covers are silenced once, up front; a frame the samples
  // fill entirely needs no pass of its own.
  if (layout.kind == SidetoneSampleKind::kNone ||
      layout.stride > static_cast<uint32_t>(std::popcount(voice)) * layout.sample_bytes) {
    WriteSilentFrames(samples.size(), layout, frames);
  }
  if (layout.kind == SidetoneSampleKind::kNone) {
    return;
  }
  for (size_t i = 0; i < samples.size(); ++i) {
    uint8_t* at = frames + i * layout.stride;
    uint8_t stored[sizeof(float)];
    if (layout.kind == SidetoneSampleKind::kFloat32) {
      const float value = ClampSample(samples[i]);
      std::memcpy(stored, &value, sizeof value);
    } else {
      // Every Windows target is little-endian, as the samples are: the
      // container's bytes are the word's first ones.
      const uint32_t value = StoredInteger(samples[i], layout);
      std::memcpy(stored, &value, sizeof value);
    }
    if ((voice & kFirstChannel) != 0) {
      std::memcpy(at, stored, layout.sample_bytes);
    }
    if ((voice & kSecondChannel) != 0) {
      std::memcpy(at + layout.sample_bytes, stored, layout.sample_bytes);
    }
  }
}
