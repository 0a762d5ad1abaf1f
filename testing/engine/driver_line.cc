#include "testing/engine/driver_line.h"

#include <charconv>

namespace substitute_engine {
namespace {

constexpr std::string_view kDriverPrefix = "--driver=";

template <typename Number>
std::optional<Number> ParseNumber(std::string_view field) {
  Number value{};
  const char* end = field.data() + field.size();
  auto [last, error] = std::from_chars(field.data(), end, value);
  if (field.empty() || error != std::errc() || last != end) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<DriverAddress> FindDriverAddress(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    std::string_view text(argument);
    if (!text.starts_with(kDriverPrefix)) {
      continue;
    }
    text.remove_prefix(kDriverPrefix.size());
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0) {
      continue;
    }
    const auto port = ParseNumber<uint32_t>(text.substr(colon + 1));
    if (!port || *port == 0 || *port > 65535) {
      continue;
    }
    return DriverAddress{std::string(text.substr(0, colon)), static_cast<uint16_t>(*port)};
  }
  return std::nullopt;
}

std::vector<std::string> SplitFields(std::string_view line) {
  if (line.ends_with('\r')) {
    line.remove_suffix(1);
  }
  std::vector<std::string> fields;
  size_t start = 0;
  while (start <= line.size()) {
    const size_t space = line.find(' ', start);
    const size_t end = space == std::string_view::npos ? line.size() : space;
    fields.emplace_back(line.substr(start, end - start));
    if (space == std::string_view::npos) {
      break;
    }
    start = space + 1;
  }
  if (fields.size() == 1 && fields.front().empty()) {
    fields.clear();
  }
  return fields;
}

std::optional<uint64_t> ParseUnsigned(std::string_view field) {
  return ParseNumber<uint64_t>(field);
}

std::optional<int64_t> ParseSigned(std::string_view field) { return ParseNumber<int64_t>(field); }

}  // namespace substitute_engine
