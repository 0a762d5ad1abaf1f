#ifndef VELMO_ACTIVITY_DETECT_ACTIVITY_H_
#define VELMO_ACTIVITY_DETECT_ACTIVITY_H_

#include <memory>

#include "channels/binary_messenger.h"
#include "channels/encodable_value.h"
#include "channels/method_channel.h"

// Lists the running processes now and classifies them: null when none is
// known or the list cannot be taken, else the "type"/"name" map.
flutter::EncodableValue DetectActivity();

// The "parlora/activity" channel on `messenger`, answered from
// DetectActivity. The handler stays registered after the channel object is
// gone, until another one replaces it.
std::unique_ptr<flutter::MethodChannel> CreateActivityChannel(flutter::BinaryMessenger* messenger);

#endif  // VELMO_ACTIVITY_DETECT_ACTIVITY_H_
