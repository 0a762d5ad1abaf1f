"""The substitute engine and the driver protocol, through the engine probe: a
host made only of the engine library's C functions."""

import subprocess

import pytest

WM_CLOSE = 0x0010
PROBE_QUIT_EXIT_CODE = 7
PROBE_VIEW_FAILED_EXIT_CODE = 3
ACCESS_VIOLATION_EXIT_CODE = 0xC0000005 & 0xFF


@pytest.fixture
def probe(start_program, testbin_dir):
    def start(args=(), env=None):
        return start_program(testbin_dir / "engine_probe.exe", args, env)
    return start


@pytest.fixture
def running_probe(probe):
    d = probe()
    d.wait_frame()
    return d


class TestMessagesToTheHost:
    def test_bytes_come_back_unchanged(self, running_probe):
        every_byte = bytes(range(256))
        assert running_probe.message("probe/echo", every_byte) == every_byte
        assert running_probe.message("probe/echo", b"") == b""
        large = bytes(i * 7 % 251 for i in range(200_000))
        assert running_probe.message("probe/echo", large) == large

    def test_channel_without_handler_is_answered_empty(self, running_probe):
        assert running_probe.message("probe/nobody", b"\x01\x02") == b""

    def test_removed_handler_is_reported_and_then_answered_empty(self, running_probe):
        assert running_probe.message("probe/control", b"unset") == b"ok"
        running_probe.wait_handler("probe/echo", present=False)
        assert not running_probe.handler_set("probe/echo")
        assert running_probe.message("probe/echo", b"abc") == b""

    def test_handlers_run_on_the_thread_that_created_the_engine(self, running_probe):
        assert running_probe.message("probe/thread", b"") == b"main"

    def test_response_from_another_thread_is_accepted(self, running_probe):
        assert running_probe.message("probe/later", b"from a worker") == b"from a worker"

    def test_only_the_first_response_to_a_message_is_sent(self, running_probe):
        tag = running_probe.message_async("probe/twice", b"x")
        assert running_probe.wait_response(tag) == b"first"
        # Messages are handled in order: once a later one is answered, the
        # second response has been given and refused.
        assert running_probe.message("probe/echo", b"after") == b"after"
        assert running_probe.responses_for(tag) == 1
        assert "already used handle" in running_probe.stderr_text()

    def test_unanswered_message_gets_no_response(self, running_probe):
        tag = running_probe.message_async("probe/never", b"x")
        assert running_probe.message("probe/echo", b"after") == b"after"
        assert running_probe.response(tag) is None


class TestMessagesFromTheHost:
    def test_sends_with_and_without_reply(self, running_probe):
        assert running_probe.message("probe/control", b"send") == b"ok"
        fire, ask = running_probe.sends("probe/out")
        assert (fire.tag, fire.data, fire.wants_reply) == (0, b"fire", False)
        assert ask.wants_reply and ask.data == b"ask"
        mark = running_probe.mark()
        running_probe.reply(ask.tag, b"answer")
        seen = running_probe.wait_send("probe/reply-seen", after=mark)
        assert seen.data == b"main:answer"

    def test_empty_reply_reaches_the_host_empty(self, running_probe):
        running_probe.message("probe/control", b"send")
        ask = [s for s in running_probe.sends("probe/out") if s.wants_reply][0]
        running_probe.reply(ask.tag, b"")
        assert running_probe.wait_send("probe/reply-seen").data == b"main:"


class TestEngineLifecycle:
    def test_hello_carries_the_entry_arguments_as_utf8(self, probe):
        d = probe(args=["plain", "héllo wörld", ""])
        assert d.hello_args[0].startswith("--driver=127.0.0.1:")
        assert d.hello_args[1:] == ["plain", "héllo wörld", ""]
        assert any(w.class_name == "VelmoEngineProbeWindow" for w in d.own_windows())

    def test_first_frame_follows_the_view_and_shows_the_window(self, probe):
        d = probe()
        hwnd, width, height = d.wait_view()
        frame = d.wait_frame()
        assert frame.index > d.wait_for("view").index
        assert hwnd != 0 and width > 0 and height > 0
        window = d.wait_window(lambda w: w.pid == d.hello_pid and w.title == "Engine probe"
                               and w.visible)
        assert window.width >= width

    def test_next_frame_callback_fires_once_per_request(self, running_probe):
        mark = running_probe.mark()
        running_probe.message("probe/echo", b"traffic renders frames")
        running_probe.message("probe/control", b"dpi")
        assert running_probe.events("frame", after=mark) == []
        running_probe.message("probe/control", b"redraw")
        running_probe.wait_frame(after=mark)
        running_probe.message("probe/echo", b"more traffic")
        assert len(running_probe.events("frame", after=mark)) == 1

    def test_registrars_are_reported_and_one_per_name(self, running_probe):
        assert running_probe.message("probe/control", b"registrars") == b"same"
        assert running_probe.registrars() == ["ProbePluginA", "ProbePluginB", "ProbePluginA"]

    def test_fonts_resync_and_dpi(self, running_probe):
        running_probe.message("probe/control", b"fonts")
        running_probe.wait_for("fonts")
        running_probe.message("probe/control", b"resync")
        running_probe.wait_for("resync")
        assert int(running_probe.message("probe/control", b"dpi")) == 96

    def test_destruction_says_bye_and_the_messenger_outlives_it(self, running_probe):
        running_probe.message("probe/control", b"quit")
        running_probe.wait_bye()
        assert running_probe.wait_exit() == PROBE_QUIT_EXIT_CODE
        assert "messenger available after destroy: 0" in running_probe.stdout_text()

    def test_engine_destroyed_inside_its_own_callback(self, running_probe):
        tag = running_probe.message_async("probe/control", b"destroy")
        assert running_probe.wait_response(tag) == b"ok"
        running_probe.wait_bye()
        assert running_probe.wait_exit() == 8
        assert "messenger available after destroy: 0" in running_probe.stdout_text()

    def test_failing_view_controller_takes_the_engine_down(self, probe):
        d = probe(env={"VELMO_SUBSTITUTE_ENGINE_FAIL_VIEW": "1"})
        d.wait_bye()
        assert d.wait_exit() == PROBE_VIEW_FAILED_EXIT_CODE
        assert d.events("view") == []
        assert "view controller failed; messenger available: 0" in d.stdout_text()


class TestDesktopQueries:
    def test_posted_close_reaches_the_window(self, running_probe):
        window = running_probe.find_window(title="Engine probe", pid=running_probe.hello_pid)
        assert window is not None and window.visible and not window.iconic
        assert running_probe.foreground() == window.hwnd
        assert running_probe.post(window.hwnd, WM_CLOSE)
        assert running_probe.wait_exit() == 0

    def test_post_to_a_missing_window_fails(self, running_probe):
        assert not running_probe.post(1, WM_CLOSE)
        assert running_probe.running

    def test_crash_ends_the_process_with_an_access_violation(self, running_probe):
        running_probe.crash()
        assert running_probe.wait_exit() == ACCESS_VIOLATION_EXIT_CODE

    def test_view_shows_what_it_renders(self, running_probe, tmp_path):
        window = running_probe.find_window(title="Engine probe", pid=running_probe.hello_pid)
        shot = running_probe.screenshot(tmp_path / "probe.png", hwnd=window.hwnd)
        colours = subprocess.run(["identify", "-format", "%k", str(shot)], check=True,
                                 capture_output=True, text=True).stdout
        # Text drawn with antialiasing over the background gives many colours;
        # an unpainted or blank view gives one or two.
        assert int(colours) > 10
