#include "channels/encodable_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace flutter {
namespace {

TEST(EncodableValueTest, AlternativesKeepTheirIndexOrder) {
  EXPECT_EQ(EncodableValue().index(), 0u);
  EXPECT_EQ(EncodableValue(true).index(), 1u);
  EXPECT_EQ(EncodableValue(int32_t{1}).index(), 2u);
  EXPECT_EQ(EncodableValue(int64_t{1}).index(), 3u);
  EXPECT_EQ(EncodableValue(1.0).index(), 4u);
  EXPECT_EQ(EncodableValue("text").index(), 5u) << "a literal is a string, not a bool";
  EXPECT_EQ(EncodableValue(std::vector<uint8_t>{}).index(), 6u);
  EXPECT_EQ(EncodableValue(std::vector<int32_t>{}).index(), 7u);
  EXPECT_EQ(EncodableValue(std::vector<int64_t>{}).index(), 8u);
  EXPECT_EQ(EncodableValue(std::vector<double>{}).index(), 9u);
  EXPECT_EQ(EncodableValue(EncodableList{}).index(), 10u);
  EXPECT_EQ(EncodableValue(EncodableMap{}).index(), 11u);
  EXPECT_EQ(EncodableValue(CustomEncodableValue(3)).index(), 12u);
  EXPECT_EQ(EncodableValue(std::vector<float>{}).index(), 13u);
}

TEST(EncodableValueTest, CopiesAreDeep) {
  EncodableValue original(EncodableList{EncodableValue(EncodableMap{
      {EncodableValue("k"), EncodableValue(EncodableList{EncodableValue(int32_t{1})})}})});
  EncodableValue copy = original;
  auto& inner = std::get<EncodableList>(
      std::get<EncodableMap>(std::get<EncodableList>(copy)[0])[EncodableValue("k")]);
  inner.push_back(EncodableValue(int32_t{2}));
  EXPECT_NE(copy, original);
  EXPECT_EQ(
      std::get<EncodableList>(
          std::get<EncodableMap>(std::get<EncodableList>(original)[0]).at(EncodableValue("k")))
          .size(),
      1u);
}

TEST(EncodableValueTest, LongValueWidensEitherInteger) {
  EXPECT_EQ(EncodableValue(int32_t{-7}).LongValue(), -7);
  EXPECT_EQ(EncodableValue(int64_t{1} << 40).LongValue(), int64_t{1} << 40);
  EXPECT_THROW(EncodableValue(1.0).LongValue(), std::bad_variant_access);
}

class EncodableValueOrderTest : public ::testing::Test {
 protected:
  static void ExpectStrictlyLess(const EncodableValue& smaller, const EncodableValue& larger) {
    EXPECT_TRUE(smaller < larger);
    EXPECT_FALSE(larger < smaller);
  }
};

TEST_F(EncodableValueOrderTest, DifferentAlternativesCompareByIndex) {
  ExpectStrictlyLess(EncodableValue(), EncodableValue(false));
  ExpectStrictlyLess(EncodableValue(true), EncodableValue(int32_t{-100}));
  ExpectStrictlyLess(EncodableValue(int32_t{100}), EncodableValue(int64_t{-100}));
  ExpectStrictlyLess(EncodableValue(1e300), EncodableValue(""));
  ExpectStrictlyLess(EncodableValue(EncodableMap{}), EncodableValue(CustomEncodableValue(1)));
  ExpectStrictlyLess(EncodableValue(CustomEncodableValue(1)), EncodableValue(std::vector<float>{}));
}

TEST_F(EncodableValueOrderTest, SameAlternativeComparesByContent) {
  EXPECT_FALSE(EncodableValue() < EncodableValue());
  ExpectStrictlyLess(EncodableValue(false), EncodableValue(true));
  ExpectStrictlyLess(EncodableValue(int32_t{-1}), EncodableValue(int32_t{0}));
  ExpectStrictlyLess(EncodableValue(int64_t{-1}), EncodableValue(int64_t{0}));
  ExpectStrictlyLess(EncodableValue(-0.5), EncodableValue(0.25));
  ExpectStrictlyLess(EncodableValue("ab"), EncodableValue("b"));
  ExpectStrictlyLess(EncodableValue("ab"), EncodableValue("abc"));
  // Bytes compare unsigned: 0xC3 sorts after ASCII.
  ExpectStrictlyLess(EncodableValue("z"), EncodableValue("\xC3\xA9"));
  ExpectStrictlyLess(EncodableValue(std::vector<uint8_t>{1, 255}),
                     EncodableValue(std::vector<uint8_t>{2}));
  ExpectStrictlyLess(EncodableValue(std::vector<int32_t>{-5}),
                     EncodableValue(std::vector<int32_t>{1}));
  ExpectStrictlyLess(EncodableValue(EncodableList{EncodableValue(int32_t{1})}),
                     EncodableValue(EncodableList{EncodableValue(int32_t{1}), EncodableValue()}));
  ExpectStrictlyLess(
      EncodableValue(EncodableMap{{EncodableValue("a"), EncodableValue(int32_t{9})}}),
      EncodableValue(EncodableMap{{EncodableValue("b"), EncodableValue(int32_t{0})}}));
  ExpectStrictlyLess(
      EncodableValue(EncodableMap{{EncodableValue("a"), EncodableValue(int32_t{1})}}),
      EncodableValue(EncodableMap{{EncodableValue("a"), EncodableValue(int32_t{2})}}));
}

TEST_F(EncodableValueOrderTest, NanSortsAfterNumbersSoMapsStayConsistent) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  ExpectStrictlyLess(EncodableValue(1e308), EncodableValue(nan));
  EXPECT_FALSE(EncodableValue(nan) < EncodableValue(-nan));
  ExpectStrictlyLess(EncodableValue(std::vector<double>{nan, 1.0}),
                     EncodableValue(std::vector<double>{nan, 2.0}));
  ExpectStrictlyLess(EncodableValue(std::vector<float>{2.0f}),
                     EncodableValue(std::vector<float>{std::nanf("")}));

  // With plain `<` the NaN key would be equivalent to both numbers and the
  // map's content would depend on insertion order.
  EncodableMap forwards;
  EncodableMap backwards;
  const std::vector<double> keys{2.0, nan, 1.0};
  for (size_t i = 0; i < keys.size(); ++i) {
    forwards.emplace(EncodableValue(keys[i]), EncodableValue());
    backwards.emplace(EncodableValue(keys[keys.size() - 1 - i]), EncodableValue());
  }
  ASSERT_EQ(forwards.size(), 3u);
  ASSERT_EQ(backwards.size(), 3u);
  EXPECT_TRUE(std::isnan(std::get<double>(forwards.rbegin()->first)));
  EXPECT_EQ(forwards.count(EncodableValue(1.0)), 1u);
  EXPECT_EQ(backwards.count(EncodableValue(2.0)), 1u);
}

TEST_F(EncodableValueOrderTest, EqualityAgreesWithTheOrderOnNan) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<EncodableValue> values = {
      EncodableValue(nan),
      EncodableValue(std::vector<double>{1.0, nan}),
      EncodableValue(std::vector<float>{std::nanf("")}),
      EncodableValue(EncodableMap{{EncodableValue(nan), EncodableValue(nan)}}),
      EncodableValue(EncodableList{EncodableValue(-nan)}),
  };
  for (const EncodableValue& value : values) {
    const EncodableValue copy = value;
    EXPECT_FALSE(value < copy || copy < value);
    EXPECT_TRUE(value == copy) << "alternative " << value.index();
  }
  EXPECT_FALSE(EncodableValue(nan) == EncodableValue(1.0));
  EXPECT_TRUE(EncodableValue(-0.0) == EncodableValue(0.0));
}

TEST_F(EncodableValueOrderTest, MapKeysOfDifferentAlternativesAreDistinct) {
  EncodableMap map;
  map[EncodableValue(int32_t{5})] = EncodableValue("int32");
  map[EncodableValue(int64_t{5})] = EncodableValue("int64");
  ASSERT_EQ(map.size(), 2u);
  EXPECT_EQ(map.begin()->second, EncodableValue("int32"));
  EXPECT_EQ(map.count(EncodableValue(5.0)), 0u);
}

TEST(CustomEncodableValueTest, HoldsACopyableObjectAndComparesByIdentity) {
  const CustomEncodableValue first(std::string("payload"));
  const CustomEncodableValue copy = first;
  ASSERT_NE(copy.TryGet<std::string>(), nullptr);
  EXPECT_EQ(*copy.TryGet<std::string>(), "payload");
  EXPECT_EQ(copy.TryGet<int>(), nullptr);
  EXPECT_NE(copy.address(), first.address());
  EXPECT_FALSE(copy == first);
  EXPECT_TRUE((first < copy) != (copy < first));
}

}  // namespace
}  // namespace flutter
