// Checks the resource script as linked into a program: this test links the
// same compiled resources as velmo.exe and reads them from its own module.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "resources/resource.h"

namespace {

#pragma pack(push, 2)
struct IconGroupHeader {
  uint16_t reserved;
  uint16_t type;
  uint16_t count;
};
struct IconGroupEntry {
  uint8_t width;
  uint8_t height;
  uint8_t color_count;
  uint8_t reserved;
  uint16_t planes;
  uint16_t bit_count;
  uint32_t bytes_in_resource;
  uint16_t id;
};
#pragma pack(pop)

std::string_view ResourceBytes(const wchar_t* name, const wchar_t* type) {
  HRSRC found = FindResourceW(nullptr, name, type);
  if (found == nullptr) {
    return {};
  }
  HGLOBAL loaded = LoadResource(nullptr, found);
  return {static_cast<const char*>(LockResource(loaded)), SizeofResource(nullptr, found)};
}

TEST(ResourcesTest, IconGroupHasSevenSizesAt32Bits) {
  std::string_view group = ResourceBytes(MAKEINTRESOURCEW(IDI_APP_ICON), RT_GROUP_ICON);
  ASSERT_GE(group.size(), sizeof(IconGroupHeader));
  const auto* header = reinterpret_cast<const IconGroupHeader*>(group.data());
  ASSERT_EQ(header->count, 7);
  ASSERT_GE(group.size(), sizeof(IconGroupHeader) + header->count * sizeof(IconGroupEntry));
  const auto* entries = reinterpret_cast<const IconGroupEntry*>(header + 1);
  std::vector<int> sizes;
  for (int i = 0; i < header->count; ++i) {
    // A width of 0 stands for 256.
    sizes.push_back(entries[i].width == 0 ? 256 : entries[i].width);
    EXPECT_EQ(entries[i].width, entries[i].height);
    EXPECT_EQ(entries[i].bit_count, 32) << "entry " << i;
  }
  EXPECT_EQ(sizes, (std::vector<int>{16, 24, 32, 48, 64, 128, 256}));
  EXPECT_NE(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP_ICON)), nullptr);
}

class VersionRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string_view record = ResourceBytes(MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    ASSERT_FALSE(record.empty());
    // VerQueryValueW wants a writable copy of the record.
    copy_.assign(record.begin(), record.end());
  }

  std::wstring Text(const wchar_t* key) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + key;
    if (!VerQueryValueW(copy_.data(), path.c_str(), &value, &length) || length == 0) {
      return {};
    }
    return static_cast<const wchar_t*>(value);
  }

  std::vector<char> copy_;
};

// Written out rather than taken from the build, so that a wrong version in
// the build files fails here; a release changes it together with them.
constexpr wchar_t kReleaseVersion[] = L"1.0.6+16";

TEST_F(VersionRecordTest, VersionTextsAreTheReleaseVersion) {
  EXPECT_EQ(Text(L"FileVersion"), kReleaseVersion);
  EXPECT_EQ(Text(L"ProductVersion"), kReleaseVersion);
  EXPECT_EQ(Text(L"OriginalFilename"), L"velmo.exe");
}

TEST_F(VersionRecordTest, NumericVersionMatchesText) {
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(copy_.data(), L"\\", &value, &length));
  ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  const std::wstring numeric = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
                               std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
                               std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"+" +
                               std::to_wstring(LOWORD(fixed->dwFileVersionLS));
  EXPECT_EQ(numeric, VELMO_EXPECTED_VERSION_TEXT);
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
}

TEST(ManifestTest, DeclaresPerMonitorV2AsInvokerAndWindows10) {
  const std::string manifest(ResourceBytes(CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST));
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find(">PerMonitorV2</dpiAwareness>"), std::string::npos);
  EXPECT_NE(manifest.find("level=\"asInvoker\" uiAccess=\"false\""), std::string::npos);
  EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos);
}

}  // namespace
