"""One velmo.exe per session: the hand-over of a second launch, the quit
message, the exit codes and the start-up log line."""


import pytest

from host_helpers import (DESKTOP_SHELL_CHANNEL, SINGLE_INSTANCE_MUTEX, WS_EX_APPWINDOW,
                          WS_EX_TOOLWINDOW,
                          app_log_lines, main_window, main_windows, quit_host,
                          run_second_instance, run_tool, start_tool, wait_main_window)

FAIL_VIEW_VARIABLE = "VELMO_SUBSTITUTE_ENGINE_FAIL_VIEW"
MUTEX_HOLD_MS = 20000


@pytest.fixture
def host(start_program, bundle_dir):
    driver = start_program(bundle_dir / "velmo.exe")
    driver.wait_frame()
    return driver


class TestSecondLaunch:
    def test_exits_0_without_an_engine_and_leaves_the_first_running(self, host, bundle_dir):
        exit_code, _ = run_second_instance(bundle_dir)
        assert exit_code == 0
        assert [w.hwnd for w in main_windows(host)] == [main_window(host).hwnd]
        assert host.running

    def test_brings_the_first_back_from_the_tray(self, host, bundle_dir):
        window = main_window(host)
        assert host.call(DESKTOP_SHELL_CHANNEL, "hideToTray").value is True
        in_tray = main_window(host)
        assert not in_tray.visible
        assert in_tray.exstyle & WS_EX_TOOLWINDOW

        exit_code, _ = run_second_instance(bundle_dir)
        assert exit_code == 0
        restored = wait_main_window(host, lambda w: w.visible)
        assert restored.hwnd == window.hwnd
        assert not restored.exstyle & WS_EX_TOOLWINDOW
        assert restored.exstyle & WS_EX_APPWINDOW
        assert not restored.iconic

    def test_restores_a_minimised_first_window(self, host, bundle_dir, testbin_dir):
        window = main_window(host)
        minimised = run_tool(testbin_dir, "window_tool.exe", "minimize", window.hwnd)
        assert minimised.stdout.strip() == "ok", minimised.stderr
        assert main_window(host).iconic

        exit_code, _ = run_second_instance(bundle_dir)
        assert exit_code == 0
        restored = wait_main_window(host, lambda w: not w.iconic and w.visible)
        assert restored.hwnd == window.hwnd

    def test_exits_0_when_the_running_instance_has_no_window_yet(
            self, start_program, bundle_dir, testbin_dir):
        # The lock of velmo.exe's tests is taken by starting the first
        # instance; here a stand-in owns the mutex and never makes a window.
        probe = start_program(bundle_dir / "velmo.exe")
        probe.wait_frame()
        assert quit_host(probe) == 0

        holder = start_tool(testbin_dir, "window_tool.exe", "hold-mutex", SINGLE_INSTANCE_MUTEX,
                            MUTEX_HOLD_MS)
        try:
            assert holder.stdout.readline().strip() == "holding"
            exit_code, seconds = run_second_instance(bundle_dir)
            assert exit_code == 0
            assert seconds < MUTEX_HOLD_MS / 1000
            assert holder.poll() is None
        finally:
            holder.kill()
            holder.wait()


class TestQuitAndRestart:
    def test_posted_quit_ends_with_0_and_a_new_instance_can_start(
            self, host, start_program, bundle_dir):
        assert quit_host(host) == 0
        host.wait_bye()

        again = start_program(bundle_dir / "velmo.exe")
        again.wait_frame()
        assert main_window(again).visible
        assert quit_host(again) == 0

    def test_start_up_is_logged(self, start_program, bundle_dir):
        before = len(app_log_lines())
        driver = start_program(bundle_dir / "velmo.exe")
        driver.wait_frame()
        new_lines = app_log_lines()[max(before - 1, 0):]
        assert any(" crash_logging_installed logs_chars=" in line for line in new_lines), new_lines

    def test_failed_view_ends_with_1_before_any_plugin_or_channel(
            self, start_program, bundle_dir):
        failed = start_program(bundle_dir / "velmo.exe", env={FAIL_VIEW_VARIABLE: "1"})
        assert failed.wait_exit(timeout=30) == 1
        assert failed.registrars() == []
        assert failed.events("handler") == []

        # The mutex went with it.
        again = start_program(bundle_dir / "velmo.exe")
        again.wait_frame()
        assert quit_host(again) == 0
