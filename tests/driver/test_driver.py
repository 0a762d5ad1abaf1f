"""The driver's line handling and helpers, fed engine lines directly (no Wine,
no program)."""

import threading

import pytest

from driver import codec, wine
from driver.driver import Driver, EngineGone, WindowInfo


@pytest.fixture
def driver(tmp_path):
    d = Driver(tmp_path / "nothing.exe")
    sent = []
    d.send_line = sent.append
    d.sent = sent
    return d


def feed(d, *lines):
    for line in lines:
        d._take_line(line)


class TestIncomingLines:
    def test_responses_are_kept_by_tag_and_empty_ones_are_empty_bytes(self, driver):
        feed(driver, "response 4 0001", "response 5 -")
        assert driver.wait_response(4, timeout=0.1) == b"\x00\x01"
        assert driver.wait_response(5, timeout=0.1) == b""
        assert driver.response(6) is None
        assert driver.responses_for(4) == 1

    def test_sends_are_decoded(self, driver):
        feed(driver, "send a/b 0 " + codec.encode_method_call("m", 1).hex(), "send c 9 -")
        first, second = driver.sends()
        assert (first.channel, first.tag, first.wants_reply) == ("a/b", 0, False)
        assert first.call() == codec.MethodCall("m", 1)
        assert (second.channel, second.data, second.wants_reply) == ("c", b"", True)
        assert driver.wait_send("a/b", "m", timeout=0.1).index == first.index
        with pytest.raises(TimeoutError):
            driver.wait_send("a/b", "other", timeout=0.1)

    def test_waits_see_only_events_after_the_mark(self, driver):
        feed(driver, "frame")
        mark = driver.mark()
        with pytest.raises(TimeoutError):
            driver.wait_frame(timeout=0.1, after=mark)
        threading.Timer(0.05, feed, (driver, "frame")).start()
        assert driver.wait_frame(timeout=2, after=mark).index == mark

    def test_handler_state_follows_the_latest_line(self, driver):
        feed(driver, "handler x 1", "handler x 0", "handler y 1")
        assert not driver.handler_set("x")
        assert driver.handler_set("y")
        assert not driver.handler_set("z")

    def test_closed_connection_ends_waits_at_once(self, driver):
        driver._closed = True
        with pytest.raises(EngineGone):
            driver.wait_for("frame", timeout=5)


class TestOutgoingLines:
    def test_messages_use_fresh_tags_and_hex(self, driver):
        assert driver.message_async("ch", b"\xab") == 1
        assert driver.call_async("ch", "stop") == 2
        driver.reply(7, b"")
        driver.reply_success(8, True)
        assert driver.sent == ["message ch 1 ab", "message ch 2 070473746f7000",
                               "reply 7 -", "reply 8 0001"]

    def test_query_collects_rows_until_end(self, driver):
        threading.Timer(0.05, feed, (driver, "result 1 a b", "result 1 c", "result 1 end")).start()
        assert driver.query("windows", timeout=2) == [["a", "b"], ["c"]]
        assert driver.sent == ["query 1 windows"]


class TestWindowRows:
    def test_row_fields(self):
        row = ["65538", "32", "436c617373", "c3a9", "1", "0", "14cf0000", "00000100",
               "-5", "10", "795", "610"]
        window = WindowInfo.from_row(row)
        assert (window.hwnd, window.pid, window.class_name, window.title) == (
            65538, 32, "Class", "é")
        assert window.visible and not window.iconic
        assert (window.style, window.exstyle) == (0x14CF0000, 0x100)
        assert (window.width, window.height) == (800, 600)


class TestPrefixPaths:
    def test_windows_paths_map_into_the_prefix_ignoring_case(self, tmp_path, monkeypatch):
        prefix = tmp_path / "prefix"
        (prefix / "drive_c" / "users" / "root" / "AppData" / "Local").mkdir(parents=True)
        (prefix / "dosdevices").mkdir()
        (prefix / "dosdevices" / "c:").symlink_to(prefix / "drive_c")
        monkeypatch.setattr(wine, "prefix_dir", lambda: prefix)
        target = wine.linux_path(r"C:\USERS\root\appdata\LOCAL\velmo\app.log")
        assert target == prefix / "drive_c/users/root/AppData/Local/velmo/app.log"
        target.parent.mkdir()
        target.write_bytes(b"line\r\n")
        assert wine.read_file(r"c:\users\ROOT\AppData\Local\Velmo\APP.LOG") == b"line\r\n"
        with pytest.raises(ValueError):
            wine.linux_path(r"relative\path")


class TestStart:
    @pytest.mark.parametrize("exit_codes, starts, reported", [
        ((66, 3), 2, "exited with 3"),   # a loader failure is retried once
        ((66, 66), 2, "exited with 66"),  # but only once
        ((3,), 1, "exited with 3"),      # the program's own failure is not retried
    ])
    def test_only_a_loader_failure_is_started_again(self, tmp_path, monkeypatch, exit_codes,
                                                    starts, reported):
        bin_dir, count = tmp_path / "bin", tmp_path / "starts"
        bin_dir.mkdir()
        codes = " ".join(map(str, exit_codes))
        (bin_dir / "wine").write_text(
            "#!/bin/sh\necho x >> '%s'\nset -- %s\nshift $(($(wc -l < '%s') - 1))\nexit $1\n"
            % (count, codes, count))
        (bin_dir / "wine").chmod(0o755)
        exe = tmp_path / "program.exe"
        exe.write_bytes(b"")
        monkeypatch.setattr(wine, "wine_environment",
                            lambda: {"PATH": f"{bin_dir}:/usr/bin:/bin"})
        monkeypatch.setenv("PATH", f"{bin_dir}:/usr/bin:/bin")
        with pytest.raises(EngineGone, match=reported):
            Driver(exe, start_timeout=10).start()
        assert len(count.read_text().split()) == starts
