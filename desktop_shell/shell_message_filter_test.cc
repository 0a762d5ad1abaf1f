#include "desktop_shell/shell_message_filter.h"

#include <gtest/gtest.h>

namespace {

using enum ShellAction;

constexpr uint32_t kTaskbarCreated = 0xC0F1;
constexpr uint32_t kRestoreRequest = 0xC0F2;
constexpr uint32_t kClose = kWindowCloseMessage;
constexpr uint32_t kTray = kTrayCallbackMessage;
constexpr uint32_t kCommand = kWindowCommandMessage;

struct FilterCase {
  const char* name;
  uint32_t message;
  uint64_t wparam;
  int64_t lparam;
  ShellFilterState state;
  ShellDecision expected;
};

constexpr ShellFilterState kRunning{false, true, false, kTaskbarCreated, kRestoreRequest};
constexpr ShellFilterState kQuitting{true, true, false, kTaskbarCreated, kRestoreRequest};
constexpr ShellFilterState kNoChannel{false, false, false, kTaskbarCreated, kRestoreRequest};
constexpr ShellFilterState kMenuOpen{false, true, true, kTaskbarCreated, kRestoreRequest};
constexpr ShellFilterState kNoRegisteredMessages{false, true, false, 0, 0};

constexpr ShellDecision Taken(ShellAction action) { return {true, action, 0, 0}; }
constexpr ShellDecision kPassed{};

// Tray events carry flags in the high word of lparam; only the low word counts.
constexpr int64_t Event(uint32_t event) { return 0x00010000 | event; }

constexpr FilterCase kCases[] = {
    {"close_asks_flutter", kClose, 0, 0, kRunning, Taken(kRequestClose)},
    {"close_without_channel_hides", kClose, 0, 0, kNoChannel, Taken(kHideToTray)},
    {"close_while_quitting_proceeds", kClose, 0, 0, kQuitting, kPassed},
    {"left_up", kTray, 0, Event(kTrayLeftButtonUpEvent), kRunning, Taken(kRestoreWindow)},
    {"double_click", kTray, 0, Event(kTrayLeftDoubleClickEvent), kRunning, Taken(kRestoreWindow)},
    {"select", kTray, 0, Event(kTraySelectEvent), kRunning, Taken(kRestoreWindow)},
    {"key_select", kTray, 0, Event(kTrayKeySelectEvent), kRunning, Taken(kRestoreWindow)},
    {"right_up", kTray, 0, Event(kTrayRightButtonUpEvent), kRunning, Taken(kShowMenuAtCursor)},
    {"context_menu_at_signed_anchor",
     kTray,
     0xFFF6FF38,
     Event(kTrayContextMenuEvent),
     kRunning,
     {true, kShowMenuAtAnchor, -200, -10}},
    {"no_second_menu_on_right_up", kTray, 0, Event(kTrayRightButtonUpEvent), kMenuOpen,
     Taken(kNone)},
    {"no_second_menu_on_context_menu", kTray, 0x00200010, Event(kTrayContextMenuEvent), kMenuOpen,
     Taken(kNone)},
    {"other_tray_event_swallowed", kTray, 0, Event(0x0200), kRunning, Taken(kNone)},
    {"menu_show_item", kCommand, 1, 0, kRunning, Taken(kRestoreWindow)},
    {"menu_quit_item_low_word", kCommand, 0x00010002, 0, kRunning, Taken(kQuit)},
    {"other_command_passed", kCommand, 3, 0, kRunning, kPassed},
    {"taskbar_created_re_adds", kTaskbarCreated, 0, 0, kRunning, Taken(kReAddTray)},
    {"unregistered_taskbar_message_never_matches", 0, 0, 0, kNoRegisteredMessages, kPassed},
    {"restore_request_restores", kRestoreRequest, 0, 0, kRunning, Taken(kRestoreWindow)},
    {"restore_request_while_hidden_without_channel", kRestoreRequest, 0, 0, kNoChannel,
     Taken(kRestoreWindow)},
    {"restore_request_not_confused_with_taskbar_created",
     kTaskbarCreated,
     0,
     0,
     {false, true, false, 0, kTaskbarCreated + 1},
     kPassed},
};

TEST(ShellMessageFilterTest, DecidesAsTheTableSays) {
  for (const FilterCase& c : kCases) {
    EXPECT_EQ(DecideShellMessage(c.message, c.wparam, c.lparam, c.state), c.expected) << c.name;
  }
}

}  // namespace
