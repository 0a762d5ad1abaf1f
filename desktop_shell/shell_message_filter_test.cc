#include "desktop_shell/shell_message_filter.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

constexpr uint32_t kTaskbarCreated = 0xC0F1;

struct FilterCase {
  const char* name;
  uint32_t message;
  uint64_t wparam;
  int64_t lparam;
  ShellFilterState state;
  ShellDecision expected;
};

std::ostream& operator<<(std::ostream& out, const FilterCase& c) { return out << c.name; }

constexpr ShellFilterState kRunning{false, true, false, kTaskbarCreated};
constexpr ShellFilterState kQuitting{true, true, false, kTaskbarCreated};
constexpr ShellFilterState kNoChannel{false, false, false, kTaskbarCreated};
constexpr ShellFilterState kMenuOpen{false, true, true, kTaskbarCreated};
constexpr ShellFilterState kNoTaskbarMessage{false, true, false, 0};

constexpr ShellDecision Taken(ShellAction action) { return {true, action, 0, 0}; }
constexpr ShellDecision kPassed{};

// Tray events carry flags in the high word of lparam; only the low word counts.
constexpr int64_t Tray(uint32_t event) { return 0x00010000 | event; }

class ShellMessageFilterTest : public ::testing::TestWithParam<FilterCase> {};

TEST_P(ShellMessageFilterTest, DecidesAsTheTableSays) {
  const FilterCase& c = GetParam();
  EXPECT_EQ(DecideShellMessage(c.message, c.wparam, c.lparam, c.state), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, ShellMessageFilterTest,
    ::testing::Values(
        FilterCase{"close_asks_flutter", kWindowCloseMessage, 0, 0, kRunning,
                   Taken(ShellAction::kRequestClose)},
        FilterCase{"close_without_channel_hides", kWindowCloseMessage, 0, 0, kNoChannel,
                   Taken(ShellAction::kHideToTray)},
        FilterCase{"close_while_quitting_proceeds", kWindowCloseMessage, 0, 0, kQuitting, kPassed},
        FilterCase{"left_up_restores", kTrayCallbackMessage, 0, Tray(kTrayLeftButtonUpEvent),
                   kRunning, Taken(ShellAction::kRestoreWindow)},
        FilterCase{"double_click_restores", kTrayCallbackMessage, 0,
                   Tray(kTrayLeftDoubleClickEvent), kRunning, Taken(ShellAction::kRestoreWindow)},
        FilterCase{"select_restores", kTrayCallbackMessage, 0, Tray(kTraySelectEvent), kRunning,
                   Taken(ShellAction::kRestoreWindow)},
        FilterCase{"key_select_restores", kTrayCallbackMessage, 0, Tray(kTrayKeySelectEvent),
                   kRunning, Taken(ShellAction::kRestoreWindow)},
        FilterCase{"right_up_menu_at_cursor", kTrayCallbackMessage, 0,
                   Tray(kTrayRightButtonUpEvent), kRunning, Taken(ShellAction::kShowMenuAtCursor)},
        FilterCase{"context_menu_at_anchor",
                   kTrayCallbackMessage,
                   0x00200010,
                   Tray(kTrayContextMenuEvent),
                   kRunning,
                   {true, ShellAction::kShowMenuAtAnchor, 16, 32}},
        FilterCase{"anchor_halves_are_signed",
                   kTrayCallbackMessage,
                   0xFFF6FF38,
                   Tray(kTrayContextMenuEvent),
                   kRunning,
                   {true, ShellAction::kShowMenuAtAnchor, -200, -10}},
        FilterCase{"no_second_menu_on_right_up", kTrayCallbackMessage, 0,
                   Tray(kTrayRightButtonUpEvent), kMenuOpen, Taken(ShellAction::kNone)},
        FilterCase{"no_second_menu_on_context_menu", kTrayCallbackMessage, 0x00200010,
                   Tray(kTrayContextMenuEvent), kMenuOpen, Taken(ShellAction::kNone)},
        FilterCase{"other_tray_event_swallowed", kTrayCallbackMessage, 0, Tray(0x0200), kRunning,
                   Taken(ShellAction::kNone)},
        FilterCase{"menu_show_item", kWindowCommandMessage, 0x00000001, 0, kRunning,
                   Taken(ShellAction::kRestoreWindow)},
        FilterCase{"menu_quit_item_low_word", kWindowCommandMessage, 0x00010002, 0, kRunning,
                   Taken(ShellAction::kQuit)},
        FilterCase{"other_command_passed", kWindowCommandMessage, 3, 0, kRunning, kPassed},
        FilterCase{"taskbar_created_re_adds", kTaskbarCreated, 0, 0, kRunning,
                   Taken(ShellAction::kReAddTray)},
        FilterCase{"unregistered_taskbar_message_never_matches", 0, 0, 0, kNoTaskbarMessage,
                   kPassed}),
    [](const ::testing::TestParamInfo<FilterCase>& info) { return std::string(info.param.name); });

}  // namespace
