#include "diagnostics/crash_file_sets.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct NameCase {
  const wchar_t* name;
  bool parsed;
  const wchar_t* stamp;
  unsigned attempt;
};

class ParseCrashFileNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(ParseCrashFileNameTest, ReadsOnlyNamesThisProgramGives) {
  const NameCase& c = GetParam();
  const auto parsed = ParseCrashFileName(c.name);
  ASSERT_EQ(parsed.has_value(), c.parsed);
  if (parsed) {
    EXPECT_EQ(parsed->stamp, std::wstring_view(c.stamp));
    EXPECT_EQ(parsed->attempt, c.attempt);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, ParseCrashFileNameTest,
    ::testing::Values(NameCase{L"crash-20261208-130501.txt", true, L"20261208-130501", 1},
                      NameCase{L"crash-20261208-130501.dmp", true, L"20261208-130501", 1},
                      NameCase{L"crash-20261208-130501-2.dmp", true, L"20261208-130501", 2},
                      NameCase{L"crash-20261208-130501-100.txt", true, L"20261208-130501", 100},
                      NameCase{L"crash-20261208-130501-9999.txt", true, L"20261208-130501", 9999},
                      NameCase{L"crash-20261208-130501-10000.txt", false, L"", 0},
                      NameCase{L"crash-20261208-130501-1.txt", false, L"", 0},
                      NameCase{L"crash-20261208-130501-0.txt", false, L"", 0},
                      NameCase{L"crash-20261208-130501-02.txt", false, L"", 0},
                      NameCase{L"crash-20261208-130501-.txt", false, L"", 0},
                      NameCase{L"crash-20261208-130501-2x.txt", false, L"", 0},
                      NameCase{L"crash-20261208-130501_2.txt", false, L"", 0},
                      NameCase{L"crash-20261208-130501.log", false, L"", 0},
                      NameCase{L"crash-20261208-130501.txt.bak", false, L"", 0},
                      NameCase{L"crash-20261208-130501", false, L"", 0},
                      NameCase{L"crash-2026120-1305011.txt", false, L"", 0},
                      NameCase{L"crash-20261208x130501.txt", false, L"", 0},
                      NameCase{L"crash-2026120a-130501.txt", false, L"", 0},
                      NameCase{L"crash-20261208-13050a.txt", false, L"", 0},
                      NameCase{L"crash-20261208-a30501.txt", false, L"", 0},
                      NameCase{L"crash-20261208-13050.txt", false, L"", 0},
                      NameCase{L"Crash-20261208-130501.txt", false, L"", 0},
                      NameCase{L"xcrash-20261208-130501.txt", false, L"", 0},
                      NameCase{L"app.log", false, L"", 0}, NameCase{L".txt", false, L"", 0}));

std::vector<std::wstring> Sorted(std::vector<std::wstring> names) {
  std::sort(names.begin(), names.end());
  return names;
}

// Both files of the set stamped `second` seconds past 13:00:00.
void AddSet(std::vector<std::wstring>& names, unsigned second, const wchar_t* suffix = L"") {
  const std::wstring stamp = L"crash-20261208-1300" + std::to_wstring(10 + second) + suffix;
  names.push_back(stamp + L".txt");
  names.push_back(stamp + L".dmp");
}

TEST(CrashFilesToPruneTest, NothingWhileTheSetsFit) {
  std::vector<std::wstring> names{L"app.log"};
  for (unsigned s = 0; s < kCrashSetsKept; ++s) {
    AddSet(names, s);
  }
  EXPECT_TRUE(CrashFilesToPrune(names, kCrashSetsKept).empty());
}

TEST(CrashFilesToPruneTest, OldestSetsGoWithBothTheirFiles) {
  std::vector<std::wstring> names{L"app.log", L"notes.txt", L"crash-odd.txt"};
  // Listed out of order, as a directory may return them.
  for (const unsigned s : {5u, 11u, 0u, 7u, 3u, 10u, 1u, 9u, 2u, 4u, 8u, 6u}) {
    AddSet(names, s);
  }
  EXPECT_EQ(
      Sorted(CrashFilesToPrune(names, kCrashSetsKept)),
      (std::vector<std::wstring>{L"crash-20261208-130010.dmp", L"crash-20261208-130010.txt",
                                 L"crash-20261208-130011.dmp", L"crash-20261208-130011.txt"}));
}

TEST(CrashFilesToPruneTest, SetsOfOneSecondAreOrderedByTheirNumber) {
  std::vector<std::wstring> names;
  AddSet(names, 0, L"-10");
  AddSet(names, 0, L"-2");
  AddSet(names, 0);
  AddSet(names, 0, L"-3");
  EXPECT_EQ(
      Sorted(CrashFilesToPrune(names, 2)),
      (std::vector<std::wstring>{L"crash-20261208-130010-2.dmp", L"crash-20261208-130010-2.txt",
                                 L"crash-20261208-130010.dmp", L"crash-20261208-130010.txt"}));
}

TEST(CrashFilesToPruneTest, AFileMissingItsPartnerStillCountsAsASet) {
  const std::vector<std::wstring> names{L"crash-20261208-130010.dmp", L"crash-20261208-130011.txt",
                                        L"crash-20261208-130012.txt", L"crash-20261208-130012.dmp"};
  EXPECT_EQ(CrashFilesToPrune(names, 2), (std::vector<std::wstring>{L"crash-20261208-130010.dmp"}));
  EXPECT_EQ(Sorted(CrashFilesToPrune(names, 0)), Sorted(names));
}

TEST(CrashFilesToPruneTest, AnOlderDayIsOlderWhateverItsTime) {
  const std::vector<std::wstring> names{L"crash-20261207-235959.txt", L"crash-20261208-000000.txt",
                                        L"crash-20251231-120000.txt"};
  EXPECT_EQ(CrashFilesToPrune(names, 2), (std::vector<std::wstring>{L"crash-20251231-120000.txt"}));
  EXPECT_EQ(
      Sorted(CrashFilesToPrune(names, 1)),
      (std::vector<std::wstring>{L"crash-20251231-120000.txt", L"crash-20261207-235959.txt"}));
}

}  // namespace
