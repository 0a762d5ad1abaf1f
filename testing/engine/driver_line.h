#ifndef VELMO_TESTING_ENGINE_DRIVER_LINE_H_
#define VELMO_TESTING_ENGINE_DRIVER_LINE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace substitute_engine {

// Where the test driver listens, from an entry-point argument
// "--driver=HOST:PORT".
struct DriverAddress {
  std::string host;
  uint16_t port = 0;
};

// The first argument of the form "--driver=HOST:PORT" with a port from 1 to
// 65535; none when there is no such argument.
std::optional<DriverAddress> FindDriverAddress(const std::vector<std::string>& arguments);

// The fields of one protocol line (separated by single spaces; a trailing
// carriage return is ignored).
std::vector<std::string> SplitFields(std::string_view line);

// A decimal field as an unsigned or signed 64-bit number; none when the field
// is not entirely a number in range.
std::optional<uint64_t> ParseUnsigned(std::string_view field);
std::optional<int64_t> ParseSigned(std::string_view field);

}  // namespace substitute_engine

#endif  // VELMO_TESTING_ENGINE_DRIVER_LINE_H_
