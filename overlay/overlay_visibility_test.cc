#include "overlay/overlay_visibility.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

constexpr PixelRect kMonitor{0, 0, 1920, 1080};
constexpr uint32_t kPopup = 0x80000000;
constexpr uint32_t kOverlappedWindow = 0x00CF0000;  // caption, sizing frame, ...
constexpr uint32_t kCaption = 0x00C00000;
constexpr uint32_t kMaximize = 0x01000000;

// A borderless full-screen window of another process: everything passes.
ForegroundFacts Game() {
  ForegroundFacts f;
  f.present = true;
  f.class_name = u"GameWindow";
  f.process_id = 20;
  f.owner_process_id = 10;
  f.visible = true;
  f.window_rect = kMonitor;
  f.monitor_rect = kMonitor;
  f.style = kPopup;
  return f;
}

struct Case {
  std::string name;
  std::function<void(ForegroundFacts&)> change;
  OverlayVisibility expected;
};

class VisibilityTest : public ::testing::TestWithParam<Case> {};

TEST_P(VisibilityTest, FirstFailingTestDecides) {
  ForegroundFacts facts = Game();
  GetParam().change(facts);
  EXPECT_EQ(DecideVisibility(true, true, 1, facts), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Foreground, VisibilityTest,
    ::testing::Values(
        Case{"Game", [](ForegroundFacts&) {}, OverlayVisibility::kShow},
        Case{"NoForeground", [](ForegroundFacts& f) { f = ForegroundFacts{}; },
             OverlayVisibility::kNoForeground},
        Case{"OwnWindowBeforeClass",
             [](ForegroundFacts& f) {
               f.is_owner_or_overlay = true;
               f.class_name.reset();
             },
             OverlayVisibility::kOwnWindow},
        Case{"Desktop", [](ForegroundFacts& f) { f.class_name = u"Progman"; },
             OverlayVisibility::kShellWindow},
        Case{"DesktopWorker", [](ForegroundFacts& f) { f.class_name = u"workerw"; },
             OverlayVisibility::kShellWindow},
        Case{"Taskbar", [](ForegroundFacts& f) { f.class_name = u"SHELL_TRAYWND"; },
             OverlayVisibility::kShellWindow},
        Case{"CoreWindow", [](ForegroundFacts& f) { f.class_name = u"Windows.UI.Core.CoreWindow"; },
             OverlayVisibility::kShellWindow},
        Case{"ClassUnreadable", [](ForegroundFacts& f) { f.class_name.reset(); },
             OverlayVisibility::kShellWindow},
        Case{"ShellPrefixIsNotShell", [](ForegroundFacts& f) { f.class_name = u"Progman2"; },
             OverlayVisibility::kShow},
        Case{"OwnProcess", [](ForegroundFacts& f) { f.process_id = 10; },
             OverlayVisibility::kOwnProcess},
        Case{"UnknownProcessIsNotOwn",
             [](ForegroundFacts& f) {
               f.process_id = 0;
               f.owner_process_id = 0;
             },
             OverlayVisibility::kShow},
        Case{"Invisible", [](ForegroundFacts& f) { f.visible = false; },
             OverlayVisibility::kHiddenOrMinimised},
        Case{"Minimised", [](ForegroundFacts& f) { f.iconic = true; },
             OverlayVisibility::kHiddenOrMinimised},
        Case{"NoWindowRect", [](ForegroundFacts& f) { f.window_rect.reset(); },
             OverlayVisibility::kNoGeometry},
        Case{"NoMonitor", [](ForegroundFacts& f) { f.monitor_rect.reset(); },
             OverlayVisibility::kNoGeometry},
        Case{"SixShortOnEachSide",
             [](ForegroundFacts& f) {
               f.window_rect = {6, 6, 1914, 1074};
             },
             OverlayVisibility::kShow},
        Case{"SevenShortLeft",
             [](ForegroundFacts& f) {
               f.window_rect = {7, 0, 1920, 1080};
             },
             OverlayVisibility::kNotFullScreen},
        Case{"SevenShortBottom",
             [](ForegroundFacts& f) {
               f.window_rect = {0, 0, 1920, 1073};
             },
             OverlayVisibility::kNotFullScreen},
        Case{"Overhanging",
             [](ForegroundFacts& f) {
               f.window_rect = {-8, -8, 1928, 1088};
             },
             OverlayVisibility::kShow},
        Case{"MaximisedApplication",
             [](ForegroundFacts& f) { f.style = kOverlappedWindow | kMaximize; },
             OverlayVisibility::kFramedWindow},
        Case{"SizableCaptioned", [](ForegroundFacts& f) { f.style = kOverlappedWindow; },
             OverlayVisibility::kFramedWindow},
        Case{"CaptionedMaximisedWithoutFrame",
             [](ForegroundFacts& f) { f.style = kCaption | kMaximize; },
             OverlayVisibility::kFramedWindow},
        Case{"CaptionedWithoutFrame", [](ForegroundFacts& f) { f.style = kCaption; },
             OverlayVisibility::kShow},
        Case{"HalfCaptionMaximised", [](ForegroundFacts& f) { f.style = 0x00800000 | kMaximize; },
             OverlayVisibility::kShow}),
    [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

TEST(Visibility, NothingToShowComesFirst) {
  const ForegroundFacts game = Game();
  EXPECT_EQ(DecideVisibility(false, true, 1, game), OverlayVisibility::kNothingToShow);
  EXPECT_EQ(DecideVisibility(true, false, 1, game), OverlayVisibility::kNothingToShow);
  EXPECT_EQ(DecideVisibility(true, true, 0, game), OverlayVisibility::kNothingToShow);
  EXPECT_EQ(DecideVisibility(true, true, 0, ForegroundFacts{}), OverlayVisibility::kNothingToShow);
}

}  // namespace
