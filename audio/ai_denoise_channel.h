#ifndef VELMO_AUDIO_AI_DENOISE_CHANNEL_H_
#define VELMO_AUDIO_AI_DENOISE_CHANNEL_H_

#include <memory>

#include "channels/binary_messenger.h"
#include "channels/method_call.h"
#include "channels/method_channel.h"
#include "channels/method_result.h"

inline constexpr char kAiDenoiseChannelName[] = "parlora/ai_denoise";

// Answers the calls of "parlora/ai_denoise": "configure" with a map holding
// "enabled" and "wet" records the wet level on the process-wide denoising
// processor; the processor itself stays disabled.
void HandleAiDenoiseCall(const flutter::MethodCall& call,
                         std::unique_ptr<flutter::MethodResult> result);

// The "parlora/ai_denoise" channel on `messenger`, answered by
// HandleAiDenoiseCall.
std::unique_ptr<flutter::MethodChannel> CreateAiDenoiseChannel(flutter::BinaryMessenger* messenger);

#endif  // VELMO_AUDIO_AI_DENOISE_CHANNEL_H_
