"""Microphone gain end to end: "parlora/mic_gain" on a test host that has only
that channel, beside the stand-in WebRTC plug-in. The plug-in's behaviour is
chosen per test through its environment; on request it runs known blocks
through the installed processor and writes what went in and came out."""

from __future__ import annotations

import math
import struct
import time
from dataclasses import dataclass
from pathlib import Path

import pytest

from driver import codec, wine

CHANNEL = "parlora/mic_gain"
SUCCESS_TRUE = bytes([0x00, 0x01])
LOG_WORDS = ("mic_gain_webrtc_plugin_null", "mic_gain_audio_processing_null",
             "mic_gain_post_processing_installed", "mic_gain_post_processing_install_failed")
CAPTURE_TIMEOUT = 15.0


def string_value(text: str) -> bytes:
    data = text.encode()
    return bytes([0x07, len(data)]) + data


EXPECTED_MAP_ERROR = (bytes([0x01]) + string_value("invalid_argument")
                      + string_value("Expected a map.") + bytes([0x00]))


def f32(value: float) -> float:
    return struct.unpack("<f", struct.pack("<f", value))[0]


def windows_path(path: Path) -> str:
    return "Z:" + str(path).replace("/", "\\")


class LogTail:
    """The mic gain lines app.log gains after creation, wherever the host
    chose to put the logs directory."""

    def __init__(self, testbin_dir: Path):
        self.paths = [wine.local_appdata_dir() / "Velmo" / "logs" / "app.log",
                      testbin_dir / "logs" / "app.log"]
        self.offsets = {p: (p.stat().st_size if p.exists() else 0) for p in self.paths}

    def words(self) -> list[str]:
        words = []
        for path in self.paths:
            if not path.exists():
                continue
            with path.open("rb") as log:
                log.seek(self.offsets[path])
                text = log.read().decode("utf-8", errors="replace")
            for line in text.splitlines():
                words += [w for w in line.split() if w in LOG_WORDS]
        return words


@dataclass
class Block:
    frames: int
    size: int
    null_buffer: bool
    samples_in: list[float]
    samples_out: list[float]


@dataclass
class Capture:
    hook_installed: bool
    references: int
    setter_calls: int
    blocks: list[Block]


def parse_capture(text: str) -> Capture:
    lines = text.splitlines()
    assert lines[-1] == "end", "capture result incomplete"
    head = dict(line.split(" ", 1) for line in lines[:3])
    blocks: list[Block] = []
    for line in lines[3:-1]:
        kind, _, rest = line.partition(" ")
        if kind == "block":
            frames, size, null = (int(f) for f in rest.split())
            blocks.append(Block(frames, size, null == 1, [], []))
        elif kind == "in":
            blocks[-1].samples_in = [f32(float(f)) for f in rest.split()]
        elif kind == "out":
            blocks[-1].samples_out = [f32(float(f)) for f in rest.split()]
    return Capture(head["hook"] == "installed", int(head["references"]),
                   int(head["setter_calls"]), blocks)


class GainHost:
    """A running test host with its capture folder and log tail."""

    def __init__(self, driver, capture_dir: Path, log: LogTail):
        self.driver = driver
        self.capture_dir = capture_dir
        self.log = log
        self.captures = 0

    def set_gain_raw(self, arguments) -> bytes:
        return self.driver.message(CHANNEL, codec.encode_method_call("setGain", arguments))

    def set_gain(self, value) -> None:
        assert self.set_gain_raw({"gain": value}) == SUCCESS_TRUE

    def capture(self) -> Capture:
        """Asks the plug-in to run its known blocks through the hook now."""
        self.captures += 1
        name = f"result-{self.captures}.txt"
        request = self.capture_dir / "capture.request.tmp"
        request.write_text(name + "\n")
        request.rename(self.capture_dir / "capture.request")
        result = self.capture_dir / name
        deadline = time.monotonic() + CAPTURE_TIMEOUT
        while not result.exists():
            assert self.driver.running, "host exited\n" + self.driver.stderr_text()
            assert time.monotonic() < deadline, "the plug-in ran no capture"
            time.sleep(0.05)
        return parse_capture(result.read_text())


@pytest.fixture
def gain_host(start_program, testbin_dir, tmp_path):
    """gain_host(mode="accepting", ready_file=None) -> GainHost, started with
    its channel handler in place."""
    def start(mode: str = "accepting", ready_file: Path | None = None) -> GainHost:
        capture_dir = tmp_path / "capture"
        capture_dir.mkdir()
        env = {"VELMO_WEBRTC_STAND_IN": mode,
               "VELMO_WEBRTC_CAPTURE_DIR": windows_path(capture_dir)}
        if ready_file is not None:
            env["VELMO_WEBRTC_READY_FILE"] = windows_path(ready_file)
        # velmo.exe writes the same log words into the same app.log: taking
        # turns with its tests keeps the lines read here our own.
        driver = start_program(testbin_dir / "mic_gain_host.exe", env=env, host_instance=True)
        log = LogTail(testbin_dir)
        driver.wait_handler(CHANNEL)
        return GainHost(driver, capture_dir, log)
    return start


def assert_scaled(capture: Capture, gain: float) -> None:
    """Every block as the processor must leave it at this gain: the first
    min(frames, size) samples times the gain when frames and size are
    positive and the gain is not within 0.001 of one; everything else as it
    went in."""
    assert capture.hook_installed
    assert [b.frames for b in capture.blocks] == [480, 480, 100, 0, 480, -1, 480]
    factor = f32(gain)
    for block in capture.blocks:
        if block.null_buffer:
            continue
        assert len(block.samples_in) == len(block.samples_out) == 480
        scaled = (min(block.frames, block.size)
                  if block.frames > 0 and block.size > 0 and abs(factor - 1) >= 0.001 else 0)
        expected = [f32(x * factor) if i < scaled else x
                    for i, x in enumerate(block.samples_in)]
        assert block.samples_out == expected, (
            f"block frames={block.frames} size={block.size} at gain {gain}")


class TestReplies:
    def test_set_gain_answers_true(self, gain_host):
        host = gain_host()
        assert host.set_gain_raw({"gain": 1.5}) == SUCCESS_TRUE
        assert host.set_gain_raw({"gain": codec.Int32(2)}) == SUCCESS_TRUE
        assert host.set_gain_raw({}) == SUCCESS_TRUE

    def test_arguments_that_are_not_a_map_are_rejected_and_change_nothing(self, gain_host):
        host = gain_host()
        host.set_gain(0.5)
        for arguments in (None, [1.5], 1.5, codec.Int32(2), "gain", codec.MapPairs()):
            reply = host.set_gain_raw(arguments)
            if isinstance(arguments, codec.MapPairs):
                assert reply == SUCCESS_TRUE
                host.set_gain(0.5)
            else:
                assert reply == EXPECTED_MAP_ERROR, repr(arguments)
        assert_scaled(host.capture(), 0.5)

    def test_other_methods_are_not_implemented(self, gain_host):
        host = gain_host()
        for method in ("SetGain", "setgain", "getGain", "setGain2", ""):
            reply = host.driver.message(CHANNEL, codec.encode_method_call(method, {"gain": 1.5}))
            assert reply == b"", method
        assert host.log.words() == []
        assert not host.capture().hook_installed


class TestInstallation:
    def test_first_qualifying_gain_installs_once_and_scales_blocks(self, gain_host):
        host = gain_host()
        host.set_gain(1.5)
        assert host.log.words() == ["mic_gain_post_processing_installed"]
        capture = host.capture()
        assert (capture.references, capture.setter_calls) == (0, 1)
        assert_scaled(capture, 1.5)

        for value in (0.7, 1.0, 2.0):
            host.set_gain(value)
        capture = host.capture()
        assert capture.setter_calls == 1
        assert host.log.words() == ["mic_gain_post_processing_installed"]
        assert_scaled(capture, 2.0)

    def test_unity_and_unusable_values_attempt_no_installation(self, gain_host):
        host = gain_host()
        for arguments in ({}, {"gain": "1.5"}, {"gain": 1.0005}, {"gain": 0.9995},
                          {"gain": codec.Int64(2)}, {"gain": True}, {"gain": None},
                          {"gain": math.nan}, {"gain": codec.Int32(1)}):
            assert host.set_gain_raw(arguments) == SUCCESS_TRUE, repr(arguments)
        assert host.log.words() == []
        assert not host.capture().hook_installed

    def test_plugin_available_later_is_installed_on_a_later_call(self, gain_host, tmp_path):
        ready = tmp_path / "plugin-ready"
        host = gain_host(ready_file=ready)
        host.set_gain(1.5)
        assert host.log.words() == ["mic_gain_webrtc_plugin_null"]
        host.set_gain(1.0)
        assert host.log.words() == ["mic_gain_webrtc_plugin_null"]

        ready.touch()
        host.set_gain(1.2)
        host.set_gain(0.8)
        host.set_gain(1.6)
        assert host.log.words() == ["mic_gain_webrtc_plugin_null",
                                    "mic_gain_post_processing_installed"]
        capture = host.capture()
        assert capture.setter_calls == 1
        assert_scaled(capture, 1.6)

    def test_missing_plugin_is_retried_on_each_qualifying_call(self, gain_host):
        host = gain_host(mode="no_instance")
        host.set_gain(1.5)
        host.set_gain(1.0)
        host.set_gain(0.5)
        assert host.log.words() == ["mic_gain_webrtc_plugin_null"] * 2

    def test_failing_installation_is_logged_and_retried(self, gain_host):
        host = gain_host(mode="throw_once")
        host.set_gain(1.5)
        assert host.log.words() == ["mic_gain_post_processing_install_failed"]
        capture = host.capture()
        assert not capture.hook_installed
        assert capture.references == 0

        host.set_gain(1.2)
        host.set_gain(0.5)
        assert host.log.words() == ["mic_gain_post_processing_install_failed",
                                    "mic_gain_post_processing_installed"]
        capture = host.capture()
        assert (capture.references, capture.setter_calls) == (0, 2)
        assert_scaled(capture, 0.5)

    def test_missing_audio_processing_is_retried_and_never_installs(self, gain_host):
        host = gain_host(mode="no_audio_processing")
        host.set_gain(1.5)
        host.set_gain(1.2)
        assert host.log.words() == ["mic_gain_audio_processing_null"] * 2
        capture = host.capture()
        assert not capture.hook_installed
        assert capture.references == 0


class TestSamples:
    def test_values_clamp_into_zero_to_two(self, gain_host):
        host = gain_host()
        for sent, applied in ((codec.Int32(2), 2.0), (3.5, 2.0), (math.inf, 2.0),
                              (0.25, 0.25), (-math.inf, 0.0), (-0.5, 0.0)):
            host.set_gain(sent)
            assert_scaled(host.capture(), applied)

    def test_near_unity_and_nan_leave_installed_blocks_unchanged(self, gain_host):
        host = gain_host()
        host.set_gain(1.5)
        for arguments in ({"gain": 1.0005}, {"gain": math.nan}, {}, {"gain": "0.5"}):
            assert host.set_gain_raw(arguments) == SUCCESS_TRUE
            capture = host.capture()
            assert_scaled(capture, 1.0)
            assert capture.blocks[0].samples_out == capture.blocks[0].samples_in
        assert host.log.words() == ["mic_gain_post_processing_installed"]
