#include "desktop_shell/frame_theme.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The window manager's attribute ids: immersive dark mode, caption colour,
// caption text colour, border colour.
constexpr uint32_t kDarkMode = 20;
constexpr uint32_t kCaption = 35;
constexpr uint32_t kText = 36;
constexpr uint32_t kBorder = 34;

std::vector<FrameAttribute> AsVector(const FrameAttributes& attributes) {
  return {attributes.begin(), attributes.end()};
}

TEST(FrameThemeTest, DarkFrameValuesInApplicationOrder) {
  const std::vector<FrameAttribute> expected = {
      {kDarkMode, 1}, {kCaption, 0x00241A16}, {kText, 0x00FAF6F5}, {kBorder, 0x00241A16}};
  EXPECT_EQ(AsVector(FrameThemeAttributes(true)), expected);
}

TEST(FrameThemeTest, LightFrameValuesInApplicationOrder) {
  const std::vector<FrameAttribute> expected = {
      {kDarkMode, 0}, {kCaption, 0x00FBF8F8}, {kText, 0x00201A18}, {kBorder, 0x00ECE4E2}};
  EXPECT_EQ(AsVector(FrameThemeAttributes(false)), expected);
}

}  // namespace
