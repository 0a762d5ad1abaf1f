#include "audio/rnnoise_capture_processing.h"

#include <algorithm>
#include <cmath>

#include "diagnostics/app_log.h"

namespace {

constexpr float kInverseRnnoiseScale = 1.0f / RnnoiseCaptureProcessing::kRnnoiseScale;

constexpr char kLogSkippedHookDisabled[] = "rnnoise_skipped_hook_disabled";
constexpr char kLogDisabledHookDisabled[] = "rnnoise_disabled_hook_disabled";

}  // namespace

RnnoiseFunctions LinkedRnnoise() {
  return {&rnnoise_create, &rnnoise_destroy, &rnnoise_process_frame};
}

RnnoiseCaptureProcessing& RnnoiseCaptureProcessing::Instance() {
  // Deliberately leaked, like the gain processor: a plug-in holding it may
  // call it until the process ends.
  static RnnoiseCaptureProcessing* const instance = new RnnoiseCaptureProcessing();
  return *instance;
}

RnnoiseCaptureProcessing::RnnoiseCaptureProcessing(const RnnoiseFunctions& functions)
    : rnnoise(functions), denoiser(nullptr, DenoiserDeleter{functions.destroy}) {}

RnnoiseCaptureProcessing::~RnnoiseCaptureProcessing() = default;

void RnnoiseCaptureProcessing::SetWet(float value) {
  // A NaN would pass the clamp and turn every mixed sample into NaN.
  if (std::isnan(value)) {
    return;
  }
  wet.store(std::clamp(value, kMinWet, kMaxWet));
}

void RnnoiseCaptureProcessing::SetEnabled(bool requested) {
  enabled.store(false);
  AppendLog(requested ? kLogSkippedHookDisabled : kLogDisabledHookDisabled);
}

float RnnoiseCaptureProcessing::CurrentWet() const noexcept { return wet.load(); }

bool RnnoiseCaptureProcessing::IsEnabled() const noexcept { return enabled.load(); }

void RnnoiseCaptureProcessing::EnableProcessing() noexcept { enabled.store(true); }

void RnnoiseCaptureProcessing::Initialize(int /*sample_rate_hz*/, int /*num_channels*/) {
  std::lock_guard<std::mutex> lock(state_mutex);
  Rebuild();
}

void RnnoiseCaptureProcessing::Reset(int /*new_rate*/) {
  std::lock_guard<std::mutex> lock(state_mutex);
  Rebuild();
}

void RnnoiseCaptureProcessing::Release() {
  std::lock_guard<std::mutex> lock(state_mutex);
  denoiser.reset();
  input_fifo.clear();
  output_fifo.clear();
}

void RnnoiseCaptureProcessing::Rebuild() {
  denoiser.reset();
  input_fifo.clear();
  output_fifo.clear();
  frame_in.fill(0.0f);
  frame_out.fill(0.0f);
  denoiser.reset(rnnoise.create(nullptr));
}

void RnnoiseCaptureProcessing::Process(int /*num_bands*/, int num_frames, int buffer_size,
                                       float* buffer) {
  if (!enabled.load() || buffer == nullptr || num_frames <= 0) {
    return;
  }
  std::lock_guard<std::mutex> lock(state_mutex);
  if (!denoiser) {
    Rebuild();
    if (!denoiser) {
      return;
    }
  }
  // Unlike the gain processor, an unknown buffer length (zero or less) does
  // not stop processing: the frame count alone is trusted then.
  int count = num_frames;
  if (buffer_size > 0 && buffer_size < num_frames) {
    count = buffer_size;
  }
  Denoise(buffer, count);
}

void RnnoiseCaptureProcessing::Denoise(float* samples, int count) {
  const float wet_level = wet.load();
  if (wet_level <= kDryThreshold) {
    return;
  }
  if (count == kFrameSamples && input_fifo.empty() && output_fifo.empty()) {
    DenoiseFrame(wet_level, samples);
  } else {
    DenoiseBuffered(wet_level, samples, count);
  }
}

// A block that is exactly one frame, with nothing waiting: in place, no delay.
void RnnoiseCaptureProcessing::DenoiseFrame(float wet_level, float* samples) {
  for (int i = 0; i < kFrameSamples; ++i) {
    frame_in[i] = samples[i] * kRnnoiseScale;
  }
  rnnoise.process_frame(denoiser.get(), frame_out.data(), frame_in.data());
  const float dry_level = 1.0f - wet_level;
  for (int i = 0; i < kFrameSamples; ++i) {
    samples[i] = frame_out[i] * kInverseRnnoiseScale * wet_level + dry_level * samples[i];
  }
}

// Any other block: frames are cut from the stream as they complete, so the
// output lags by the samples waiting for their frame, and a block that finds
// too few mixed samples keeps its unprocessed tail.
void RnnoiseCaptureProcessing::DenoiseBuffered(float wet_level, float* samples, int count) {
  input_fifo.insert(input_fifo.end(), samples, samples + count);
  const float dry_level = 1.0f - wet_level;
  while (input_fifo.size() >= static_cast<size_t>(kFrameSamples)) {
    for (int j = 0; j < kFrameSamples; ++j) {
      frame_in[j] = input_fifo[j] * kRnnoiseScale;
    }
    input_fifo.erase(input_fifo.begin(), input_fifo.begin() + kFrameSamples);
    rnnoise.process_frame(denoiser.get(), frame_out.data(), frame_in.data());
    for (int j = 0; j < kFrameSamples; ++j) {
      output_fifo.push_back(frame_in[j] * kInverseRnnoiseScale * dry_level +
                            frame_out[j] * kInverseRnnoiseScale * wet_level);
    }
  }
  const auto ready =
      static_cast<std::ptrdiff_t>(std::min(static_cast<size_t>(count), output_fifo.size()));
  std::copy(output_fifo.begin(), output_fifo.begin() + ready, samples);
  output_fifo.erase(output_fifo.begin(), output_fifo.begin() + ready);
}
