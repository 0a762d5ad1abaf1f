#include "audio/sidetone_resampler.h"

#include <algorithm>
#include <numeric>

SidetoneResampler::SidetoneResampler(uint32_t capture_rate, uint32_t render_rate) {
  const uint32_t divisor = std::gcd(capture_rate, render_rate);
  input_step = divisor != 0 ? capture_rate / divisor : 1;
  output_step = divisor != 0 ? render_rate / divisor : 1;
}

size_t SidetoneResampler::Available(size_t queued) const {
  // Output i reads at position + i * input_step, which must not pass the
  // last queued sample.
  if (queued == 0) {
    return 0;
  }
  const uint64_t last = (static_cast<uint64_t>(queued) - 1) * output_step;
  if (last < position) {
    return 0;
  }
  return static_cast<size_t>((last - position) / input_step + 1);
}

size_t SidetoneResampler::Resample(const std::vector<float>& queue, float* out, size_t count) {
  count = std::min(count, Available(queue.size()));
  uint64_t at = position;
  for (size_t i = 0; i < count; ++i, at += input_step) {
    const size_t k = static_cast<size_t>(at / output_step);
    const uint64_t remainder = at % output_step;
    if (remainder == 0) {
      out[i] = queue[k];
    } else {
      const double f = static_cast<double>(remainder) / static_cast<double>(output_step);
      out[i] = static_cast<float>((1.0 - f) * queue[k] + f * queue[k + 1]);
    }
  }
  // A step larger than one sample can reach past the queue; the part beyond
  // it stays in the position and is skipped once it arrives.
  const size_t consumed = std::min(static_cast<size_t>(at / output_step), queue.size());
  position = at - static_cast<uint64_t>(consumed) * output_step;
  return consumed;
}

size_t SidetoneResampler::Consumption(size_t count) const {
  return static_cast<size_t>((position + count * input_step) / output_step);
}
