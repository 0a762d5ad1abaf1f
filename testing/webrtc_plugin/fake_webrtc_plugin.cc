#include "testing/webrtc_plugin/fake_webrtc_plugin.h"

#include <stdexcept>

#include "diagnostics/app_log.h"

namespace fake_webrtc_plugin {
namespace {

struct FakeState {
  Behaviour behaviour = Behaviour::kNoSharedInstance;
  std::vector<std::string> calls;
  std::vector<std::string> log_lines;
  int references = 0;
  libwebrtc::RTCAudioProcessing::CustomProcessing* hook = nullptr;
};

FakeState& State() {
  static FakeState state;
  return state;
}

class FakeAudioProcessing : public libwebrtc::RTCAudioProcessing {
 public:
  void AddRef() const override {
    State().calls.push_back("add_ref");
    ++State().references;
  }
  libwebrtc::RefCountReleaseStatus Release() const override {
    State().calls.push_back("release");
    --State().references;
    return State().references == 0 ? libwebrtc::RefCountReleaseStatus::kDroppedLastRef
                                   : libwebrtc::RefCountReleaseStatus::kOtherRefsRemained;
  }
  bool HasOneRef() const override { return State().references == 1; }
  void SetCapturePostProcessing(CustomProcessing* processing) override {
    State().calls.push_back("set_capture_post_processing");
    if (State().behaviour == Behaviour::kThrowingSetter) {
      throw std::runtime_error("setter refused");
    }
    State().hook = processing;
  }
};

class FakeSharedInstance : public flutter_webrtc_plugin::SharedInstance {
 public:
  void GetAudioProcessing(libwebrtc::RTCAudioProcessing** out) override {
    State().calls.push_back("get_audio_processing");
    *out = nullptr;
    if (State().behaviour == Behaviour::kThrowingGet) {
      throw std::runtime_error("no audio processing today");
    }
    if (State().behaviour == Behaviour::kNoAudioProcessing) {
      return;
    }
    audio_processing_.AddRef();
    *out = &audio_processing_;
  }

 private:
  FakeAudioProcessing audio_processing_;
};

}  // namespace

void ResetFake() { State() = FakeState{}; }

void SetBehaviour(Behaviour behaviour) { State().behaviour = behaviour; }

const std::vector<std::string>& Calls() { return State().calls; }

int OutstandingReferences() { return State().references; }

libwebrtc::RTCAudioProcessing::CustomProcessing* InstalledHook() { return State().hook; }

const std::vector<std::string>& LogLines() { return State().log_lines; }

}  // namespace fake_webrtc_plugin

extern "C" flutter_webrtc_plugin::SharedInstance* FlutterWebRTCPluginSharedInstance() {
  using fake_webrtc_plugin::State;
  static fake_webrtc_plugin::FakeSharedInstance instance;
  State().calls.push_back("shared_instance");
  if (State().behaviour == fake_webrtc_plugin::Behaviour::kNoSharedInstance) {
    return nullptr;
  }
  return &instance;
}

void AppendLog(const char* text) {
  if (text != nullptr) {
    fake_webrtc_plugin::State().log_lines.push_back(text);
  }
}
