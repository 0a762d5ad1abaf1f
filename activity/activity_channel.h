#ifndef VELMO_ACTIVITY_ACTIVITY_CHANNEL_H_
#define VELMO_ACTIVITY_ACTIVITY_CHANNEL_H_

#include <functional>
#include <memory>

#include "channels/binary_messenger.h"
#include "channels/encodable_value.h"
#include "channels/method_call.h"
#include "channels/method_channel.h"
#include "channels/method_result.h"

inline constexpr char kActivityChannelName[] = "parlora/activity";

// Answers one call on "parlora/activity". "detect" (arguments ignored)
// succeeds with whatever `detect` returns: null or the activity map. Never an
// error: a machine whose processes cannot be listed has no known activity.
void HandleActivityCall(const flutter::MethodCall& call,
                        std::unique_ptr<flutter::MethodResult> result,
                        const std::function<flutter::EncodableValue()>& detect);

// The "parlora/activity" channel on `messenger`, answered from the running
// processes (DetectActivity; Windows builds only). The handler stays
// registered after the channel object is gone, until another one replaces it.
std::unique_ptr<flutter::MethodChannel> CreateActivityChannel(flutter::BinaryMessenger* messenger);

#endif  // VELMO_ACTIVITY_ACTIVITY_CHANNEL_H_
