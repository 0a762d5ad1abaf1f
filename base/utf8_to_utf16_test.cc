#include "base/utf8_to_utf16.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Under Wine this checks the system's converter; natively, that the stand-in
// the neutral tests use agrees with it.
TEST(Utf8ToUtf16Test, ConvertsAsciiAndMultiByteText) {
  EXPECT_EQ(Utf8ToUtf16(""), u"");
  EXPECT_EQ(Utf8ToUtf16("{0.0.1.00000000}.{a1b2}"), u"{0.0.1.00000000}.{a1b2}");
  EXPECT_EQ(Utf8ToUtf16("\xC3\xA9t\xC3\xA9 \xE8\xAF\xAD"), u"\u00e9t\u00e9 \u8bed");
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x8E\xA7"), (std::u16string{char16_t{0xD83C}, char16_t{0xDFA7}}));
}

TEST(Utf8ToUtf16Test, InvalidSequencesAreReplacedNotRejected) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b"),
            u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16(std::string("x\0y", 3)), (std::u16string{u'x', u'\0', u'y'}));
}

}  // namespace
