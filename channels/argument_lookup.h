#ifndef VELMO_CHANNELS_ARGUMENT_LOOKUP_H_
#define VELMO_CHANNELS_ARGUMENT_LOOKUP_H_

#include <string>
#include <string_view>

#include "channels/encodable_value.h"

namespace flutter {

// A call's arguments as a map; null when they are absent or another
// alternative.
const EncodableMap* MapArgument(const EncodableValue* arguments);

// Lookups of a method call's map argument by string key. A missing key and a
// value of another alternative both yield the fallback.

// Only a bool counts.
bool LookupBool(const EncodableMap& map, std::string_view key, bool fallback);

// A double as it is, or an int32 converted; an int64 yields the fallback.
double LookupNumber(const EncodableMap& map, std::string_view key, double fallback);

// A number as LookupNumber reads it, a NaN taken as missing, clamped to
// [low, high] before it is narrowed, so no double beyond float's range
// reaches the conversion. For levels the audio path keeps as floats.
float LookupClampedLevel(const EncodableMap& map, std::string_view key, double fallback, double low,
                         double high);

// Only a string counts.
std::string LookupString(const EncodableMap& map, std::string_view key, std::string fallback);

// The value stored under the string `key`, or null when there is none.
const EncodableValue* FindValue(const EncodableMap& map, std::string_view key);

}  // namespace flutter

#endif  // VELMO_CHANNELS_ARGUMENT_LOOKUP_H_
