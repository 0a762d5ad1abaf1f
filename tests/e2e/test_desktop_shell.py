"""The desktop shell of velmo.exe under Wine: the close request, hiding to the
tray and every way back, the tray menu, quit, and the icon's return after a
shell restart. Wine's tray is the "Wine System Tray" window, shown only while
it holds an icon; xdotool clicks on the icon give the version-4 callbacks."""

import pytest

from driver import wine
from host_helpers import (DESKTOP_SHELL_CHANNEL, WS_EX_APPWINDOW, WS_EX_TOOLWINDOW, main_window,
                          quit_host, run_tool, wait_main_window)

WM_CLOSE = 0x0010
TRAY_CALLBACK = 0x8020
TRAY_EVENTS = {"WM_LBUTTONUP": 0x0202, "WM_LBUTTONDBLCLK": 0x0203, "NIN_SELECT": 0x0400,
               "NIN_KEYSELECT": 0x0401}

TRAY_WINDOW_TITLE = "Wine System Tray"
TRAY_ICON_POINT = (12, 32)
POPUP_MENU_CLASS = "#32768"
# Half an item's height: a point inside the first or the last item.
MENU_ITEM_INSET = 8
MENU_ITEMS = [(1, False, "显示窗口"), (0, True, ""), (2, False, "退出 Velmo")]
FRAME_DELAY_VARIABLE = "VELMO_SUBSTITUTE_ENGINE_FRAME_DELAY_MS"
FRAME_DELAY_MS = 1500


@pytest.fixture
def host(start_program, bundle_dir):
    driver = start_program(bundle_dir / "velmo.exe")
    driver.wait_frame()
    return driver


def wait_tray(driver, shown: bool) -> None:
    driver.wait_window(lambda w: w.title == TRAY_WINDOW_TITLE and w.visible == shown, 10)


def hide(driver):
    """Hides to the tray: no window, no taskbar button, the icon stays."""
    assert driver.call(DESKTOP_SHELL_CHANNEL, "hideToTray").value is True
    hidden = main_window(driver)
    assert not hidden.visible
    assert hidden.exstyle & (WS_EX_TOOLWINDOW | WS_EX_APPWINDOW) == WS_EX_TOOLWINDOW
    wait_tray(driver, shown=True)
    return hidden


def open_tray_menu(driver):
    """Right-clicks the icon: exactly one menu, with its two items in order."""
    wine.click(*TRAY_ICON_POINT, button=3)
    menu = driver.wait_window(
        lambda w: w.pid == driver.hello_pid and w.class_name == POPUP_MENU_CLASS and w.visible)
    menus = [w for w in driver.own_windows() if w.class_name == POPUP_MENU_CLASS and w.visible]
    assert [m.hwnd for m in menus] == [menu.hwnd]
    assert driver.menu_items(menu.hwnd) == MENU_ITEMS
    return menu


def test_close_asks_flutter_and_leaves_the_window_as_it_was(host):
    before = main_window(host)
    mark = host.mark()
    assert host.post(before.hwnd, WM_CLOSE)
    sent = host.wait_send(DESKTOP_SHELL_CHANNEL, "onCloseRequested", after=mark)
    assert not sent.wants_reply
    assert sent.call().arguments is None
    assert main_window(host) == before
    assert host.running


def test_hidden_before_the_first_frame_stays_hidden_until_brought_back(start_program,
                                                                       bundle_dir):
    driver = start_program(bundle_dir / "velmo.exe",
                           env={FRAME_DELAY_VARIABLE: str(FRAME_DELAY_MS)})
    driver.wait_handler(DESKTOP_SHELL_CHANNEL)
    assert driver.call(DESKTOP_SHELL_CHANNEL, "hideToTray").value is True
    assert driver.events("frame") == []
    driver.wait_frame(timeout=FRAME_DELAY_MS / 1000 + 15)
    assert not main_window(driver).visible
    assert driver.call(DESKTOP_SHELL_CHANNEL, "showWindow").value is True
    assert main_window(driver).visible


@pytest.mark.parametrize("minimised", [False, True], ids=["hidden", "minimised"])
@pytest.mark.parametrize("way", ["tray click", *TRAY_EVENTS, "menu item", "showWindow"])
def test_each_way_brings_it_back(host, testbin_dir, way, minimised):
    window = main_window(host)
    if minimised:
        result = run_tool(testbin_dir, "window_tool.exe", "minimize", window.hwnd)
        assert result.stdout.strip() == "ok", result.stderr
    assert hide(host).iconic == minimised

    if way == "tray click":
        wine.click(*TRAY_ICON_POINT)
    elif way in TRAY_EVENTS:
        assert host.post(window.hwnd, TRAY_CALLBACK, 0, TRAY_EVENTS[way])
    elif way == "menu item":
        menu = open_tray_menu(host)
        wine.click(menu.left + MENU_ITEM_INSET * 2, menu.top + MENU_ITEM_INSET)
    else:
        assert host.call(DESKTOP_SHELL_CHANNEL, way).value is True

    back = wait_main_window(host, lambda w: w.visible and not w.iconic)
    assert back.hwnd == window.hwnd
    assert back.exstyle & (WS_EX_TOOLWINDOW | WS_EX_APPWINDOW) == WS_EX_APPWINDOW


@pytest.mark.parametrize("way", ["menu quit item", "quit"])
def test_quit_ends_with_0_and_removes_the_icon(host, way):
    hide(host)
    if way == "quit":
        assert quit_host(host) == 0
    else:
        menu = open_tray_menu(host)
        wine.click(menu.left + MENU_ITEM_INSET * 2, menu.bottom - MENU_ITEM_INSET)
        assert host.wait_exit(timeout=30) == 0
    assert host.sends(DESKTOP_SHELL_CHANNEL) == []
    # With the host gone, X tells whether the tray still shows anything.
    assert wine.x_windows(f"^{TRAY_WINDOW_TITLE}$", only_visible=True) == []


def test_quit_and_a_close_inside_the_menus_own_loop_end_with_0(host):
    """The close, let through after "quit", destroys the window and the shell
    while the shell's menu call is still on the stack."""
    hide(host)
    open_tray_menu(host)
    assert host.call(DESKTOP_SHELL_CHANNEL, "quit").value is True
    assert host.post(main_window(host).hwnd, WM_CLOSE)
    assert host.wait_exit(timeout=30) == 0  # a crash exits with its NTSTATUS's low byte


def test_shell_restart_brings_the_icon_back_unasked(host, testbin_dir):
    window = main_window(host)
    dropped = run_tool(testbin_dir, "window_tool.exe", "drop-tray-icon", window.hwnd, 1)
    assert dropped.stdout.strip() == "ok", dropped.stderr
    wait_tray(host, shown=False)

    message_id = int(run_tool(testbin_dir, "window_tool.exe", "message-id",
                              "TaskbarCreated").stdout)
    mark = host.mark()
    assert host.post(window.hwnd, message_id)
    wait_tray(host, shown=True)
    assert host.sends(DESKTOP_SHELL_CHANNEL, after=mark) == []
    # The icon is the shell's again: a click on it restores the window.
    hide(host)
    wine.click(*TRAY_ICON_POINT)
    assert wait_main_window(host, lambda w: w.visible).hwnd == window.hwnd
