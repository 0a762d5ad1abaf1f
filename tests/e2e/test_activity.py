"""Activity detection end to end: velmo.exe answers "detect" on
"parlora/activity" from the processes running in its Wine session. Copies of
testing/idle_process (idle_process.exe) stand in for the known programs under
their executable names, alone and in mixes.

The answers count every process of the Wine session, so they hold only while
no other program whose name holds a known key (a "code" in "decoder_test.exe"
would do) runs in the same prefix."""

from __future__ import annotations

import shutil
import time

import pytest

from driver import codec

CHANNEL = "parlora/activity"
READY_TIMEOUT = 15.0
NULL_REPLY = bytes([0x00, 0x00])


def string_value(text: str) -> bytes:
    data = text.encode("utf-8")
    assert len(data) < 254
    return bytes([0x07, len(data)]) + data


def activity_reply(kind: str, name: str) -> bytes:
    """The success envelope of the two-entry map, "name" first."""
    return (bytes([0x00, 0x0D, 0x02]) + string_value("name") + string_value(name)
            + string_value("type") + string_value(kind))


@pytest.fixture
def host(start_program, bundle_dir):
    driver = start_program(bundle_dir / "velmo.exe")
    driver.wait_handler(CHANNEL)
    return driver


@pytest.fixture
def run_as(start_program, testbin_dir, tmp_path):
    """run_as(exe_name) -> Driver of an idle process running under that name,
    already in the process list."""
    idle = testbin_dir / "idle_process.exe"
    if not idle.is_file():
        pytest.skip(f"{idle} is not built")
    folder = tmp_path / "programs"
    folder.mkdir()

    def start(exe_name: str):
        copy = folder / exe_name
        shutil.copy(idle, copy)
        process = start_program(copy, connect=False)
        deadline = time.monotonic() + READY_TIMEOUT
        while "ready" not in process.stdout_text():
            assert process.running, f"{exe_name} exited\n{process.stderr_text()}"
            assert time.monotonic() < deadline, f"{exe_name} did not start"
            time.sleep(0.05)
        return process
    return start


def detect(host) -> bytes:
    return host.message(CHANNEL, codec.encode_method_call("detect"))


def case(exe_names: list[str], expected: bytes):
    return pytest.param(exe_names, expected, id="+".join(exe_names) or "nothing")


@pytest.mark.parametrize("exe_names, expected", [
    case([], NULL_REPLY),
    case(["Spotify.exe"], activity_reply("music", "Spotify")),
    case(["cs2.exe"], activity_reply("game", "Counter-Strike 2")),
    case(["DeltaForceClient-Win64-Shipping.exe"], activity_reply("game", "三角洲行动")),
    case(["StarRail.exe"], activity_reply("game", "崩坏：星穹铁道")),
    case(["CODE.EXE"], activity_reply("app", "Visual Studio Code")),
    case(["NOTEPAD.EXE", ".exe"], NULL_REPLY),
    case(["Code.exe", "Spotify.exe"], activity_reply("music", "Spotify")),
    case(["Spotify.exe", "cs2.exe", "Code.exe"], activity_reply("game", "Counter-Strike 2")),
    case(["cs2.exe", "DeltaForceClient-Win64-Shipping.exe"], activity_reply("game", "三角洲行动")),
])
def test_detect_answers_the_best_running_program(host, run_as, exe_names, expected):
    for name in exe_names:
        run_as(name)
    assert detect(host) == expected


def test_every_call_lists_the_processes_anew(host, run_as):
    assert detect(host) == NULL_REPLY
    player = run_as("Spotify.exe")
    assert detect(host) == activity_reply("music", "Spotify")
    game = run_as("cs2.exe")
    assert detect(host) == activity_reply("game", "Counter-Strike 2")
    game.close()
    assert detect(host) == activity_reply("music", "Spotify")
    player.close()
    assert detect(host) == NULL_REPLY


def test_only_detect_is_answered_and_its_arguments_are_ignored(host, run_as):
    run_as("Spotify.exe")
    for method in ("Detect", "detect ", "detectActivity"):
        assert host.message(CHANNEL, codec.encode_method_call(method)) == b"", method
    assert host.message(CHANNEL, codec.encode_method_call("detect", {"type": "game"})) == \
        activity_reply("music", "Spotify")
