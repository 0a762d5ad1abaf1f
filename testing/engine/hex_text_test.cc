#include "testing/engine/hex_text.h"

#include <gtest/gtest.h>

namespace substitute_engine {
namespace {

TEST(HexFieldTest, WritesLowerCaseDigitsAndDashForNothing) {
  const uint8_t bytes[] = {0x00, 0x0A, 0xF0, 0xFF};
  EXPECT_EQ(HexField(bytes, sizeof(bytes)), "000af0ff");
  EXPECT_EQ(HexField(nullptr, 0), "-");
  EXPECT_EQ(HexField(bytes, 0), "-");
  EXPECT_EQ(HexField(std::string_view("ab")), "6162");
}

TEST(HexFieldTest, ReadsBackWhatItWrote) {
  std::vector<uint8_t> all(256);
  for (size_t i = 0; i < all.size(); ++i) {
    all[i] = static_cast<uint8_t>(i);
  }
  EXPECT_EQ(BytesFromHexField(HexField(all.data(), all.size())), all);
  EXPECT_EQ(BytesFromHexField("-"), std::vector<uint8_t>());
  EXPECT_EQ(BytesFromHexField("0A0b"), (std::vector<uint8_t>{0x0A, 0x0B}));
}

TEST(HexFieldTest, RefusesMalformedFields) {
  EXPECT_FALSE(BytesFromHexField(""));
  EXPECT_FALSE(BytesFromHexField("abc"));
  EXPECT_FALSE(BytesFromHexField("zz"));
  EXPECT_FALSE(BytesFromHexField("--"));
  EXPECT_FALSE(BytesFromHexField("0x"));
}

}  // namespace
}  // namespace substitute_engine
