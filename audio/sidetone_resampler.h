#ifndef VELMO_AUDIO_SIDETONE_RESAMPLER_H_
#define VELMO_AUDIO_SIDETONE_RESAMPLER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

// Linear interpolation from the capture rate to the render rate whose read
// position carries over from one call to the next: the output is one
// continuous interpolation of the queued input, however many samples each
// call asks for. The ratio may be bent by a small correction, so the monitor
// can follow a capture clock that runs a little faster or slower than the
// render clock without ever dropping or repeating input.
class SidetoneResampler {
 public:
  // The largest correction, either way: what real clocks need (they differ
  // by a few hundred ppm, rarely 1000), and a pitch change of under 2 cents.
  static constexpr double kMaxCorrection = 1000e-6;

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

  // Reads the input `correction` faster than the nominal ratio (negative:
  // slower), within kMaxCorrection.
  void SetCorrection(double correction);
  double correction() const { return applied_correction; }

  // Back to the head of the queue, for a queue whose front was dropped.
  void Reset() { position = 0.0; }

 private:
  double nominal_step;
  double step;
  double applied_correction = 0.0;
  // Read position from the head of the queue, in input samples.
  double position = 0.0;
};

#endif  // VELMO_AUDIO_SIDETONE_RESAMPLER_H_
