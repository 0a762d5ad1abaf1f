"""Activity detection end to end: velmo.exe answers "detect" on
"parlora/activity" from the processes of its Wine session, where copies of
testing/idle_process run under known executable names. The answers hold only
while no other program whose name holds a known key runs in the prefix."""

from __future__ import annotations

import shutil
import time

import pytest

from driver import codec

CHANNEL = "parlora/activity"
READY_TIMEOUT = 15.0
NULL_REPLY = codec.encode_success(None)


def activity_reply(kind: str, name: str) -> bytes:
    """The two-entry map as the host's sorted map writes it: "name" first."""
    return codec.encode_success(codec.MapPairs([("name", name), ("type", kind)]))


@pytest.fixture
def host(start_program, bundle_dir):
    driver = start_program(bundle_dir / "velmo.exe")
    driver.wait_handler(CHANNEL)
    return driver


@pytest.fixture
def run_as(start_program, testbin_dir, tmp_path):
    """run_as(exe_name) -> an idle process already running under that name."""
    idle = testbin_dir / "idle_process.exe"
    if not idle.is_file():
        pytest.skip(f"{idle} is not built")

    def start(exe_name: str):
        copy = tmp_path / exe_name
        shutil.copy(idle, copy)
        process = start_program(copy, connect=False)
        deadline = time.monotonic() + READY_TIMEOUT
        while "ready" not in process.stdout_text():
            assert process.running, f"{exe_name} exited\n{process.stderr_text()}"
            assert time.monotonic() < deadline, f"{exe_name} did not start"
            time.sleep(0.05)
        return process
    return start


def detect(host, method: str = "detect") -> bytes:
    return host.message(CHANNEL, codec.encode_method_call(method))


@pytest.mark.parametrize("exe_names, expected", [
    (["Code.exe"], activity_reply("app", "Visual Studio Code")),
    (["DeltaForceClient-Win64-Shipping.exe"], activity_reply("game", "三角洲行动")),
    (["Code.exe", "Spotify.exe"], activity_reply("music", "Spotify")),
    (["cs2.exe", "DeltaForceClient-Win64-Shipping.exe"], activity_reply("game", "三角洲行动")),
], ids=lambda value: "+".join(value) if isinstance(value, list) else "")
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
    assert detect(host, "Detect") == b""  # only "detect" is answered
    game.close()
    assert detect(host) == activity_reply("music", "Spotify")
    player.close()
    assert detect(host) == NULL_REPLY
