// Stand-in for flutter_webrtc_plugin.dll: registers like the other stand-in
// plug-ins and offers the shared instance and audio-processing object the
// host's microphone gain installs itself into, with the behaviour each test
// chooses (see stand_in_settings.h).
#include <filesystem>
#include <stdexcept>

#include "audio/webrtc_plugin_api.h"
#include "channels/engine/engine_api.h"
#include "testing/plugin_report/plugin_report.h"
#include "testing/webrtc_plugin/capture_driver.h"
#include "testing/webrtc_plugin/stand_in_settings.h"

namespace {

constexpr char kRegistrarName[] = "FlutterWebRTCPlugin";

class StandInAudioProcessing : public libwebrtc::RTCAudioProcessing {
 public:
  void AddRef() const override { ++HookState().outstanding_references; }
  libwebrtc::RefCountReleaseStatus Release() const override {
    // The object itself lives as long as the library.
    return --HookState().outstanding_references == 0
               ? libwebrtc::RefCountReleaseStatus::kDroppedLastRef
               : libwebrtc::RefCountReleaseStatus::kOtherRefsRemained;
  }
  bool HasOneRef() const override { return HookState().outstanding_references.load() == 1; }
  void SetCapturePostProcessing(CustomProcessing* processing) override {
    const int call = ++HookState().setter_calls;
    if (Settings().mode == StandInSettings::Mode::kThrowOnce && call == 1) {
      throw std::runtime_error("capture pipeline not ready");
    }
    HookState().hook.store(processing);
    StartCaptureDriver();
  }
};

class StandInSharedInstance : public flutter_webrtc_plugin::SharedInstance {
 public:
  void GetAudioProcessing(libwebrtc::RTCAudioProcessing** out) override {
    if (out == nullptr) {
      return;
    }
    *out = nullptr;
    if (Settings().mode == StandInSettings::Mode::kNoAudioProcessing) {
      return;
    }
    audio_processing_.AddRef();
    *out = &audio_processing_;
  }

 private:
  StandInAudioProcessing audio_processing_;
};

bool InstanceAvailable() {
  const StandInSettings& settings = Settings();
  if (settings.mode == StandInSettings::Mode::kNoInstance) {
    return false;
  }
  std::error_code error;
  return settings.ready_file.empty() || std::filesystem::exists(settings.ready_file, error);
}

}  // namespace

extern "C" __declspec(dllexport)
    flutter_webrtc_plugin::SharedInstance* FlutterWebRTCPluginSharedInstance() {
  static StandInSharedInstance instance;
  StartCaptureDriver();
  return InstanceAvailable() ? &instance : nullptr;
}

extern "C" __declspec(dllexport) void FlutterWebRTCPluginRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar) {
  ReportPluginRegistered(registrar, kRegistrarName);
  StartCaptureDriver();
}
