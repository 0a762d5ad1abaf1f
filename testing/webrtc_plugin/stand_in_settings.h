#ifndef VELMO_TESTING_WEBRTC_PLUGIN_STAND_IN_SETTINGS_H_
#define VELMO_TESTING_WEBRTC_PLUGIN_STAND_IN_SETTINGS_H_

#include <filesystem>

// How the stand-in WebRTC plug-in behaves in one test run, read once from the
// environment the test driver starts the host with:
//   VELMO_WEBRTC_STAND_IN      "accepting" (default), "no_instance",
//                              "no_audio_processing" or "throw_once" (the
//                              first capture post-processing setter call
//                              throws, later ones accept)
//   VELMO_WEBRTC_READY_FILE    while set and the file does not exist, there is
//                              no shared instance yet
//   VELMO_WEBRTC_CAPTURE_DIR   folder where the test asks for capture runs
struct StandInSettings {
  enum class Mode { kAccepting, kNoInstance, kNoAudioProcessing, kThrowOnce };

  Mode mode = Mode::kAccepting;
  std::filesystem::path ready_file;
  std::filesystem::path capture_dir;
};

const StandInSettings& Settings();

#endif  // VELMO_TESTING_WEBRTC_PLUGIN_STAND_IN_SETTINGS_H_
