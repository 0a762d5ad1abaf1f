"""The main window of velmo.exe: identity, geometry, first-frame visibility
and the window style channel, under Wine with the substitute engine."""

import pytest

from driver import codec
from host_helpers import MAIN_WINDOW_CLASS, MAIN_WINDOW_TITLE, main_window, prefix_dpi

WS_OVERLAPPEDWINDOW = 0x00CF0000
FRAME_DELAY_VARIABLE = "VELMO_SUBSTITUTE_ENGINE_FRAME_DELAY_MS"
FRAME_DELAY_MS = 1500

WINDOW_STYLE = "parlora/window_style"
SUCCESS_WITHOUT_VALUE = bytes([0x00, 0x00])
BOOLEAN_EXPECTED_ERROR = (bytes([0x01, 0x07, 0x10]) + b"invalid_argument"
                          + bytes([0x07, 0x1F]) + b"Expected a boolean theme value." + bytes([0x00]))


@pytest.fixture
def host(start_program, bundle_dir):
    driver = start_program(bundle_dir / "velmo.exe")
    driver.wait_frame()
    return driver


class TestMainWindow:
    def test_hidden_until_the_first_frame_then_shown(self, start_program, bundle_dir):
        driver = start_program(bundle_dir / "velmo.exe",
                               env={FRAME_DELAY_VARIABLE: str(FRAME_DELAY_MS)})
        driver.wait_handler(WINDOW_STYLE)
        before = main_window(driver)
        # The answer to the query travels behind any frame line, so none has
        # come yet when the window is seen hidden.
        assert driver.events("frame") == []
        assert not before.visible

        driver.wait_frame(timeout=FRAME_DELAY_MS / 1000 + 15)
        after = main_window(driver)
        assert after.hwnd == before.hwnd
        assert after.visible
        assert not after.iconic

    def test_one_window_with_the_class_title_and_frame(self, host):
        windows = [w for w in host.own_windows() if w.class_name == MAIN_WINDOW_CLASS]
        assert len(windows) == 1
        window = windows[0]
        assert window.title == MAIN_WINDOW_TITLE
        assert window.style & WS_OVERLAPPEDWINDOW == WS_OVERLAPPEDWINDOW

    def test_origin_and_size_scaled_by_monitor_dpi(self, host):
        scale = prefix_dpi() / 96.0
        window = main_window(host)
        assert (window.left, window.top) == (int(10 * scale), int(10 * scale))
        assert (window.width, window.height) == (int(1280 * scale), int(720 * scale))

    def test_view_is_made_for_the_client_area(self, host):
        _, width, height = host.wait_view()
        window = main_window(host)
        # The client area is the window less its caption and borders.
        assert 0 < width < window.width and window.width - width < 64
        assert 0 < height < window.height and window.height - height < 96


class TestWindowStyleChannel:
    @pytest.mark.parametrize("dark", [False, True, False, True])
    def test_bool_theme_is_answered_success_without_value(self, host, dark):
        reply = host.message(WINDOW_STYLE, codec.encode_method_call("setTitleBarTheme", dark))
        assert reply == SUCCESS_WITHOUT_VALUE

    @pytest.mark.parametrize("argument", [
        codec.Int32(1), codec.Int32(0), codec.Int64(1), "dark", None, 1.0,
        {"dark": True}, [True],
    ], ids=["int 1", "int 0", "int64", "string", "none", "double", "map", "list"])
    def test_anything_but_a_bool_is_invalid(self, host, argument):
        reply = host.message(WINDOW_STYLE, codec.encode_method_call("setTitleBarTheme", argument))
        assert reply == BOOLEAN_EXPECTED_ERROR

    @pytest.mark.parametrize("method", ["setTitleBarThemes", "settitlebartheme", "getTitleBarTheme",
                                        ""])
    def test_other_methods_are_not_implemented(self, host, method):
        assert host.message(WINDOW_STYLE, codec.encode_method_call(method, True)) == b""


class TestMicGainChannel:
    MIC_GAIN = "parlora/mic_gain"

    def test_set_gain_with_a_map_answers_true(self, host):
        reply = host.message(self.MIC_GAIN, codec.encode_method_call("setGain", {"gain": 1.5}))
        assert reply == bytes([0x00, 0x01])

    def test_set_gain_without_a_map_is_invalid(self, host):
        expected = (bytes([0x01, 0x07, 0x10]) + b"invalid_argument" + bytes([0x07, 0x0F])
                    + b"Expected a map." + bytes([0x00]))
        assert host.message(self.MIC_GAIN, codec.encode_method_call("setGain", 1.5)) == expected
        assert host.message(self.MIC_GAIN, codec.encode_method_call("setGain")) == expected

    def test_other_methods_are_not_implemented(self, host):
        assert host.message(self.MIC_GAIN, codec.encode_method_call("getGain", {"gain": 1.0})) == b""
