#include "channels/argument_lookup.h"

#include <gtest/gtest.h>

namespace flutter {
namespace {

class ArgumentLookupTest : public ::testing::Test {
 protected:
  const EncodableMap arguments_{
      {EncodableValue("flag"), EncodableValue(true)},
      {EncodableValue("ratio"), EncodableValue(0.25)},
      {EncodableValue("count"), EncodableValue(int32_t{-3})},
      {EncodableValue("big"), EncodableValue(int64_t{5})},
      {EncodableValue("name"), EncodableValue("Ann")},
      {EncodableValue(int32_t{7}), EncodableValue(true)},
  };
};

TEST_F(ArgumentLookupTest, BoolOnlyFromABool) {
  EXPECT_TRUE(LookupBool(arguments_, "flag", false));
  EXPECT_TRUE(LookupBool(arguments_, "count", true));
  EXPECT_FALSE(LookupBool(arguments_, "count", false));
  EXPECT_FALSE(LookupBool(arguments_, "missing", false));
  EXPECT_FALSE(LookupBool(arguments_, "7", false)) << "keys are strings only";
}

TEST_F(ArgumentLookupTest, NumberFromDoubleOrInt32) {
  EXPECT_DOUBLE_EQ(LookupNumber(arguments_, "ratio", 9.0), 0.25);
  EXPECT_DOUBLE_EQ(LookupNumber(arguments_, "count", 9.0), -3.0);
  EXPECT_DOUBLE_EQ(LookupNumber(arguments_, "big", 9.0), 9.0);
  EXPECT_DOUBLE_EQ(LookupNumber(arguments_, "flag", 9.0), 9.0);
  EXPECT_DOUBLE_EQ(LookupNumber(arguments_, "missing", 9.0), 9.0);
}

TEST_F(ArgumentLookupTest, StringOnlyFromAString) {
  EXPECT_EQ(LookupString(arguments_, "name", "x"), "Ann");
  EXPECT_EQ(LookupString(arguments_, "ratio", "x"), "x");
  EXPECT_EQ(LookupString(arguments_, "missing", ""), "");
}

}  // namespace
}  // namespace flutter
