"""The host's channel runtime and engine wrappers end to end, through the echo
host: raw messages, method calls and their answers, host-initiated calls,
event streams, registrars, the first frame and shutdown."""

import pytest

from driver import codec
from driver.codec import Float32List, Int32, Int32List, Int64, Int64List, Float64List

RAW = "velmo.testing/echo_raw"
ECHO = "velmo.testing/echo"
EVENTS = "velmo.testing/events"
WM_FONTCHANGE = 0x001D
DUPLICATE_RESULT_LINE = ("Error: Only one of Success, Error, or NotImplemented can be called,"
                         " and it can be called exactly once. Ignoring duplicate result.")
LEAK_LINE = "Warning: Failed to respond to a message. This is a memory leak."


@pytest.fixture
def echo_host(start_program, testbin_dir):
    def start(args=(), env=None):
        return start_program(testbin_dir / "echo_host.exe", args, env)
    return start


@pytest.fixture
def host(echo_host):
    d = echo_host()
    d.wait_frame()
    return d


def quit_host(d, code=0):
    assert d.call(ECHO, "quit", Int32(code)).is_success
    d.wait_bye()
    return d.wait_exit()


class TestRawMessages:
    def test_bytes_in_and_out_unchanged(self, host):
        for data in (b"\x00", bytes(range(256)), b"", b"\xff" * 70_000):
            assert host.message(RAW, data) == data


class TestMethodCalls:
    VALUES = [None, True, False, Int32(-5), Int64(5), 2.5, "héllo", b"\x00\x01",
              Int32List([1, -1]), Int64List([2**40]), Float64List([0.5]), Float32List([1.5]),
              [1, "two", [3.0]], {"a": 1, Int64(2): [None]}]

    @pytest.mark.parametrize("value", VALUES, ids=lambda v: type(v).__name__)
    def test_arguments_come_back_as_sent(self, host, value):
        response = host.call(ECHO, "echo", value)
        assert response.is_success
        assert response.value == value
        assert type(response.value) is type(value)

    def test_success_without_value(self, host):
        raw = host.message(ECHO, codec.encode_method_call("nothing"))
        assert raw == bytes.fromhex("0000")

    def test_errors_with_and_without_message(self, host):
        error = host.call(ECHO, "error", {"why": 1})
        assert (error.code, error.message, error.details) == (
            "echo_error", "Echoed as an error.", {"why": 1})
        raw = host.message(ECHO, codec.encode_method_call("errorWithoutMessage"))
        assert raw == codec.encode_error("echo_error", "")
        assert raw[-2:] == b"\x00\x00"

    def test_unknown_method_is_answered_not_implemented(self, host):
        assert host.call(ECHO, "noSuchMethod").is_not_implemented
        assert host.call(ECHO, "Echo", 1).is_not_implemented

    def test_undecodable_call_is_answered_empty(self, host):
        assert host.message(ECHO, bytes.fromhex("0301000000")) == b""
        assert host.message(ECHO, b"") == b""
        stderr = host.stderr_text()
        assert "Invalid method call; method name is not a string." in stderr
        assert f"Unable to construct method call from message on channel {ECHO}" in stderr

    def test_second_answer_is_refused(self, host):
        tag = host.call_async(ECHO, "twice", "once")
        assert codec.decode_response(host.wait_response(tag)).value == "once"
        assert host.call(ECHO, "echo", 1).value == 1
        assert host.responses_for(tag) == 1
        assert host.stderr_text().count(DUPLICATE_RESULT_LINE) == 1

    def test_answer_from_another_thread(self, host):
        assert host.call(ECHO, "later", [1, 2]).value == [1, 2]

    def test_dropped_result_sends_nothing_and_warns(self, host):
        tag = host.call_async(ECHO, "drop")
        assert host.call(ECHO, "echo", 1).is_success
        assert host.response(tag) is None
        assert LEAK_LINE in host.stderr_text()

    def test_channel_without_handler_is_answered_empty(self, host):
        assert host.message("velmo.testing/nobody", codec.encode_method_call("x")) == b""


class TestHostInitiatedCalls:
    def test_fire_and_forget_call(self, host):
        assert host.call(ECHO, "notify", "ping").is_success
        sent = host.wait_send(ECHO, "notified")
        assert not sent.wants_reply
        assert sent.call() == codec.MethodCall("notified", "ping")

    @pytest.mark.parametrize("answer, report", [
        (codec.encode_success(Int32(42)), {"kind": "success", "value": 42}),
        (codec.encode_error("flutter_error", "No.", [1]),
         {"kind": "error", "code": "flutter_error", "message": "No.", "details": [1]}),
        (codec.encode_error("e"), {"kind": "error", "code": "e", "message": "", "details": None}),
        (b"", {"kind": "not_implemented"}),
        (b"\x02\x00", {"kind": "not_implemented"}),
    ], ids=["success", "error", "error-empty-message", "empty", "malformed"])
    def test_answers_reach_the_host_result(self, host, answer, report):
        assert host.call(ECHO, "invoke", {"q": True}).is_success
        ask = host.wait_send(ECHO, "fromHost")
        assert ask.wants_reply and ask.call().arguments == {"q": True}
        mark = host.mark()
        host.reply(ask.tag, answer)
        seen = host.wait_send(ECHO, "resultSeen", after=mark)
        assert seen.call().arguments == report


class TestEventStream:
    def test_listen_emit_cancel(self, host):
        assert host.call(EVENTS, "listen", "first").is_success
        assert host.wait_send(EVENTS).data == codec.encode_success("first")
        mark = host.mark()
        assert host.call(ECHO, "emit", Int32(7)).value is True
        assert host.wait_send(EVENTS, after=mark).data == codec.encode_success(Int32(7))
        assert host.call(EVENTS, "cancel").is_success
        assert host.call(ECHO, "emit", 8).value is False


class TestEngineLifecycle:
    def test_entry_arguments_reach_the_engine(self, echo_host):
        d = echo_host(args=["--flag", "wört"])
        assert d.hello_args[1:] == ["--flag", "wört"]

    def test_window_is_shown_after_the_first_frame(self, echo_host):
        d = echo_host()
        hwnd, width, height = d.wait_view()
        d.wait_frame()
        window = d.wait_window(lambda w: w.pid == d.hello_pid and
                               w.class_name == "VelmoEchoHostWindow" and w.visible)
        assert window.title == "Velmo echo host"
        assert d.events("frame")[0].index > d.wait_for("view").index
        assert width > 0 and height > 0 and hwnd != 0

    def test_registrars_reported_in_order(self, host):
        assert host.registrars() == ["EchoPluginA", "EchoPluginB"]

    def test_handlers_registered(self, host):
        for channel in (RAW, ECHO, EVENTS):
            assert host.handler_set(channel)

    def test_font_change_reloads_fonts(self, host):
        window = host.find_window(class_name="VelmoEchoHostWindow", pid=host.hello_pid)
        assert host.post(window.hwnd, WM_FONTCHANGE)
        host.wait_for("fonts")

    def test_quit_removes_handlers_and_says_bye(self, host):
        assert quit_host(host, 3) == 3
        for channel in (RAW, ECHO, EVENTS):
            assert not host.handler_set(channel)

    def test_answer_after_engine_shutdown_is_dropped_silently(self, host):
        tag = host.call_async(ECHO, "keepUntilShutdown")
        assert host.call(ECHO, "echo", 1).is_success
        assert quit_host(host) == 0
        assert host.response(tag) is None
        assert "Error:" not in host.stderr_text()
        assert LEAK_LINE not in host.stderr_text()

    def test_failed_view_ends_the_host(self, echo_host):
        d = echo_host(env={"VELMO_SUBSTITUTE_ENGINE_FAIL_VIEW": "1"})
        assert d.wait_exit() == 1
        assert "Failed to create view controller." in d.stderr_text()
        assert d.events("view") == []
