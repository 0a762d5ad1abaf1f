#ifndef VELMO_AUDIO_MIC_GAIN_CHANNEL_H_
#define VELMO_AUDIO_MIC_GAIN_CHANNEL_H_

#include <memory>

#include "channels/binary_messenger.h"
#include "channels/method_call.h"
#include "channels/method_channel.h"
#include "channels/method_result.h"

inline constexpr char kMicGainChannelName[] = "parlora/mic_gain";

// Answers the calls of "parlora/mic_gain": "setGain" with a map holding
// "gain" sets the process-wide microphone gain.
void HandleMicGainCall(const flutter::MethodCall& call,
                       std::unique_ptr<flutter::MethodResult> result);

// The "parlora/mic_gain" channel on `messenger`, answered by
// HandleMicGainCall. The handler stays registered after the channel object is
// gone, until another one replaces it.
std::unique_ptr<flutter::MethodChannel> CreateMicGainChannel(flutter::BinaryMessenger* messenger);

#endif  // VELMO_AUDIO_MIC_GAIN_CHANNEL_H_
