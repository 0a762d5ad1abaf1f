#include "channels/argument_lookup.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace flutter {

const EncodableMap* MapArgument(const EncodableValue* arguments) {
  return arguments != nullptr ? std::get_if<EncodableMap>(arguments) : nullptr;
}

const EncodableValue* FindValue(const EncodableMap& map, std::string_view key) {
  const auto it = map.find(EncodableValue(std::string(key)));
  return it == map.end() ? nullptr : &it->second;
}

bool LookupBool(const EncodableMap& map, std::string_view key, bool fallback) {
  const EncodableValue* value = FindValue(map, key);
  if (value == nullptr) return fallback;
  const auto* flag = std::get_if<bool>(value);
  return flag != nullptr ? *flag : fallback;
}

double LookupNumber(const EncodableMap& map, std::string_view key, double fallback) {
  const EncodableValue* value = FindValue(map, key);
  if (value == nullptr) return fallback;
  if (const auto* number = std::get_if<double>(value)) return *number;
  if (const auto* integer = std::get_if<int32_t>(value)) return static_cast<double>(*integer);
  return fallback;
}

float LookupClampedLevel(const EncodableMap& map, std::string_view key, double fallback, double low,
                         double high) {
  double value = LookupNumber(map, key, fallback);
  if (std::isnan(value)) value = fallback;
  return static_cast<float>(std::clamp(value, low, high));
}

std::string LookupString(const EncodableMap& map, std::string_view key, std::string fallback) {
  const EncodableValue* value = FindValue(map, key);
  if (value == nullptr) return fallback;
  if (const auto* text = std::get_if<std::string>(value)) return *text;
  return fallback;
}

}  // namespace flutter
