"""One velmo.exe per session: the hand-over of a second launch, the quit
message, the end of the session, the exit codes and the log lines of start-up
and of failures."""

import os
import signal

import pytest

from driver import wine
from host_helpers import (DESKTOP_SHELL_CHANNEL, MAIN_WINDOW_CLASS, SINGLE_INSTANCE_MUTEX,
                          WS_EX_APPWINDOW, WS_EX_TOOLWINDOW,
                          app_log_lines, main_window, main_windows, quit_host,
                          run_second_instance, run_tool, start_tool, wait_main_window)

FAIL_VIEW_VARIABLE = "VELMO_SUBSTITUTE_ENGINE_FAIL_VIEW"
MUTEX_HOLD_MS = 20000
# What the Flutter side may make of the main window's title.
RETITLED = "Velmo - voice call"
FROZEN_FIRST_LAUNCH_SECONDS = 2.0
TRAY_WINDOW_TITLE = "Wine System Tray"
# The exit code of a process window_tool's end-session ends.
ENDED_WITH_THE_SESSION = 69


def log_texts(lines: list[str]) -> list[str]:
    """The texts of log lines, without their time stamps and empty lines."""
    return [line.split(" ", 2)[2] for line in lines if line]


@pytest.fixture
def host(start_program, bundle_dir):
    driver = start_program(bundle_dir / "velmo.exe")
    driver.wait_frame()
    return driver


@pytest.fixture
def show_other_program_window(testbin_dir):
    """show_other_program_window() -> hwnd: a window of another program with
    the main window's class and another title, as any Flutter program has, in
    front of every window shown before."""
    programs = []

    def show() -> int:
        program = start_tool(testbin_dir, "fullscreen_window.exe", "maximized",
                             MAIN_WINDOW_CLASS)
        programs.append(program)
        ready = program.stdout.readline().split()
        assert ready[:1] == ["ready"], program.stderr.read()
        return int(ready[1])

    yield show
    for program in programs:
        program.kill()
        program.wait()


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

    def test_leaves_another_programs_window_of_the_class_alone(
            self, host, bundle_dir, testbin_dir, show_other_program_window):
        window = main_window(host)
        retitled = run_tool(testbin_dir, "window_tool.exe", "set-title", window.hwnd, RETITLED)
        assert retitled.stdout.strip() == "ok", retitled.stderr
        assert host.call(DESKTOP_SHELL_CHANNEL, "hideToTray").value is True
        other_window = show_other_program_window()
        # The other window comes first in the z-order a search walks.
        in_order = main_windows(host)
        assert [w.hwnd for w in in_order][:2] == [other_window, window.hwnd]
        other = [w for w in in_order if w.hwnd == other_window]
        assert [w.title for w in other] == ["Full screen test"]

        exit_code, _ = run_second_instance(bundle_dir)
        assert exit_code == 0
        restored = wait_main_window(host, lambda w: w.visible)
        assert (restored.hwnd, restored.title) == (window.hwnd, RETITLED)
        assert restored.exstyle & (WS_EX_TOOLWINDOW | WS_EX_APPWINDOW) == WS_EX_APPWINDOW
        assert host.foreground() == window.hwnd
        assert [w for w in host.windows() if w.hwnd == other_window] == other

    def test_exits_in_time_while_the_first_is_frozen_which_comes_back_as_it_wakes(
            self, host, bundle_dir):
        window = main_window(host)
        assert host.call(DESKTOP_SHELL_CHANNEL, "hideToTray").value is True
        # Its own process only: the desktop's explorer.exe, started by the first
        # program of the session, may share its process group.
        os.kill(host.process.pid, signal.SIGSTOP)
        try:
            exit_code, seconds = run_second_instance(bundle_dir)
        finally:
            os.kill(host.process.pid, signal.SIGCONT)
        assert exit_code == 0
        assert seconds < FROZEN_FIRST_LAUNCH_SECONDS
        assert wait_main_window(host, lambda w: w.visible).hwnd == window.hwnd

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

    def test_failed_view_ends_with_1_before_any_plugin_or_channel_and_is_logged(
            self, start_program, bundle_dir):
        before = len(app_log_lines())
        failed = start_program(bundle_dir / "velmo.exe", env={FAIL_VIEW_VARIABLE: "1"})
        assert failed.wait_exit(timeout=30) == 1
        assert failed.registrars() == []
        assert failed.events("handler") == []
        assert log_texts(app_log_lines()[max(before - 1, 0):])[-2:] == [
            "view_controller_failed", "main_window_failed"]

        # The mutex went with it.
        again = start_program(bundle_dir / "velmo.exe")
        again.wait_frame()
        assert quit_host(again) == 0


class TestEndOfSession:
    def test_tears_down_before_the_session_ends_and_logs_it_last(self, host, testbin_dir):
        before = len(app_log_lines())
        # The system's messages to this program alone: `wineboot --end-session`
        # would end every program of the prefix, tests running beside this
        # module's included.
        ended = run_tool(testbin_dir, "window_tool.exe", "end-session", main_window(host).hwnd)
        assert ended.stdout.strip() == "ok", ended.stderr
        # Ended from outside once it answered, as at logoff, unless the quit it
        # posted itself came first.
        assert host.wait_exit(timeout=30) in (0, ENDED_WITH_THE_SESSION)
        texts = log_texts(app_log_lines()[max(before - 1, 0):])
        assert "session_ending" in texts
        assert texts[-1] == "session_ended"
        assert wine.x_windows(f"^{TRAY_WINDOW_TITLE}$", only_visible=True) == []
