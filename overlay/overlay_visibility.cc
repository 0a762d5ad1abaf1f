#include "overlay/overlay_visibility.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace {

// Windows of the shell cover the monitor too, but are never a game.
constexpr std::array<std::u16string_view, 6> kShellClasses = {
    u"Progman",        u"WorkerW",
    u"Shell_TrayWnd",  u"Shell_SecondaryTrayWnd",
    u"DV2ControlHost", u"Windows.UI.Core.CoreWindow"};

// A window this close to every monitor edge counts as full screen.
constexpr int kFullScreenTolerance = 6;

constexpr uint32_t kCaptionStyle = 0x00C00000;
constexpr uint32_t kThickFrameStyle = 0x00040000;
constexpr uint32_t kMaximizeStyle = 0x01000000;

char16_t AsciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? c + (u'a' - u'A') : c; }

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char16_t x, char16_t y) { return AsciiLower(x) == AsciiLower(y); });
}

bool IsShellClass(std::u16string_view name) {
  return std::any_of(kShellClasses.begin(), kShellClasses.end(),
                     [name](std::u16string_view shell) { return EqualsIgnoringCase(name, shell); });
}

bool CoversMonitor(const PixelRect& window, const PixelRect& monitor) {
  return window.left <= monitor.left + kFullScreenTolerance &&
         window.top <= monitor.top + kFullScreenTolerance &&
         window.right >= monitor.right - kFullScreenTolerance &&
         window.bottom >= monitor.bottom - kFullScreenTolerance;
}

// A maximised or resizable captioned window filling the screen is an
// ordinary application, not a game in full screen.
bool IsFramedFullScreen(uint32_t style) {
  return (style & kCaptionStyle) == kCaptionStyle &&
         (style & (kThickFrameStyle | kMaximizeStyle)) != 0;
}

}  // namespace

bool OverlayWanted(bool enabled, bool active, std::size_t member_count) {
  return enabled && active && member_count > 0;
}

OverlayVisibility DecideVisibility(bool enabled, bool active, std::size_t member_count,
                                   const ForegroundFacts& fg) {
  if (!OverlayWanted(enabled, active, member_count)) return OverlayVisibility::kNothingToShow;
  if (!fg.present) return OverlayVisibility::kNoForeground;
  if (fg.is_owner_or_overlay) return OverlayVisibility::kOwnWindow;
  if (!fg.class_name || IsShellClass(*fg.class_name)) return OverlayVisibility::kShellWindow;
  if (fg.process_id != 0 && fg.process_id == fg.owner_process_id) {
    return OverlayVisibility::kOwnProcess;
  }
  if (!fg.visible || fg.iconic) return OverlayVisibility::kHiddenOrMinimised;
  if (!fg.window_rect || !fg.monitor_rect) return OverlayVisibility::kNoGeometry;
  if (!CoversMonitor(*fg.window_rect, *fg.monitor_rect)) return OverlayVisibility::kNotFullScreen;
  if (IsFramedFullScreen(fg.style)) return OverlayVisibility::kFramedWindow;
  return OverlayVisibility::kShow;
}
