#include "overlay/avatar/content_length.h"

#include <gtest/gtest.h>

namespace {

TEST(ContentLengthTest, DecimalDigitsOnly) {
  const struct {
    std::string_view value;
    std::optional<uint64_t> length;
  } cases[] = {{"0", 0},
               {"8388609", 8388609},
               {" \t42\t ", 42},
               {"18446744073709551615", UINT64_MAX},
               {"18446744073709551616", UINT64_MAX},
               {"", std::nullopt},
               {"-1", std::nullopt},
               {"4 2", std::nullopt},
               {"0x10", std::nullopt},
               {"12:", std::nullopt},
               {"/", std::nullopt}};
  for (const auto& c : cases) {
    EXPECT_EQ(ParseContentLength(c.value), c.length) << c.value;
  }
}

}  // namespace
