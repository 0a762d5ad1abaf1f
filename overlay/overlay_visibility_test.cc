#include "overlay/overlay_visibility.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

constexpr PixelRect kMonitor{0, 0, 1920, 1080};
constexpr uint32_t kPopup = 0x80000000;
constexpr uint32_t kOverlappedWindow = 0x00CF0000;  // caption, sizing frame, ...
constexpr uint32_t kCaption = 0x00C00000;
constexpr uint32_t kMaximize = 0x01000000;

// A borderless full-screen window of another process: everything passes.
ForegroundFacts Game() {
  ForegroundFacts f;
  f.present = f.visible = true;
  f.class_name = u"GameWindow";
  f.process_id = 20;
  f.owner_process_id = 10;
  f.window_rect = f.monitor_rect = kMonitor;
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

using V = OverlayVisibility;
using F = ForegroundFacts;

INSTANTIATE_TEST_SUITE_P(
    Foreground, VisibilityTest,
    ::testing::Values(
        Case{"Game", [](F&) {}, V::kShow},
        Case{"NoForeground", [](F& f) { f = F{}; }, V::kNoForeground},
        Case{"OwnWindowBeforeClass",
             [](F& f) {
               f.is_owner_or_overlay = true;
               f.class_name.reset();
             },
             V::kOwnWindow},
        Case{"Desktop", [](F& f) { f.class_name = u"Progman"; }, V::kShellWindow},
        Case{"ShellClassAnyCase", [](F& f) { f.class_name = u"workerw"; }, V::kShellWindow},
        Case{"ClassUnreadable", [](F& f) { f.class_name.reset(); }, V::kShellWindow},
        Case{"ShellPrefixIsNotShell", [](F& f) { f.class_name = u"Progman2"; }, V::kShow},
        Case{"OwnProcess", [](F& f) { f.process_id = 10; }, V::kOwnProcess},
        Case{"UnknownProcessIsNotOwn", [](F& f) { f.process_id = f.owner_process_id = 0; },
             V::kShow},
        Case{"Invisible", [](F& f) { f.visible = false; }, V::kHiddenOrMinimised},
        Case{"Minimised", [](F& f) { f.iconic = true; }, V::kHiddenOrMinimised},
        Case{"NoMonitor", [](F& f) { f.monitor_rect.reset(); }, V::kNoGeometry},
        Case{"SixShortOnEachSide",
             [](F& f) {
               f.window_rect = {6, 6, 1914, 1074};
             },
             V::kShow},
        Case{"SevenShortLeft",
             [](F& f) {
               f.window_rect = {7, 0, 1920, 1080};
             },
             V::kNotFullScreen},
        Case{"Overhanging",
             [](F& f) {
               f.window_rect = {-8, -8, 1928, 1088};
             },
             V::kShow},
        Case{"MaximisedApplication", [](F& f) { f.style = kOverlappedWindow | kMaximize; },
             V::kFramedWindow},
        Case{"CaptionedMaximisedWithoutFrame", [](F& f) { f.style = kCaption | kMaximize; },
             V::kFramedWindow},
        Case{"CaptionedWithoutFrame", [](F& f) { f.style = kCaption; }, V::kShow},
        Case{"HalfCaptionMaximised", [](F& f) { f.style = 0x00800000 | kMaximize; }, V::kShow}),
    [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

TEST(Visibility, NothingToShowComesFirst) {
  EXPECT_EQ(DecideVisibility(false, true, 1, Game()), V::kNothingToShow);
  EXPECT_EQ(DecideVisibility(true, false, 1, Game()), V::kNothingToShow);
  EXPECT_EQ(DecideVisibility(true, true, 0, F{}), V::kNothingToShow);
}

}  // namespace
