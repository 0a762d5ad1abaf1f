#ifndef VELMO_AUDIO_RNNOISE_CAPTURE_PROCESSING_H_
#define VELMO_AUDIO_RNNOISE_CAPTURE_PROCESSING_H_

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/rnnoise/rnnoise_api.h"
#include "audio/webrtc_plugin_api.h"

// The RNNoise entry points a denoiser calls. Tests put a deterministic
// denoiser in their place.
struct RnnoiseFunctions {
  DenoiseState* (*create)(RNNModel* model);
  void (*destroy)(DenoiseState* state);
  float (*process_frame)(DenoiseState* state, float* out, const float* in);
};

// The linked RNNoise library.
RnnoiseFunctions LinkedRnnoise();

// Denoises the captured microphone signal with RNNoise and mixes the result
// with the unprocessed signal by a wet level. It takes whatever samples it is
// given as one mono 48 kHz stream in 480-sample frames.
//
// The capture hook is disabled in this host: the channel records the wet
// level, `enabled` always stays false and no one hands the processor to the
// WebRTC plug-in, so Process returns at once.
//
// Threads: SetWet and SetEnabled run on the platform thread and touch only
// atomics; whoever drives the CustomProcessing operations is serialised by
// `state_mutex`.
class RnnoiseCaptureProcessing : public libwebrtc::RTCAudioProcessing::CustomProcessing {
 public:
  static constexpr int kFrameSamples = 480;
  // RNNoise takes samples in 16-bit scale; the capture path's full scale is 1.
  static constexpr float kRnnoiseScale = 32768.0f;
  static constexpr float kMinWet = 0.0f;
  static constexpr float kMaxWet = 1.0f;
  // At or below this wet level a block is left as it is.
  static constexpr float kDryThreshold = 0.001f;

  static RnnoiseCaptureProcessing& Instance();

  RnnoiseCaptureProcessing(const RnnoiseCaptureProcessing&) = delete;
  RnnoiseCaptureProcessing& operator=(const RnnoiseCaptureProcessing&) = delete;
  ~RnnoiseCaptureProcessing() override;

  // Stores the wet level clamped to [0, 1]. A NaN is ignored.
  void SetWet(float value);
  // Stores false whatever is requested (the hook is disabled) and logs it.
  void SetEnabled(bool requested);

  float CurrentWet() const noexcept;
  bool IsEnabled() const noexcept;

  void Initialize(int sample_rate_hz, int num_channels) override;
  void Process(int num_bands, int num_frames, int buffer_size, float* buffer) override;
  void Reset(int new_rate) override;
  void Release() override;

 protected:
  explicit RnnoiseCaptureProcessing(const RnnoiseFunctions& functions = LinkedRnnoise());

  // For a host that installs the processor; this one never does, so only
  // tests and benchmarks turn processing on.
  void EnableProcessing() noexcept;

 private:
  // Destroys the RNNoise state through the same library that made it.
  struct DenoiserDeleter {
    void (*destroy)(DenoiseState* state);
    void operator()(DenoiseState* state) const { destroy(state); }
  };

  // Caller holds state_mutex.
  void Rebuild();
  void Denoise(float* samples, int count);
  void DenoiseFrame(float wet_level, float* samples);
  void DenoiseBuffered(float wet_level, float* samples, int count);

  const RnnoiseFunctions rnnoise;
  std::mutex state_mutex;
  std::atomic<bool> enabled{false};
  static_assert(std::atomic<float>::is_always_lock_free);
  std::atomic<float> wet{kMaxWet};
  // The members below are guarded by state_mutex.
  std::unique_ptr<DenoiseState, DenoiserDeleter> denoiser;
  // Samples not yet framed, in the buffer's scale.
  std::vector<float> input_fifo;
  // Mixed samples not yet handed back.
  std::vector<float> output_fifo;
  // In RNNoise's scale.
  std::array<float, kFrameSamples> frame_in{};
  std::array<float, kFrameSamples> frame_out{};
};

#endif  // VELMO_AUDIO_RNNOISE_CAPTURE_PROCESSING_H_
