#ifndef VELMO_TESTING_WEBRTC_PLUGIN_CAPTURE_DRIVER_H_
#define VELMO_TESTING_WEBRTC_PLUGIN_CAPTURE_DRIVER_H_

#include <atomic>

#include "audio/webrtc_plugin_api.h"

// What the stand-in's audio-processing object has been asked to do so far;
// read by the capture thread while the host's thread changes it.
struct CaptureHookState {
  std::atomic<libwebrtc::RTCAudioProcessing::CustomProcessing*> hook{nullptr};
  std::atomic<int> setter_calls{0};
  std::atomic<int> outstanding_references{0};
};

CaptureHookState& HookState();

// Starts, once, the thread that plays the plug-in's capture thread: whenever
// the test drops "capture.request" (holding a result file name) into the
// capture folder, it runs the known blocks through the installed hook and
// writes what went in and came out to that file. Does nothing without a
// capture folder.
void StartCaptureDriver();

#endif  // VELMO_TESTING_WEBRTC_PLUGIN_CAPTURE_DRIVER_H_
