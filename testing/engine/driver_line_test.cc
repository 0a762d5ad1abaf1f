#include "testing/engine/driver_line.h"

#include <gtest/gtest.h>

namespace substitute_engine {
namespace {

TEST(FindDriverAddressTest, TakesTheFirstUsableDriverArgument) {
  const auto address =
      FindDriverAddress({"--other", "--driver=bad", "--driver=127.0.0.1:4242", "--driver=x:1"});
  ASSERT_TRUE(address);
  EXPECT_EQ(address->host, "127.0.0.1");
  EXPECT_EQ(address->port, 4242);
}

TEST(FindDriverAddressTest, IgnoresArgumentsWithoutAUsablePort) {
  EXPECT_FALSE(FindDriverAddress({}));
  EXPECT_FALSE(FindDriverAddress({"--driver=127.0.0.1"}));
  EXPECT_FALSE(FindDriverAddress({"--driver=127.0.0.1:0"}));
  EXPECT_FALSE(FindDriverAddress({"--driver=127.0.0.1:65536"}));
  EXPECT_FALSE(FindDriverAddress({"--driver=127.0.0.1:12ab"}));
  EXPECT_FALSE(FindDriverAddress({"--driver=:80"}));
  EXPECT_FALSE(FindDriverAddress({"-driver=127.0.0.1:80"}));
  EXPECT_EQ(FindDriverAddress({"--driver=localhost:65535"})->port, 65535);
}

TEST(SplitFieldsTest, SplitsOnSingleSpacesAndDropsCarriageReturn) {
  EXPECT_EQ(SplitFields("message a/b 7 0001"),
            (std::vector<std::string>{"message", "a/b", "7", "0001"}));
  EXPECT_EQ(SplitFields("reply 3 -\r"), (std::vector<std::string>{"reply", "3", "-"}));
  EXPECT_EQ(SplitFields("query  x"), (std::vector<std::string>{"query", "", "x"}));
  EXPECT_TRUE(SplitFields("").empty());
  EXPECT_TRUE(SplitFields("\r").empty());
}

TEST(ParseNumberTest, AcceptsWholeDecimalNumbersInRange) {
  EXPECT_EQ(ParseUnsigned("18446744073709551615"), UINT64_MAX);
  EXPECT_FALSE(ParseUnsigned("18446744073709551616"));
  EXPECT_FALSE(ParseUnsigned("-1"));
  EXPECT_FALSE(ParseUnsigned("12 "));
  EXPECT_FALSE(ParseUnsigned(""));
  EXPECT_EQ(ParseSigned("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(ParseSigned("42"), 42);
  EXPECT_FALSE(ParseSigned("4x"));
}

}  // namespace
}  // namespace substitute_engine
