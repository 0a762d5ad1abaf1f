"""The whole host under a hostile or careless Flutter side and a broken
machine: many calls on every channel with its memory flat, undecodable and
ill-typed input answered everywhere, the Flutter side vanishing mid-call, and
start-up faults that must leave every channel serving."""

from __future__ import annotations

import shutil
import struct
import time

import pytest

from driver import codec
from driver.codec import Int32, Int64
from host_helpers import app_log_path, main_window, quit_host, run_second_instance

PTT_EVENTS = "app/windows_ptt/events"

# One harmless call per method of every host channel, and the answer kind it
# must get on a machine with no audio devices. "quit" is left to the tests that
# end the host.
SERVING_CALLS = [
    ("parlora/window_style", "setTitleBarTheme", False, "success"),
    ("parlora/mic_gain", "setGain", {"gain": 1.25}, "success"),
    ("parlora/desktop_shell", "ensureTray", None, "success"),
    ("parlora/desktop_shell", "showWindow", None, "success"),
    ("app/windows_ptt/methods", "start", {"virtualKey": Int32(0x7B)}, "success"),
    ("app/windows_ptt/methods", "isListening", None, "success"),
    ("app/windows_ptt/methods", "stop", None, "success"),
    (PTT_EVENTS, "listen", None, "success"),
    (PTT_EVENTS, "cancel", None, "success"),
    ("parlora/ai_denoise", "configure", {"enabled": True, "wet": 0.5}, "success"),
    ("parlora/sidetone", "setVolume", {"volume": 0.3}, "success"),
    ("parlora/sidetone", "stop", None, "success"),
    ("parlora/activity", "detect", None, "success"),
    ("parlora/voice_overlay", "setConfig", {"enabled": True, "position": "rightTop",
                                            "scale": 1.0, "opacity": 0.8}, "success"),
    ("parlora/voice_overlay", "setSession", {"active": False}, "success"),
    ("parlora/voice_overlay", "setMembers",
     {"members": [{"name": "Ada", "speaking": True, "muted": False}]}, "success"),
]
CHANNELS = sorted({channel for channel, *_ in SERVING_CALLS})
CALLS_IN_ALL = 10_000
PIPELINE_DEPTH = 200
# Committed memory may settle after the first calls (caches, first-touch
# pages); after that, thousands of calls must not make it grow.
MEMORY_GROWTH_LIMIT = 4 * 1024 * 1024


def _string(text: bytes) -> bytes:
    return b"\x07" + bytes([len(text)]) + text


def _nested_lists(levels: int, size: int) -> bytes:
    # Each list declares as many elements as there are bytes left: the shape
    # that made decoding reserve far more than the message holds.
    body = bytearray(_string(b"setMembers"))
    for _ in range(levels):
        body += b"\x0c\xfe" + struct.pack("<H", 0xFFFF)
    body += b"\x00" * (size - len(body))
    return bytes(body)


# Bytes no well-behaved Flutter side sends: undecodable calls, sizes far beyond
# the message, nesting past any sane depth, wrong types where names belong.
HOSTILE_MESSAGES = [
    ("empty", b""),
    ("truncated call", codec.encode_method_call("setConfig", {"scale": 1.0})[:-5]),
    ("name of huge size", b"\x07\xff\xff\xff\xff\x7f" + b"x" * 16),
    ("list of huge count", _string(b"setMembers") + b"\x0c\xff\xff\xff\xff\x7f"),
    ("map of huge count", _string(b"configure") + b"\x0d\xff\xff\xff\xff\x7f"),
    ("deep nesting", _string(b"setMembers") + b"\x0c\x01" * 400 + b"\x00"),
    ("nested reservations 64 KiB", _nested_lists(60, 64 * 1024)),
    ("name not a string", codec.encode(Int32(7)) + codec.encode(None)),
    ("unknown type byte", _string(b"start") + b"\x2a"),
    ("trailing garbage", codec.encode_method_call("detect") + b"\xde\xad"),
    ("unknown method", codec.encode_method_call("noSuchMethod", {"a": 1})),
    ("case-changed method", codec.encode_method_call("Start", {"virtualKey": Int32(65)})),
]
# Arguments of every wrong shape, given to every method of every channel.
WRONG_ARGUMENTS = [None, "text", Int64(2**40), -1.5, float("nan"), [1, [2, [3]]],
                   {"virtualKey": "A", "gain": [], "volume": "loud", "members": {},
                    "enabled": Int32(1), "wet": None, "scale": "x"},
                   {Int32(1): "key not a string"}, b"\x00" * 300]
# Methods whose wrong-argument calls would end the host or block it by design.
NOT_WITH_WRONG_ARGUMENTS = {("parlora/desktop_shell", "quit"), ("parlora/sidetone", "start")}


def _answer_kind(raw: bytes) -> str:
    return codec.decode_response(raw).kind if raw else "not_implemented"


def assert_serving(driver) -> None:
    """Every channel answers its harmless calls as it should."""
    for channel, method, arguments, kind in SERVING_CALLS:
        answer = driver.call(channel, method, arguments, timeout=20)
        assert answer.kind == kind, f"{channel} {method}: {answer}"


def committed_bytes(driver) -> int:
    return int(driver.query("process")[0][0])


@pytest.fixture
def host(start_program, bundle_dir):
    def start(env=None):
        driver = start_program(bundle_dir / "velmo.exe", env=env)
        driver.wait_frame(timeout=30)
        return driver
    return start


def run_calls(driver, count: int) -> int:
    """Sends `count` calls round-robin over the serving table, keeping up to
    PIPELINE_DEPTH of them in flight; returns how many were answered."""
    answered = 0
    pending: list[int] = []
    for index in range(count):
        channel, method, arguments, _ = SERVING_CALLS[index % len(SERVING_CALLS)]
        pending.append(driver.call_async(channel, method, arguments))
        if len(pending) >= PIPELINE_DEPTH:
            for tag in pending:
                driver.wait_response(tag, timeout=60)
                answered += 1
            pending.clear()
    for tag in pending:
        driver.wait_response(tag, timeout=60)
        answered += 1
    return answered


def test_ten_thousand_calls_over_every_channel_leave_memory_flat(host):
    driver = host()
    run_calls(driver, 1_000)
    before = committed_bytes(driver)
    started = time.monotonic()
    assert run_calls(driver, CALLS_IN_ALL) == CALLS_IN_ALL
    seconds = time.monotonic() - started
    after = committed_bytes(driver)
    print(f"{CALLS_IN_ALL} calls over {len(CHANNELS)} channels in {seconds:.1f} s; "
          f"committed {before} -> {after} bytes")
    assert after - before < MEMORY_GROWTH_LIMIT
    assert_serving(driver)
    assert quit_host(driver) == 0


def test_hostile_bytes_and_wrong_arguments_are_answered_on_every_channel(host):
    driver = host()
    tried = 0
    for channel in CHANNELS:
        for name, data in HOSTILE_MESSAGES:
            raw = driver.message(channel, data, timeout=20)
            tried += 1
            if name in ("unknown method", "case-changed method"):
                assert raw == b"", f"{channel} answered {name} with {raw!r}"
        methods = sorted({m for c, m, *_ in SERVING_CALLS if c == channel})
        for method in methods:
            if (channel, method) in NOT_WITH_WRONG_ARGUMENTS:
                continue
            for arguments in WRONG_ARGUMENTS:
                answer = driver.call(channel, method, arguments, timeout=20)
                tried += 1
                assert answer.kind in ("success", "error"), f"{channel} {method}({arguments!r})"
    print(f"{tried} hostile inputs answered")
    assert driver.running
    assert_serving(driver)
    assert quit_host(driver) == 0


def test_the_flutter_side_vanishing_mid_call_leaves_the_host_working(host, bundle_dir):
    driver = host()
    for index in range(300):
        channel, method, arguments, _ = SERVING_CALLS[index % len(SERVING_CALLS)]
        driver.call_async(channel, method, arguments)
    driver.call_async("parlora/desktop_shell", "hideToTray")
    # Drop the connection while those calls are still being answered.
    driver.disconnect()
    time.sleep(2)
    assert driver.running
    # The main thread still serves the desktop: a second launch hands over
    # to it and the window comes back.
    exit_code, _ = run_second_instance(bundle_dir)
    assert exit_code == 0
    assert driver.running


def _block_preferred_logs_folder():
    """Puts a file where the logs folder belongs, so it cannot be created."""
    logs = app_log_path().parent
    aside = logs.with_name("logs.aside")
    if logs.is_dir():
        shutil.rmtree(aside, ignore_errors=True)
        logs.rename(aside)
    logs.parent.mkdir(parents=True, exist_ok=True)
    logs.write_text("not a folder")

    def restore():
        logs.unlink()
        if aside.is_dir():
            aside.rename(logs)
    return restore


@pytest.mark.parametrize("fault", ["unwritable logs folder", "no audio endpoints",
                                   "unreachable avatar server"])
def test_every_channel_serves_despite_a_broken_machine(host, fault):
    restore = None
    env = {}
    if fault == "unwritable logs folder":
        restore = _block_preferred_logs_folder()
    elif fault == "no audio endpoints":
        env["PULSE_SERVER"] = "unix:/nonexistent/velmo-no-sound"
    try:
        driver = host(env)
        if fault == "no audio endpoints":
            answer = driver.call("parlora/sidetone", "start", {"volume": 0.5}, timeout=30)
            assert answer.is_success and answer.value is False
        if fault == "unreachable avatar server":
            members = [{"name": f"M{n}", "speaking": n % 2 == 0,
                        "avatarUrl": f"http://127.0.0.1:9/{n}.png"} for n in range(16)]
            started = time.monotonic()
            assert driver.call("parlora/voice_overlay", "setMembers", {"members": members},
                               timeout=60).is_success
            print(f"setMembers with 16 unreachable avatars took {time.monotonic() - started:.2f} s")
        assert_serving(driver)
        assert main_window(driver).visible
        assert quit_host(driver) == 0
    finally:
        if restore is not None:
            restore()
