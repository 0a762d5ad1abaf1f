#include "audio/sidetone_resampler.h"

#include <algorithm>
#include <cmath>

SidetoneResampler::SidetoneResampler(uint32_t capture_rate, uint32_t render_rate)
    : nominal_step(capture_rate != 0 && render_rate != 0
                       ? static_cast<double>(capture_rate) / static_cast<double>(render_rate)
                       : 1.0),
      step(nominal_step) {}

void SidetoneResampler::SetCorrection(double correction) {
  applied_correction = std::clamp(correction, -kMaxCorrection, kMaxCorrection);
  step = nominal_step * (1.0 + applied_correction);
}

size_t SidetoneResampler::Available(size_t queued) const {
  // Output i reads at position + i * step, which must not pass the last
  // queued sample.
  if (queued == 0) {
    return 0;
  }
  const double last = static_cast<double>(queued - 1);
  if (last < position) {
    return 0;
  }
  return static_cast<size_t>(std::floor((last - position) / step)) + 1;
}

size_t SidetoneResampler::Resample(const std::vector<float>& queue, float* out, size_t count) {
  count = std::min(count, Available(queue.size()));
  double at = position;
  for (size_t i = 0; i < count; ++i, at += step) {
    const size_t k = static_cast<size_t>(at);
    const double f = at - static_cast<double>(k);
    // Rounding may put the last position a hair past the last sample.
    out[i] = f == 0.0 || k + 1 >= queue.size()
                 ? queue[k]
                 : static_cast<float>((1.0 - f) * queue[k] + f * queue[k + 1]);
  }
  // A step beyond the queue's end stays in the position and is skipped once
  // that input arrives.
  const size_t consumed = std::min(static_cast<size_t>(at), queue.size());
  position = at - static_cast<double>(consumed);
  return consumed;
}

size_t SidetoneResampler::Consumption(size_t count) const {
  return static_cast<size_t>(position + static_cast<double>(count) * step);
}
