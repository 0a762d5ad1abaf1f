#ifndef VELMO_AUDIO_SIDETONE_CHANNEL_H_
#define VELMO_AUDIO_SIDETONE_CHANNEL_H_

#include <functional>
#include <memory>
#include <string>

#include "channels/method_call.h"
#include "channels/method_result.h"

inline constexpr char kSidetoneChannelName[] = "parlora/sidetone";

// What the channel asks of the microphone monitor; device ids arrive as the
// Flutter side sent them (UTF-8, empty for the default device).
class SidetoneControl {
 public:
  virtual ~SidetoneControl() = default;
  // Returns at once; `answer` receives the start's outcome later, once.
  virtual void Start(const std::string& input_device_id, const std::string& output_device_id,
                     float volume, std::function<void(bool)> answer) = 0;
  virtual void SetVolume(float volume) = 0;
  virtual void Stop() = 0;
};

// Answers the calls of "parlora/sidetone": "start" (a map with
// "inputDeviceId", "outputDeviceId" and "volume") with the monitor's start
// result once it is known, "setVolume" (a map with "volume") and "stop" with
// true.
void HandleSidetoneCall(const flutter::MethodCall& call,
                        std::unique_ptr<flutter::MethodResult> result, SidetoneControl& control);

#endif  // VELMO_AUDIO_SIDETONE_CHANNEL_H_
