#include "diagnostics/crash_report_format.h"

#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::string Utf8(std::wstring_view text) {
  std::array<char, 256> out{};
  const std::size_t length = EncodeUtf8(text, out);
  return std::string(out.data(), length);
}

std::vector<std::string> SplitCrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start) + "<no CR LF>");
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

class CrashHeaderTest : public ::testing::Test {
 protected:
  CrashHeaderTest() {
    header_.time = StampTime{2026, 1, 2, 3, 4, 5};
    header_.process_id = 4242;
    header_.thread_id = 77;
    header_.exception_code = 0xC0000005;
    header_.exception_flags = 0;
    header_.exception_address = 0x00007FF6ABCDEF01ull;
    header_.number_parameters = 2;
    header_.minidump_name = L"crash-20260102-030405.dmp";
    header_.logs_directory = L"C:\\Users\\a\\AppData\\Local\\Velmo\\logs";
    header_.version = "9.8.7+65";
  }

  std::vector<std::string> Lines() {
    std::array<char, kCrashHeaderBufferBytes> out{};
    const std::size_t length = FormatCrashHeader(header_, out);
    EXPECT_EQ(length, std::string(out.data()).size());
    return SplitCrLfLines(std::string(out.data(), length));
  }

  CrashHeader header_;
};

TEST_F(CrashHeaderTest, LinesInOrderWithEveryValue) {
  const std::vector<std::string> expected = {
      "=== VELMO crash ===",
      "time_local=2026-01-02 03:04:05",
      "pid=4242 tid=77",
      "exception_code=0xC0000005",
      "exception_flags=0x00000000",
      "exception_address=0x00007FF6ABCDEF01",
      "number_parameters=2",
      "minidump=crash-20260102-030405.dmp",
      "logs_dir=C:\\Users\\a\\AppData\\Local\\Velmo\\logs",
      "version=9.8.7+65",
  };
  EXPECT_EQ(Lines(), expected);
}

TEST_F(CrashHeaderTest, CodeAndFlagsAreEightUpperCaseDigits) {
  header_.exception_code = 0xe0000001;
  header_.exception_flags = 0x1;
  const auto lines = Lines();
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[3], "exception_code=0xE0000001");
  EXPECT_EQ(lines[4], "exception_flags=0x00000001");
}

TEST_F(CrashHeaderTest, PointerAlwaysSixteenDigitsEvenWhenSmallOrHuge) {
  header_.exception_address = 0;
  EXPECT_EQ(Lines()[5], "exception_address=0x0000000000000000");
  header_.exception_address = 0xABC;
  EXPECT_EQ(Lines()[5], "exception_address=0x0000000000000ABC");
  header_.exception_address = 0xFFFFFFFFFFFFFFFFull;
  EXPECT_EQ(Lines()[5], "exception_address=0xFFFFFFFFFFFFFFFF");
}

TEST_F(CrashHeaderTest, MissingDumpNameShowsNone) {
  header_.minidump_name = {};
  EXPECT_EQ(Lines()[7], "minidump=(none)");
}

TEST_F(CrashHeaderTest, NonAsciiPathsAreUtf8) {
  header_.logs_directory = L"C:\\Users\\J\u00FCrgen\\\u6587\\logs";
  EXPECT_EQ(Lines()[8], "logs_dir=C:\\Users\\J\xC3\xBCrgen\\\xE6\x96\x87\\logs");
}

TEST_F(CrashHeaderTest, LongestPathsStillFit) {
  // Two paths of the shell's limit, each character three bytes in UTF-8.
  const std::wstring long_path(270, L'\u6587');
  header_.logs_directory = long_path;
  header_.minidump_name = long_path;
  const auto lines = Lines();
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[8].size(), std::string("logs_dir=").size() + 3 * long_path.size());
  EXPECT_EQ(lines[9], "version=9.8.7+65");
}

TEST_F(CrashHeaderTest, TooSmallBufferGivesNothing) {
  std::array<char, 64> out{};
  out.fill('x');
  EXPECT_EQ(FormatCrashHeader(header_, out), 0u);
  EXPECT_EQ(out[0], '\0');
}

TEST(AccessViolationLineTest, OnlyForAccessViolationWithTwoParameters) {
  EXPECT_TRUE(HasAccessViolationLine(0xC0000005, 2));
  EXPECT_FALSE(HasAccessViolationLine(0xC0000005, 1));
  EXPECT_FALSE(HasAccessViolationLine(0xC0000005, 0));
  EXPECT_FALSE(HasAccessViolationLine(0xE0000001, 2));
  EXPECT_FALSE(HasAccessViolationLine(0xC00000FD, 2));
}

TEST(AccessViolationLineTest, OperationNames) {
  EXPECT_EQ(AccessViolationOp(0), "read");
  EXPECT_EQ(AccessViolationOp(1), "write");
  EXPECT_EQ(AccessViolationOp(8), "dep");
  EXPECT_EQ(AccessViolationOp(2), "dep");
  EXPECT_EQ(AccessViolationOp(0x100000000ull), "dep");
}

TEST(AccessViolationLineTest, ReadOfNullAddress) {
  std::array<char, 128> out{};
  const std::size_t length = FormatAccessViolationLine(0, 0, out);
  EXPECT_EQ(std::string(out.data(), length),
            "access_violation op=read address=0x0000000000000000\r\n");
}

TEST(AccessViolationLineTest, WriteAndExecuteFaults) {
  std::array<char, 128> out{};
  FormatAccessViolationLine(1, 0x10, out);
  EXPECT_EQ(std::string(out.data()), "access_violation op=write address=0x0000000000000010\r\n");
  FormatAccessViolationLine(8, 0x7FFE0000DEADBEEFull, out);
  EXPECT_EQ(std::string(out.data()), "access_violation op=dep address=0x7FFE0000DEADBEEF\r\n");
}

TEST(StackLineTest, TwoSpacesTwoDigitIndexSixteenDigitAddress) {
  std::array<char, 64> out{};
  FormatStackLine(0, 0x140001234ull, out);
  EXPECT_EQ(std::string(out.data()), "  [00] 0x0000000140001234\r\n");
  FormatStackLine(31, 0xFFFFF80000000001ull, out);
  EXPECT_EQ(std::string(out.data()), "  [31] 0xFFFFF80000000001\r\n");
}

TEST(CrashFileNameTest, FirstAttemptHasNoSuffix) {
  std::array<wchar_t, kCrashFileNameUnits> out{};
  const std::size_t length = FormatCrashFileName(L"20260102-030405", 1, L".dmp", out);
  EXPECT_EQ(std::wstring(out.data(), length), L"crash-20260102-030405.dmp");
}

TEST(CrashFileNameTest, LaterAttemptsNumberedBeforeExtension) {
  std::array<wchar_t, kCrashFileNameUnits> out{};
  FormatCrashFileName(L"20260102-030405", 2, L".txt", out);
  EXPECT_EQ(std::wstring(out.data()), L"crash-20260102-030405-2.txt");
  FormatCrashFileName(L"20260102-030405", 17, L".dmp", out);
  EXPECT_EQ(std::wstring(out.data()), L"crash-20260102-030405-17.dmp");
}

TEST(CrashFileNameTest, TooSmallBufferGivesNothing) {
  std::array<wchar_t, 25> out{};
  out.fill(L'x');
  EXPECT_EQ(FormatCrashFileName(L"20260102-030405", 1, L".dmp", out), 0u);
  EXPECT_EQ(out[0], L'\0');
}

TEST(InvalidParameterLineTest, AllFieldsInOrder) {
  std::array<char, kLogLineBufferBytes> out{};
  const std::size_t length =
      FormatInvalidParameterLine(L"(buffer != nullptr)", L"strcpy_s", L"tcscpy_s.inl", 30, out);
  EXPECT_EQ(std::string(out.data(), length),
            "invalid_parameter file=tcscpy_s.inl function=strcpy_s line=30 "
            "expr=(buffer != nullptr)");
}

TEST(InvalidParameterLineTest, MissingTextsAreQuestionMarks) {
  // A release runtime passes no texts at all.
  std::array<char, kLogLineBufferBytes> out{};
  FormatInvalidParameterLine(nullptr, nullptr, nullptr, 0, out);
  EXPECT_EQ(std::string(out.data()), "invalid_parameter file=? function=? line=0 expr=?");
  FormatInvalidParameterLine(L"e", nullptr, L"f.c", 7, out);
  EXPECT_EQ(std::string(out.data()), "invalid_parameter file=f.c function=? line=7 expr=e");
}

TEST(InvalidParameterLineTest, OverlongLineKeepsItsBeginning) {
  std::array<char, kLogLineBufferBytes> out{};
  const std::wstring expression(2000, L'x');
  const std::size_t length = FormatInvalidParameterLine(expression.c_str(), L"f", L"g", 1, out);
  EXPECT_EQ(length, kLogLineBufferBytes - 1);
  EXPECT_EQ(std::string(out.data()).rfind("invalid_parameter file=g function=f line=1 expr=x", 0),
            0u);
}

TEST(CrashLoggingInstalledLineTest, CountsUtf16UnitsOfTheDirectory) {
  std::array<char, kLogLineBufferBytes> out{};
  FormatCrashLoggingInstalledLine(L"C:\\x\\logs", out);
  EXPECT_EQ(std::string(out.data()), "crash_logging_installed logs_chars=9");
}

TEST(CrashLoggingInstalledLineTest, NoDirectory) {
  std::array<char, kLogLineBufferBytes> out{};
  FormatCrashLoggingInstalledLine({}, out);
  EXPECT_EQ(std::string(out.data()), "crash_logging_installed logs_unavailable");
}

TEST(EncodeUtf8Test, AsciiUnchanged) { EXPECT_EQ(Utf8(L"C:\\logs"), "C:\\logs"); }

TEST(EncodeUtf8Test, TwoThreeAndFourByteCharacters) {
  EXPECT_EQ(Utf8(L"\u00E9"), "\xC3\xA9");
  EXPECT_EQ(Utf8(L"\u20AC"), "\xE2\x82\xAC");
  EXPECT_EQ(Utf8(L"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST(EncodeUtf8Test, LoneSurrogatesBecomeReplacementCharacter) {
  const std::wstring lone_high{static_cast<wchar_t>(0xD83D), L'a'};
  const std::wstring lone_low{L'a', static_cast<wchar_t>(0xDE00)};
  EXPECT_EQ(Utf8(lone_high),
            "\xEF\xBF\xBD"
            "a");
  EXPECT_EQ(Utf8(lone_low), "a\xEF\xBF\xBD");
}

// Built from 16-bit units, as Windows hands them over: a literal would hold
// one 32-bit unit where wchar_t is that wide, and skip the pairing.
TEST(EncodeUtf8Test, SurrogatePairIsOneFourByteCharacter) {
  const std::wstring pair{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00), L'a'};
  EXPECT_EQ(Utf8(pair),
            "\xF0\x9F\x98\x80"
            "a");
}

TEST(EncodeUtf8Test, CutsOnlyBetweenWholeCharacters) {
  std::array<char, 6> out{};
  const std::size_t length = EncodeUtf8(L"ab\u20ACcd", out);
  EXPECT_EQ(std::string(out.data(), length), "ab\xE2\x82\xAC");
  std::array<char, 5> smaller{};
  EXPECT_EQ(std::string(smaller.data(), EncodeUtf8(L"ab\u20ACcd", smaller)), "ab");
}

}  // namespace
