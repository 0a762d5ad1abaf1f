#ifndef VELMO_AUDIO_MIC_GAIN_CAPTURE_PROCESSING_H_
#define VELMO_AUDIO_MIC_GAIN_CAPTURE_PROCESSING_H_

#include <atomic>
#include <mutex>

#include "audio/webrtc_plugin_api.h"

// Scales the captured microphone signal inside the WebRTC plug-in's capture
// path. One object per process: the plug-in may call it until the process
// ends, so it is never destroyed.
//
// Threads: SetGain and EnsureInstalled run on the platform thread; the
// plug-in's capture thread calls the CustomProcessing operations. They share
// only `gain`.
class MicGainCaptureProcessing : public libwebrtc::RTCAudioProcessing::CustomProcessing {
 public:
  static constexpr float kUnityGain = 1.0f;
  static constexpr float kMinGain = 0.0f;
  static constexpr float kMaxGain = 2.0f;
  // Gains closer to unity than this count as unity.
  static constexpr float kUnityTolerance = 0.001f;

  static MicGainCaptureProcessing& Instance();

  MicGainCaptureProcessing(const MicGainCaptureProcessing&) = delete;
  MicGainCaptureProcessing& operator=(const MicGainCaptureProcessing&) = delete;

  // Stores the gain clamped to [0, 2] and, away from unity, hands the
  // processor to the plug-in if that has not succeeded yet. A NaN is ignored.
  void SetGain(float value);

  // Installs this processor as the plug-in's capture post-processing hook
  // unless it already is. A failed attempt is logged and may be repeated.
  void EnsureInstalled();

  float CurrentGain() const noexcept;

  void Initialize(int sample_rate_hz, int num_channels) override;
  // Real-time path: no allocation, lock or logging.
  void Process(int num_bands, int num_frames, int buffer_size, float* buffer) override;
  void Reset(int new_rate) override;
  void Release() override;

 protected:
  MicGainCaptureProcessing() = default;

 private:
  std::mutex install_mutex;
  // Process reads it on the real-time path, where no hidden lock may sit.
  static_assert(std::atomic<float>::is_always_lock_free);
  std::atomic<float> gain{kUnityGain};
  // Guarded by install_mutex; never returns to false.
  bool installed = false;
};

#endif  // VELMO_AUDIO_MIC_GAIN_CAPTURE_PROCESSING_H_
