#include "audio/mic_gain_capture_processing.h"

#include <algorithm>
#include <cmath>

#include "diagnostics/app_log.h"

namespace {

constexpr int kSamplesPerGroup = 8;

constexpr char kLogPluginNull[] = "mic_gain_webrtc_plugin_null";
constexpr char kLogAudioProcessingNull[] = "mic_gain_audio_processing_null";
constexpr char kLogInstalled[] = "mic_gain_post_processing_installed";
constexpr char kLogInstallFailed[] = "mic_gain_post_processing_install_failed";

bool IsUnity(float value) {
  return std::fabs(value - MicGainCaptureProcessing::kUnityGain) <
         MicGainCaptureProcessing::kUnityTolerance;
}

// Holds one counted reference to the plug-in's audio-processing object.
class AudioProcessingRef {
 public:
  AudioProcessingRef() = default;
  AudioProcessingRef(const AudioProcessingRef&) = delete;
  AudioProcessingRef& operator=(const AudioProcessingRef&) = delete;
  // Reached with a reference only when the plug-in threw; the caller already
  // reports that failure, so a second one from Release() is dropped.
  ~AudioProcessingRef() {
    try {
      Drop();
    } catch (...) {
    }
  }

  libwebrtc::RTCAudioProcessing** out() { return &pointer_; }
  libwebrtc::RTCAudioProcessing* get() const { return pointer_; }

  // May throw: whatever the plug-in's Release() throws.
  void Drop() {
    libwebrtc::RTCAudioProcessing* pointer = pointer_;
    pointer_ = nullptr;
    if (pointer != nullptr) {
      pointer->Release();
    }
  }

 private:
  libwebrtc::RTCAudioProcessing* pointer_ = nullptr;
};

}  // namespace

MicGainCaptureProcessing& MicGainCaptureProcessing::Instance() {
  // Deliberately leaked: the plug-in keeps calling it until the process ends.
  static MicGainCaptureProcessing* const instance = new MicGainCaptureProcessing();
  return *instance;
}

void MicGainCaptureProcessing::SetGain(float value) {
  // A NaN would pass the clamp and turn every sample into NaN.
  if (std::isnan(value)) {
    return;
  }
  const float stored = std::clamp(value, kMinGain, kMaxGain);
  gain.store(stored);
  if (std::fabs(stored - kUnityGain) > kUnityTolerance) {
    EnsureInstalled();
  }
}

void MicGainCaptureProcessing::EnsureInstalled() {
  std::lock_guard<std::mutex> lock(install_mutex);
  if (installed) {
    return;
  }
  try {
    flutter_webrtc_plugin::SharedInstance* plugin = FlutterWebRTCPluginSharedInstance();
    if (plugin == nullptr) {
      AppendLog(kLogPluginNull);
      return;
    }
    AudioProcessingRef audio_processing;
    plugin->GetAudioProcessing(audio_processing.out());
    if (audio_processing.get() == nullptr) {
      AppendLog(kLogAudioProcessingNull);
      return;
    }
    audio_processing.get()->SetCapturePostProcessing(this);
    installed = true;
    AppendLog(kLogInstalled);
    audio_processing.Drop();
  } catch (...) {
    AppendLog(kLogInstallFailed);
  }
}

float MicGainCaptureProcessing::CurrentGain() const noexcept { return gain.load(); }

void MicGainCaptureProcessing::Initialize(int /*sample_rate_hz*/, int /*num_channels*/) {}

void MicGainCaptureProcessing::Process(int /*num_bands*/, int num_frames, int buffer_size,
                                       float* buffer) {
  if (buffer == nullptr || num_frames <= 0 || buffer_size <= 0) {
    return;
  }
  const float factor = gain.load();
  if (IsUnity(factor)) {
    return;
  }
  const int count = std::min(num_frames, buffer_size);
  int i = 0;
  // Fixed-width groups let the compiler use vector instructions even where it
  // will not vectorise a loop of unknown length.
  for (; i + kSamplesPerGroup <= count; i += kSamplesPerGroup) {
    for (int lane = 0; lane < kSamplesPerGroup; ++lane) {
      buffer[i + lane] *= factor;
    }
  }
  for (; i < count; ++i) {
    buffer[i] *= factor;
  }
}

void MicGainCaptureProcessing::Reset(int /*new_rate*/) {}

void MicGainCaptureProcessing::Release() {}
