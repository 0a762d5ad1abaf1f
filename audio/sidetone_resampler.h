#ifndef VELMO_AUDIO_SIDETONE_RESAMPLER_H_
#define VELMO_AUDIO_SIDETONE_RESAMPLER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

// Linear interpolation from the capture rate to the render rate whose read
// position carries over from one call to the next: the output is one
// continuous interpolation of the queued input at exactly the rate ratio,
// however many samples each call asks for. The position is kept as an exact
// fraction, so it never drifts over a long run.
class SidetoneResampler {
 public:
  SidetoneResampler(uint32_t capture_rate, uint32_t render_rate);

  // Output samples a queue of `queued` samples can give now: each one needs
  // the input samples on both sides of its read position.
  size_t Available(size_t queued) const;

  // Writes `count` (at most Available) output samples to `out` and returns
  // how many samples from the front of `queue` they used up; the caller
  // removes those.
  size_t Resample(const std::vector<float>& queue, float* out, size_t count);

  // Input samples `count` outputs use up from the current position.
  size_t Consumption(size_t count) const;

  // Back to the head of the queue, for a queue whose front was dropped.
  void Reset() { position = 0; }

 private:
  // Rates divided by their greatest common divisor.
  uint64_t input_step;
  uint64_t output_step;
  // Read position from the head of the queue, in input samples times
  // output_step.
  uint64_t position = 0;
};

#endif  // VELMO_AUDIO_SIDETONE_RESAMPLER_H_
