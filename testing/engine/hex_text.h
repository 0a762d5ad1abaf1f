#ifndef VELMO_TESTING_ENGINE_HEX_TEXT_H_
#define VELMO_TESTING_ENGINE_HEX_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace substitute_engine {

// Bytes as one driver-line field: lower-case hex, "-" for no bytes.
std::string HexField(const uint8_t* data, size_t size);
std::string HexField(std::string_view text);

// The bytes of a hex field; none when the field is neither "-" nor an even
// number of hex digits.
std::optional<std::vector<uint8_t>> BytesFromHexField(std::string_view field);

}  // namespace substitute_engine

#endif  // VELMO_TESTING_ENGINE_HEX_TEXT_H_
