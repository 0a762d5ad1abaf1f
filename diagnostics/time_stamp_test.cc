#include "diagnostics/time_stamp.h"

#include <array>
#include <string>

#include <gtest/gtest.h>

namespace {

constexpr StampTime kMorning{2026, 3, 7, 5, 4, 9};
constexpr StampTime kLastSecondOfYear{1999, 12, 31, 23, 59, 59};

TEST(LogStampTest, ZeroPadsEveryFieldAndEndsWithOneSpace) {
  std::array<char, kLogStampBufferBytes> out{};
  const std::size_t length = FormatLogStamp(kMorning, out);
  EXPECT_EQ(std::string(out.data()), "2026-03-07 05:04:09 ");
  EXPECT_EQ(length, 20u);
}

TEST(LogStampTest, TwoDigitFieldsKeptAsIs) {
  std::array<char, kLogStampBufferBytes> out{};
  FormatLogStamp(kLastSecondOfYear, out);
  EXPECT_EQ(std::string(out.data()), "1999-12-31 23:59:59 ");
}

TEST(LogStampTest, TooSmallBufferGivesEmptyStamp) {
  std::array<char, 20> out{};
  out.fill('x');
  EXPECT_EQ(FormatLogStamp(kMorning, out), 0u);
  EXPECT_EQ(out[0], '\0');
}

TEST(FileStampTest, DateDashTimeWithoutSeparators) {
  std::array<wchar_t, 32> out{};
  EXPECT_EQ(FormatFileStamp(kMorning, out), 15u);
  EXPECT_EQ(std::wstring(out.data()), L"20260307-050409");
  FormatFileStamp(kLastSecondOfYear, out);
  EXPECT_EQ(std::wstring(out.data()), L"19991231-235959");
}

TEST(FileStampTest, TooSmallBufferGivesEmptyStamp) {
  std::array<wchar_t, 15> out{};
  out.fill(L'x');
  EXPECT_EQ(FormatFileStamp(kMorning, out), 0u);
  EXPECT_EQ(out[0], L'\0');
}

}  // namespace
