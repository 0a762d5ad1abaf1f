#include "host/single_instance_rules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string_view>
#include <vector>

namespace {

constexpr uint32_t kNoError = 0;
constexpr uint32_t kErrorInvalidName = 123;  // ERROR_INVALID_NAME

struct MutexCase {
  const char* name;
  bool handle_created;
  uint32_t last_error;
  InstanceState expected;
};

void PrintTo(const MutexCase& row, std::ostream* out) { *out << row.name; }

class ClassifyMutexCreationTest : public ::testing::TestWithParam<MutexCase> {};

TEST_P(ClassifyMutexCreationTest, NamesTheInstanceState) {
  const MutexCase& row = GetParam();
  EXPECT_EQ(ClassifyMutexCreation(row.handle_created, row.last_error), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ClassifyMutexCreationTest,
    ::testing::Values(
        MutexCase{"CreatedAfresh", true, kNoError, InstanceState::kOwned},
        MutexCase{"OpenedExisting", true, kErrorAlreadyExists, InstanceState::kAlreadyRunning},
        // Only the failed call reports access denied as "another instance".
        MutexCase{"CreatedWithStaleAccessError", true, kErrorAccessDenied, InstanceState::kOwned},
        MutexCase{"ExistingOfOtherSecurityContext", false, kErrorAccessDenied,
                  InstanceState::kAlreadyRunning},
        MutexCase{"RefusedForAnotherReason", false, kErrorInvalidName, InstanceState::kFailed},
        MutexCase{"RefusedWithoutReason", false, kNoError, InstanceState::kFailed},
        MutexCase{"NoHandleDespiteAlreadyExists", false, kErrorAlreadyExists,
                  InstanceState::kFailed}),
    [](const auto& info) { return info.param.name; });

constexpr std::u16string_view kOwnPath = u"C:\\Program Files\\Velmo\\velmo.exe";
constexpr std::u16string_view kTitle = u"Velmo";

struct HandOverCase {
  const char* name;
  std::vector<HandOverCandidate> candidates;
  std::uintptr_t expected;
};

void PrintTo(const HandOverCase& row, std::ostream* out) { *out << row.name; }

class ChooseHandOverWindowTest : public ::testing::TestWithParam<HandOverCase> {};

TEST_P(ChooseHandOverWindowTest, PicksOnlyThisProgramsWindow) {
  const HandOverCase& row = GetParam();
  EXPECT_EQ(ChooseHandOverWindow(row.candidates, kOwnPath, kTitle), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ChooseHandOverWindowTest,
    ::testing::Values(
        HandOverCase{"NoCandidates", {}, 0},
        HandOverCase{"OwnWindow", {{11, kTitle, kOwnPath}}, 11},
        HandOverCase{"OwnWindowRetitled", {{11, u"Velmo - call", kOwnPath}}, 11},
        HandOverCase{
            "OtherProgramOfTheSameClass", {{21, u"Notes", u"C:\\Apps\\Notes\\notes.exe"}}, 0},
        HandOverCase{"OtherProgramTitledVelmo", {{21, kTitle, u"C:\\Apps\\Notes\\notes.exe"}}, 0},
        HandOverCase{"OtherProgramAboveOwnRetitledWindow",
                     {{21, u"Notes", u"C:\\Apps\\Notes\\notes.exe"}, {11, u"Call", kOwnPath}},
                     11},
        HandOverCase{"TitledWindowBeforeAnEarlierRetitledOne",
                     {{12, u"Call", kOwnPath}, {11, kTitle, kOwnPath}},
                     11},
        HandOverCase{"FirstOfSeveralRetitled", {{12, u"A", kOwnPath}, {11, u"B", kOwnPath}}, 12},
        HandOverCase{"PathInOtherCase", {{11, kTitle, u"c:\\program files\\VELMO\\Velmo.EXE"}}, 11},
        HandOverCase{"SameFileNameInAnotherFolder", {{11, kTitle, u"D:\\Velmo\\velmo.exe"}}, 0},
        HandOverCase{"PathOfUnreadableProcess", {{21, kTitle, u""}}, 0},
        HandOverCase{"NullWindowSkipped", {{0, kTitle, kOwnPath}, {11, kTitle, kOwnPath}}, 11}),
    [](const auto& info) { return info.param.name; });

TEST(ChooseHandOverWindowEdgeTest, UnreadableOwnPathMatchesNothing) {
  EXPECT_EQ(ChooseHandOverWindow({{11, kTitle, u""}}, u"", kTitle), 0u);
}

TEST(ChooseHandOverWindowEdgeTest, EveryAsciiLetterFoldsAlsoAtTheEndsOfTheAlphabet) {
  EXPECT_EQ(
      ChooseHandOverWindow({{11, kTitle, u"C:\\AZ\\velmo.exe"}}, u"C:\\az\\velmo.exe", kTitle),
      11u);
  EXPECT_EQ(
      ChooseHandOverWindow({{11, kTitle, u"C:\\az\\velmo.exe"}}, u"C:\\AZ\\velmo.exe", kTitle),
      11u);
}

TEST(ChooseHandOverWindowEdgeTest, LettersOutsideAsciiAreNotFolded) {
  EXPECT_EQ(ChooseHandOverWindow({{11, kTitle, u"C:\\\u00c9t\u00e9\\velmo.exe"}},
                                 u"C:\\\u00e9t\u00e9\\velmo.exe", kTitle),
            0u);
}

}  // namespace
