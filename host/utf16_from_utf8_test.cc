#include "host/utf16_from_utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Utf16FromUtf8Test, ConvertsAsciiAndMultiByteText) {
  EXPECT_EQ(Utf16FromUtf8(""), L"");
  EXPECT_EQ(Utf16FromUtf8("{0.0.1.00000000}.{a1b2}"), L"{0.0.1.00000000}.{a1b2}");
  EXPECT_EQ(Utf16FromUtf8("\xC3\xA9t\xC3\xA9 \xE8\xAF\xAD"), L"\u00e9t\u00e9 \u8bed");
  EXPECT_EQ(Utf16FromUtf8("\xF0\x9F\x8E\xA7"), (std::wstring{wchar_t{0xD83C}, wchar_t{0xDFA7}}));
}

TEST(Utf16FromUtf8Test, InvalidSequencesAreReplacedNotRejected) {
  EXPECT_EQ(Utf16FromUtf8("a\xFF"
                          "b"),
            L"a\uFFFDb");
  EXPECT_EQ(Utf16FromUtf8(std::string("x\0y", 3)), (std::wstring{L'x', L'\0', L'y'}));
}

}  // namespace
