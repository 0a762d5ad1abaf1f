#ifndef VELMO_ACTIVITY_DETECT_ACTIVITY_H_
#define VELMO_ACTIVITY_DETECT_ACTIVITY_H_

#include "channels/encodable_value.h"

// Lists the running processes now and classifies them: null when none is
// known or the list cannot be taken, else the "type"/"name" map.
flutter::EncodableValue DetectActivity();

#endif  // VELMO_ACTIVITY_DETECT_ACTIVITY_H_
