#ifndef VELMO_TESTING_WEBRTC_PLUGIN_FAKE_WEBRTC_PLUGIN_H_
#define VELMO_TESTING_WEBRTC_PLUGIN_FAKE_WEBRTC_PLUGIN_H_

#include <string>
#include <vector>

#include "audio/webrtc_plugin_api.h"

// In-process stand-in for the WebRTC plug-in and the application log, for
// unit tests that link the gain processor without either. The program's
// FlutterWebRTCPluginSharedInstance and AppendLog come from here.
namespace fake_webrtc_plugin {

enum class Behaviour {
  kNoSharedInstance,   // FlutterWebRTCPluginSharedInstance returns null
  kNoAudioProcessing,  // the shared instance delivers a null reference
  kAccepting,          // the setter keeps the processor
  kThrowingGet,        // delivering the reference throws
  kThrowingSetter,     // the setter throws after the reference was delivered
};

// Back to kNoSharedInstance, no recorded calls, no log lines, no hook.
void ResetFake();
void SetBehaviour(Behaviour behaviour);

// The plug-in operations in the order they were called: "shared_instance",
// "get_audio_processing", "add_ref", "release", "set_capture_post_processing".
const std::vector<std::string>& Calls();

// Counted references handed out and not yet dropped.
int OutstandingReferences();

// The processor last handed to the capture post-processing setter, or null.
libwebrtc::RTCAudioProcessing::CustomProcessing* InstalledHook();

// Every AppendLog text, in order.
const std::vector<std::string>& LogLines();

}  // namespace fake_webrtc_plugin

#endif  // VELMO_TESTING_WEBRTC_PLUGIN_FAKE_WEBRTC_PLUGIN_H_
