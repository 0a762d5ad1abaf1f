#include "overlay/avatar/content_length.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

TEST(ContentLengthTest, DecimalDigitsOnly) {
  // clang-format off
  const std::pair<std::string_view, std::optional<uint64_t>> cases[] = {
      {"0", 0}, {"8388609", 8388609}, {" \t42\t ", 42}, {"18446744073709551615", UINT64_MAX},
      {"18446744073709551616", UINT64_MAX}, {"", std::nullopt}, {"-1", std::nullopt},
      {"4 2", std::nullopt}, {"0x10", std::nullopt}, {"12:", std::nullopt}, {"/", std::nullopt}};
  // clang-format on
  for (const auto& [value, length] : cases) EXPECT_EQ(ParseContentLength(value), length) << value;
}

}  // namespace
