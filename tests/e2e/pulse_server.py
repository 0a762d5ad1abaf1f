"""A user-mode PulseAudio for tests and demos that need sound under Wine: its
own socket and runtime folder, null sinks Wine offers as endpoints, and the
pulse tools pointed at it. Wine programs reach it through `Pulse.env`."""

from __future__ import annotations

import contextlib
import math
import os
import shutil
import signal
import struct
import subprocess
import time
from pathlib import Path

RECORD_RATE = 48000

# The microphone (44.1 kHz mono) listens to "tone_in"; sidetone plays on the
# stereo 48 kHz "monitor_out" by default. For latency, "bus" carries the input
# burst on its left channel, which "bus_mic" hears, and sidetone's output on
# its right channel through "sidetone_out", so one recording holds both.
# "surround_out" is a 5.1 output.
CONFIG = """\
load-module module-native-protocol-unix auth-anonymous=1 socket={socket}
load-module module-null-sink sink_name=tone_in rate=44100 channels=1
load-module module-remap-source source_name=mic master=tone_in.monitor rate=44100 channels=1
load-module module-null-sink sink_name=monitor_out rate=48000 channels=2
load-module module-null-sink sink_name=bus rate=48000 channels=2
load-module module-null-sink sink_name=surround_out rate=48000 channels=6 \
channel_map={surround_map}
load-module module-remap-source source_name=bus_mic master=bus.monitor channels=1 \
master_channel_map=front-left channel_map=mono
load-module module-remap-sink sink_name=sidetone_out master=bus channels=1 \
master_channel_map=front-right channel_map=mono
set-default-source mic
set-default-sink monitor_out
"""
SURROUND_MAP = "front-left,front-right,front-center,lfe,rear-left,rear-right"
TOOLS = ("pulseaudio", "pactl", "pacat", "parec")


def tone(seconds: float, rate: int, amplitude: float, hz: float) -> list[float]:
    return [amplitude * math.sin(2 * math.pi * hz * i / rate)
            for i in range(int(seconds * rate))]


def float_bytes(samples: list[float]) -> bytes:
    return struct.pack(f"<{len(samples)}f", *samples)


class Pulse:
    """The module's sound server and the pulse tools pointed at it."""

    def __init__(self, folder: Path, config_text: str = CONFIG):
        self.folder = folder
        runtime = folder / "runtime"
        self.env = {"PULSE_SERVER": f"unix:{folder / 'native'}",
                    "XDG_RUNTIME_DIR": str(runtime), "HOME": str(folder)}
        shutil.rmtree(folder, ignore_errors=True)
        runtime.mkdir(parents=True)
        runtime.chmod(0o700)
        config = folder / "sidetone.pa"
        config.write_text(config_text.format(socket=folder / "native", surround_map=SURROUND_MAP))
        self.log = (folder / "pulseaudio.log").open("w")
        self.server = subprocess.Popen(
            ["pulseaudio", "-n", "-F", str(config), "--daemonize=no", "--exit-idle-time=-1",
             "--log-target=stderr"],
            env=self.tool_env(), stdout=self.log, stderr=subprocess.STDOUT,
            start_new_session=True)
        deadline = time.monotonic() + 15
        while self.pactl("info").returncode != 0:
            if self.server.poll() is not None or time.monotonic() > deadline:
                self.close()
                log = (folder / "pulseaudio.log").read_text()
                raise RuntimeError(f"pulseaudio did not come up: {log}")
            time.sleep(0.1)

    def tool_env(self) -> dict[str, str]:
        return dict(os.environ, **self.env)

    def pactl(self, *args: str) -> subprocess.CompletedProcess:
        return subprocess.run(["pactl", *args], env=self.tool_env(), capture_output=True,
                              text=True, timeout=15)

    def set_defaults(self, source: str, sink: str) -> None:
        assert self.pactl("set-default-source", source).returncode == 0
        assert self.pactl("set-default-sink", sink).returncode == 0

    def remove_microphone(self) -> None:
        """Unloads the default microphone, as unplugging it would."""
        modules = self.pactl("list", "short", "modules").stdout.splitlines()
        index = next(line.split("\t")[0] for line in modules
                     if "module-remap-source" in line and "source_name=mic " in line)
        assert self.pactl("unload-module", index).returncode == 0

    def restore_microphone(self) -> None:
        assert self.pactl("load-module", "module-remap-source", "source_name=mic",
                          "master=tone_in.monitor", "rate=44100", "channels=1").returncode == 0
        assert self.pactl("set-default-source", "mic").returncode == 0

    @contextlib.contextmanager
    def frozen(self):
        """The sound server stopped in its tracks: every request to it waits, as
        behind a driver that hangs."""
        os.killpg(self.server.pid, signal.SIGSTOP)
        try:
            yield
        finally:
            os.killpg(self.server.pid, signal.SIGCONT)

    def play(self, sink: str, samples: list[float], rate: int, channels: int) -> None:
        subprocess.run(["pacat", "--playback", f"--device={sink}", f"--rate={rate}",
                        f"--channels={channels}", "--format=float32le"],
                       input=float_bytes(samples), env=self.tool_env(), check=True,
                       timeout=30 + len(samples) / rate)

    def record(self, source: str, channels: int, latency_ms: int = 10,
               channel_map: str | None = None) -> "Recording":
        return Recording(self, source, channels, latency_ms, channel_map)

    def close(self) -> None:
        if self.server.poll() is None:
            os.killpg(self.server.pid, signal.SIGTERM)
            try:
                self.server.wait(10)
            except subprocess.TimeoutExpired:
                os.killpg(self.server.pid, signal.SIGKILL)
                self.server.wait()
        self.log.close()


class Recording:
    """parec of one source at 48 kHz float, from creation to stop(), as one
    list of samples per channel."""

    def __init__(self, pulse: Pulse, source: str, channels: int, latency_ms: int,
                 channel_map: str | None = None):
        self.channels = channels
        self.path = pulse.folder / f"{source}.raw"
        # The source's own map, where given, so the recording is not remixed.
        mapping = [f"--channel-map={channel_map}"] if channel_map else []
        self.process = subprocess.Popen(
            ["parec", f"--device={source}", f"--rate={RECORD_RATE}", f"--channels={channels}",
             "--format=float32le", f"--latency-msec={latency_ms}", *mapping],
            stdout=self.path.open("wb"), env=pulse.tool_env())
        time.sleep(0.3)

    def heard(self, level: float) -> bool:
        """Whether the recording so far holds a sample beyond `level`."""
        data = self.path.read_bytes()
        count = len(data) // 4
        return any(abs(x) > level for x in struct.unpack(f"<{count}f", data[:count * 4]))

    def stop(self) -> list[list[float]]:
        time.sleep(0.3)
        self.process.terminate()
        self.process.wait(10)
        data = self.path.read_bytes()
        count = len(data) // 4 // self.channels * self.channels
        samples = struct.unpack(f"<{count}f", data[:count * 4])
        return [list(samples[c::self.channels]) for c in range(self.channels)]
