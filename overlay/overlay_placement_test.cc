#include "overlay/overlay_placement.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr PixelRect kMonitor{0, 0, 1920, 1080};
constexpr PixelRect kSecondMonitor{1920, -200, 3200, 824};  // 1280 x 1024

struct Case {
  std::string position;
  PixelRect monitor;
  std::size_t members;
  OverlayPlacement expected;
};

class PlacementTest : public ::testing::TestWithParam<Case> {};

// At scale 1.15: W = 322, M = 32, one row 46 + 2 x 7 = 60 high, three rows 152.
TEST_P(PlacementTest, PositionRules) {
  const Case& c = GetParam();
  EXPECT_EQ(PlaceOverlay(c.monitor, c.position, 1.15, c.members), c.expected) << c.position;
}

INSTANTIATE_TEST_SUITE_P(
    Positions, PlacementTest,
    ::testing::Values(Case{"leftCenter", kMonitor, 3, {32, 464, 322, 152}},
                      Case{"rightBottom", kMonitor, 3, {1566, 896, 322, 152}},
                      Case{"rightTop", kMonitor, 3, {1566, 32, 322, 152}},
                      Case{"leftTopBottom", kMonitor, 3, {32, 32, 322, 152}},
                      Case{"leftBottom", kMonitor, 1, {32, 988, 322, 60}},
                      Case{"RightTop", kMonitor, 3, {32, 32, 322, 152}},
                      Case{"righ", kMonitor, 3, {32, 464, 322, 152}},
                      Case{"", kMonitor, 0, {32, 510, 322, 60}},
                      Case{"rightCenter", kSecondMonitor, 3, {2846, 236, 322, 152}},
                      Case{"leftTop", kSecondMonitor, 16, {1952, -168, 322, 750}}));

TEST(Placement, KeptOnTheMonitorAndPinnedTopLeft) {
  // 16 rows at scale 1.5 are 16 x 60 + 18 = 978 high.
  const PixelRect small{100, 50, 400, 650};  // 300 x 600
  EXPECT_EQ(PlaceOverlay(small, "leftCenter", 1.5, 16), (OverlayPlacement{100, 50, 420, 978}));
  EXPECT_EQ(PlaceOverlay(small, "rightBottom", 1.5, 16), (OverlayPlacement{100, 50, 420, 978}));
  // The bottom margin would push it above the monitor: kept at the top.
  const PixelRect short_monitor{0, 0, 1920, 760};
  EXPECT_EQ(PlaceOverlay(short_monitor, "leftBottom", 1.15, 16),
            (OverlayPlacement{32, 0, 322, 750}));
  EXPECT_EQ(PlaceOverlay(short_monitor, "leftCenter", 1.15, 16),
            (OverlayPlacement{32, 5, 322, 750}));
}

}  // namespace
