"""Push-to-talk end to end: velmo.exe watches a key system-wide while another
process's window (testing/key_window) has the focus: real X key presses from
xdotool that must still reach that window, a key held past auto-repeat, keys
injected with SendInput, a key held while the host quits, and the
press-to-event latency over many presses."""

from __future__ import annotations

import shutil
import statistics
import subprocess
import time

import pytest

from driver import codec, wine
from host_helpers import quit_host

METHODS = "app/windows_ptt/methods"
EVENTS = "app/windows_ptt/events"
VK_A, SCAN_A = 0x41, 0x1E
KEY_WINDOW_TITLE = "Velmo key window"
HOLD_SECONDS = 2.0
LATENCY_PRESSES = 100
# Between a release and the next press, as a quick typist would leave.
PRESS_GAP_SECONDS = 0.05
EVENT_TIMEOUT = 10.0
POLL_SECONDS = 0.05
# Long enough for a wrongly reported event to have arrived.
SETTLE_SECONDS = 0.3

DOWN_A = ("keyDown", VK_A, SCAN_A, False)
UP_A = ("keyUp", VK_A, SCAN_A, False)


def key_events(driver, after: int = 0) -> list[tuple[str, int, int, bool]]:
    """The push-to-talk events the host sent, as (type, virtualKey, scanCode,
    injected); each must be a success envelope of the four-entry map."""
    events = []
    for send in driver.sends(EVENTS, after):
        assert send.tag == 0, "events are sent without a reply"
        response = codec.decode_response(send.data)
        assert response.is_success
        value = response.value
        assert sorted(value) == ["injected", "scanCode", "type", "virtualKey"]
        assert isinstance(value["virtualKey"], codec.Int32)
        assert isinstance(value["scanCode"], codec.Int32)
        events.append((value["type"], int(value["virtualKey"]), int(value["scanCode"]),
                       value["injected"]))
    return events


def wait_events(driver, count: int, after: int = 0) -> list[tuple[str, int, int, bool]]:
    driver.wait_for("send", lambda e: len(key_events(driver, after)) >= count,
                    timeout=EVENT_TIMEOUT, after=after)
    return key_events(driver, after)


class KeyWindow:
    """key_window.exe with its window focused: the keys it received."""

    def __init__(self, driver):
        self.driver = driver

    def lines(self) -> list[str]:
        return [line for line in self.driver.stdout_text().splitlines()
                if line.startswith(("down ", "up "))]

    def wait_lines(self, count: int) -> list[str]:
        deadline = time.monotonic() + EVENT_TIMEOUT
        while len(self.lines()) < count and time.monotonic() < deadline:
            time.sleep(POLL_SECONDS)
        return self.lines()


@pytest.fixture
def host(start_program, bundle_dir):
    """velmo.exe with the Flutter side listening and "A" watched."""
    if shutil.which("xdotool") is None:
        pytest.skip("xdotool is not installed: no real key presses on this machine")
    driver = start_program(bundle_dir / "velmo.exe")
    driver.wait_frame()
    assert driver.message(EVENTS, codec.encode_method_call("listen")) == bytes([0x00, 0x00])
    assert driver.call(METHODS, "start", {"virtualKey": codec.Int32(VK_A)}).value is True
    return driver


@pytest.fixture
def key_window(host, start_program, testbin_dir) -> KeyWindow:
    """Another process's window, holding the X focus (real key events reach a
    low-level hook only while a Wine window has it)."""
    driver = start_program(testbin_dir / "key_window.exe", connect=False)
    deadline = time.monotonic() + EVENT_TIMEOUT
    while True:
        assert driver.running and time.monotonic() < deadline, driver.stderr_text()
        # Until its window is shown, focusing it fails.
        if "ready" in driver.stdout_text().split():
            try:
                wine.focus(wine.x_windows(f"^{KEY_WINDOW_TITLE}$")[-1])
                break
            except (IndexError, subprocess.CalledProcessError):
                pass
        time.sleep(POLL_SECONDS)
    return KeyWindow(driver)


def test_real_presses_are_reported_and_still_reach_the_focused_window(host, key_window):
    mark = host.mark()
    wine.key("a", "b", "a")
    wine.key("alt+a")  # WM_SYSKEYDOWN/UP: a press like any other
    assert wait_events(host, 6, mark) == [DOWN_A, UP_A] * 3
    time.sleep(SETTLE_SECONDS)
    assert len(key_events(host, mark)) == 6, "the unwatched key was reported"

    # Nothing is swallowed: the other process's window got every key.
    expected = ["down 41 1E", "up 41 1E", "down 42 30", "up 42 30", "down 41 1E", "up 41 1E",
                "down 12 38", "down 41 1E", "up 12 38", "up 41 1E"]
    lines = key_window.wait_lines(len(expected))
    # xdotool may release the modifier or the key first.
    assert lines[:8] == expected[:8]
    assert sorted(lines[8:]) == sorted(expected[8:])


def test_key_held_two_seconds_yields_one_key_down(host, key_window):
    mark = host.mark()
    wine.key_down("a")
    try:
        time.sleep(HOLD_SECONDS)
    finally:
        wine.key_up("a")
    assert wait_events(host, 2, mark) == [DOWN_A, UP_A]
    time.sleep(SETTLE_SECONDS)
    assert len(key_events(host, mark)) == 2
    # The system did repeat the key (about 660 ms, then every 40 ms), and
    # every repeat reached the focused window.
    downs = [line for line in key_window.wait_lines(2) if line == "down 41 1E"]
    assert len(downs) > 10


def test_send_input_from_another_process_is_reported_injected(host, testbin_dir):
    mark = host.mark()
    sender = subprocess.run(["wine", str(testbin_dir / "key_window.exe"), "send",
                             f"{VK_A:X}", f"{SCAN_A:X}"], cwd=testbin_dir,
                            env=wine.wine_environment(), capture_output=True, text=True,
                            timeout=60)
    assert (sender.returncode, sender.stdout.strip()) == (0, "sent"), sender.stderr
    assert wait_events(host, 2, mark) == [("keyDown", VK_A, SCAN_A, True),
                                          ("keyUp", VK_A, SCAN_A, True)]


def test_key_held_while_the_host_quits_gets_its_key_up(host, key_window):
    mark = host.mark()
    wine.key_down("a")
    try:
        assert wait_events(host, 1, mark) == [DOWN_A]
        assert quit_host(host) == 0
    finally:
        wine.key_up("a")
    assert key_events(host, mark) == [DOWN_A, UP_A]


def test_press_to_event_latency(host, key_window):
    """Times each press, from handing it to a running xdotool (which reads
    its commands from stdin, so no process start is counted) to the "keyDown"
    line at the driver. The figures go to out/ptt/latency.txt."""
    xdotool = subprocess.Popen(["xdotool", "-"], stdin=subprocess.PIPE, text=True,
                               env=wine.wine_environment(), stdout=subprocess.DEVNULL)
    latencies = []
    mark = host.mark()
    try:
        for _ in range(LATENCY_PRESSES):
            time.sleep(PRESS_GAP_SECONDS)
            before = host.mark()
            started = time.monotonic()
            xdotool.stdin.write("keydown a\n")
            xdotool.stdin.flush()
            down = host.wait_for("send", lambda e: e.fields[0] == EVENTS,
                                 timeout=EVENT_TIMEOUT, after=before)
            latencies.append(down.time - started)
            before = host.mark()
            xdotool.stdin.write("keyup a\n")
            xdotool.stdin.flush()
            host.wait_for("send", lambda e: e.fields[0] == EVENTS, timeout=EVENT_TIMEOUT,
                          after=before)
    finally:
        xdotool.stdin.close()
        xdotool.wait(timeout=30)
    assert key_events(host, mark) == [DOWN_A, UP_A] * LATENCY_PRESSES

    median_ms = statistics.median(latencies) * 1000
    worst_ms = max(latencies) * 1000
    report = (f"press-to-event latency over {LATENCY_PRESSES} xdotool presses: "
              f"median {median_ms:.1f} ms, worst {worst_ms:.1f} ms\n")
    out = wine.ROOT / "out" / "ptt"
    out.mkdir(parents=True, exist_ok=True)
    (out / "latency.txt").write_text(report)
    print(report, end="")
