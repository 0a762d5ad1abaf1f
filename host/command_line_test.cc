#include "host/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Arguments = std::vector<std::string>;

TEST(EntryPointArgumentsTest, ProgramPathAloneGivesNoArguments) {
  EXPECT_EQ(EntryPointArguments(L"velmo.exe"), Arguments{});
  EXPECT_EQ(EntryPointArguments(L"\"C:\\Program Files\\Velmo\\velmo.exe\""), Arguments{});
}

TEST(EntryPointArgumentsTest, ArgumentsFollowInOrderWithoutProgramPath) {
  EXPECT_EQ(EntryPointArguments(L"\"C:\\Program Files\\Velmo\\velmo.exe\" --one \"two words\" 3"),
            (Arguments{"--one", "two words", "3"}));
  EXPECT_EQ(EntryPointArguments(L"velmo.exe a \"\" c"), (Arguments{"a", "", "c"}));
}

TEST(EntryPointArgumentsTest, NonAsciiArgumentsBecomeUtf8) {
  EXPECT_EQ(EntryPointArguments(L"velmo.exe \u00e9t\u00e9 \u8bed\u97f3 \U0001F3A7"),
            (Arguments{"\xC3\xA9t\xC3\xA9", "\xE8\xAF\xAD\xE9\x9F\xB3", "\xF0\x9F\x8E\xA7"}));
}

TEST(EntryPointArgumentsTest, UnpairedSurrogateArgumentKeepsItsPlaceEmpty) {
  const std::wstring command_line =
      std::wstring(L"velmo.exe first ") + wchar_t{0xD83C} + L"x " + wchar_t{0xDFA7} + L" last";
  EXPECT_EQ(EntryPointArguments(command_line.c_str()), (Arguments{"first", "", "", "last"}));
}

TEST(Utf8FromUtf16Test, EmptyAndNullGiveEmpty) {
  EXPECT_EQ(Utf8FromUtf16(L""), "");
  EXPECT_EQ(Utf8FromUtf16(nullptr), "");
}

TEST(Utf8FromUtf16Test, LongInputIsCutAt32767Units) {
  const std::wstring long_argument(40000, L'a');
  EXPECT_EQ(Utf8FromUtf16(long_argument.c_str()), std::string(32767, 'a'));
}

TEST(Utf8FromUtf16Test, SurrogatePairConvertsButHalvesDoNot) {
  const wchar_t pair[] = {0xD83C, 0xDFA7, 0};
  const wchar_t high_alone[] = {L'a', 0xD83C, 0};
  const wchar_t reversed[] = {0xDFA7, 0xD83C, 0};
  EXPECT_EQ(Utf8FromUtf16(pair), "\xF0\x9F\x8E\xA7");
  EXPECT_EQ(Utf8FromUtf16(high_alone), "");
  EXPECT_EQ(Utf8FromUtf16(reversed), "");
}

}  // namespace
