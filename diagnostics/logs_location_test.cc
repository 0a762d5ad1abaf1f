#include "diagnostics/logs_location.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

std::wstring FolderOf(const std::wstring& path) { return ExecutableFolder(path, path.size()); }

TEST(ExecutableFolderTest, CutsAtLastBackslashAndDropsIt) {
  EXPECT_EQ(FolderOf(L"C:\\Program Files\\Velmo\\velmo.exe"), L"C:\\Program Files\\Velmo");
}

TEST(ExecutableFolderTest, ForwardSlashAlsoSeparates) {
  EXPECT_EQ(FolderOf(L"C:\\apps/velmo/velmo.exe"), L"C:\\apps/velmo");
  EXPECT_EQ(FolderOf(L"C:/velmo\\bin/velmo.exe"), L"C:/velmo\\bin");
}

TEST(ExecutableFolderTest, DriveRootLeavesDriveOnly) {
  EXPECT_EQ(FolderOf(L"C:\\velmo.exe"), L"C:");
}

TEST(ExecutableFolderTest, FailedQueryGivesCurrentDirectory) {
  EXPECT_EQ(ExecutableFolder(L"C:\\a\\velmo.exe", 0), L".");
}

TEST(ExecutableFolderTest, TruncatedResultGivesCurrentDirectory) {
  const std::wstring long_path = L"C:\\" + std::wstring(kPathBufferUnits, L'a');
  EXPECT_EQ(ExecutableFolder(long_path, kPathBufferUnits), L".");
  EXPECT_EQ(ExecutableFolder(long_path, kPathBufferUnits + 5), L".");
  const std::wstring just_fits = L"C:\\d\\" + std::wstring(kPathBufferUnits - 6, L'a');
  ASSERT_EQ(just_fits.size(), kPathBufferUnits - 1);
  EXPECT_EQ(ExecutableFolder(just_fits, just_fits.size()), L"C:\\d");
}

TEST(ExecutableFolderTest, OnlyTheReportedLengthCounts) {
  // The query's buffer holds more than the returned length (a NUL and junk).
  const std::wstring buffer = L"C:\\x\\velmo.exe\0D:\\y\\z"s;
  EXPECT_EQ(ExecutableFolder(buffer, 14), L"C:\\x");
}

TEST(ExecutableFolderTest, NameWithoutFolderGivesCurrentDirectory) {
  EXPECT_EQ(FolderOf(L"velmo.exe"), L".");
}

TEST(JoinPathTest, PutsOneBackslashBetween) {
  EXPECT_EQ(JoinPath(L"C:\\Users\\a\\AppData\\Local", kVelmoFolderName),
            L"C:\\Users\\a\\AppData\\Local\\Velmo");
  EXPECT_EQ(JoinPath(L".", kLogsFolderName), L".\\logs");
}

}  // namespace

TEST(AppLogFilesTest, RotationOnlyPastFourMebibytes) {
  EXPECT_FALSE(AppLogNeedsRotation(0));
  EXPECT_FALSE(AppLogNeedsRotation(4u * 1024 * 1024));
  EXPECT_TRUE(AppLogNeedsRotation(4u * 1024 * 1024 + 1));
}

TEST(AppLogFilesTest, WriteTestFileIsNamedPerProcess) {
  EXPECT_EQ(WriteTestFileName(4242), L".velmo_write_test.4242");
  EXPECT_NE(WriteTestFileName(1), WriteTestFileName(2));
}
