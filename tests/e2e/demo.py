"""The host shown working: starts the real velmo.exe under Wine with the test
driver playing the Flutter side and drives every feature through its
channel: the window frame light and dark, microphone gain, the denoiser's
settings, activity detection, push-to-talk with real key presses, the tray
(close request, hide, menu, restore, second launch), the voice overlay over a
full-screen window, sidetone where a sound server runs, then quits through
the tray's "quit". Leaves screenshots, the channel traffic, the raw protocol
transcript and a summary in the folder given (default out/demo).

    python3 tests/e2e/demo.py [out/demo]
"""

from __future__ import annotations

import os
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
sys.path.insert(0, str(Path(__file__).resolve().parent))

from driver import Driver, codec, wine  # noqa: E402
import demo_scenes  # noqa: E402
from pulse_server import Pulse  # noqa: E402
from host_helpers import PLUGIN_REGISTRARS, app_log_lines, main_window, quit_host  # noqa: E402


# The run is recorded for a person to watch: each new section and each
# screenshot stays on the screen this long.
HOLD_SECONDS = 3.0


def folder(variable: str, default: str) -> Path:
    return Path(os.environ.get(variable) or wine.ROOT / default)


class Demo:
    def __init__(self, out: Path):
        self.out = out
        self.traffic: list[str] = []
        self.shots: list[str] = []

    def say(self, text: str) -> None:
        print(text, flush=True)
        if not text.startswith(" "):
            time.sleep(HOLD_SECONDS)

    def _numbered(self, name: str) -> str:
        return f"{len(self.shots) + 1:02d}-{name}"

    def shot(self, driver: Driver, name: str, caption: str) -> None:
        """The main window's rectangle."""
        name = self._numbered(name)
        path = driver.screenshot(self.out / name, main_window(driver).hwnd)
        self.shots.append(f"{name}: {caption}")
        self.say(f"  screenshot {path}")
        time.sleep(HOLD_SECONDS)

    def screen_shot(self, name: str, caption: str, crop=None) -> None:
        """The whole screen, or the part of it given as (left, top, right,
        bottom)."""
        name = self._numbered(name)
        path = wine.screenshot(self.out / name, crop)
        self.shots.append(f"{name}: {caption}")
        self.say(f"  screenshot {path}")
        time.sleep(HOLD_SECONDS)

    def note(self, line: str) -> None:
        self.traffic.append(line)
        self.say("  " + line)

    def call(self, driver: Driver, channel: str, method: str, arguments=None):
        answer = driver.call(channel, method, arguments)
        shown = {"success": f"success {answer.value!r}",
                 "error": f"error {answer.code} {answer.message!r}",
                 "not_implemented": "not implemented"}.get(answer.kind, answer.kind)
        line = f"Flutter -> {channel} {method}({arguments!r})  =>  {shown}"
        self.traffic.append(line)
        self.say("  " + line)
        return answer


def main() -> int:
    out = Path(sys.argv[1] if len(sys.argv) > 1 else "out/demo")
    out.mkdir(parents=True, exist_ok=True)
    for old in out.glob("*.png"):
        old.unlink()
    bundle = folder("VELMO_BUNDLE_DIR", "build/windows/bundle")
    testbin = folder("VELMO_TESTBIN_DIR", "build/windows/testbin")
    exe = bundle / "velmo.exe"
    if not exe.is_file():
        print(f"demo: {exe} is not built (cmake --preset windows && cmake --build --preset windows)",
              file=sys.stderr)
        return 1

    wine.prepare_session()
    log_lines_before = len([line for line in app_log_lines() if line])
    demo = Demo(out)
    demo.say(f"Starting {exe} under Wine (prefix {wine.prefix_dir()}, display {wine.display()})")
    started = time.monotonic()
    try:
        pulse = Pulse(Path(tempfile.mkdtemp(prefix="velmo-demo-pulse-")))
    except (OSError, RuntimeError) as error:
        demo.say(f"  no sound server for sidetone: {error}")
        pulse = None
    driver = Driver(exe, ["--demo"], env=pulse.env if pulse else None,
                    transcript=out / "transcript.txt")
    try:
        driver.start()
        driver.wait_frame(timeout=30)
        first_frame = time.monotonic() - started
        window = main_window(driver)
        demo.say(f"  first frame after {first_frame:.2f} s; window '{window.title}' "
                 f"{window.width}x{window.height} at ({window.left}, {window.top}), "
                 f"visible={window.visible}")
        demo.say(f"  plug-ins registered: {', '.join(driver.registrars())}")
        demo.say(f"  entry-point arguments: {driver.hello_args}")
        demo.shot(driver, "started.png", "the window after its first frame (dark frame)")

        demo.say("Frame theme (Wine draws its own frame: the attributes are set, the look stays)")
        demo.call(driver, "parlora/window_style", "setTitleBarTheme", False)
        demo.shot(driver, "light-frame.png", "after setTitleBarTheme(false)")
        demo.call(driver, "parlora/window_style", "setTitleBarTheme", True)
        demo.shot(driver, "dark-frame.png", "after setTitleBarTheme(true)")
        demo.call(driver, "parlora/window_style", "setTitleBarTheme", codec.Int32(1))

        demo.say("Microphone gain and the denoiser's settings (the denoising hook stays off)")
        demo.call(driver, "parlora/mic_gain", "setGain", {"gain": 1.5})
        demo.call(driver, "parlora/mic_gain", "setGain", "loud")
        demo.call(driver, "parlora/ai_denoise", "configure", {"enabled": True, "wet": 0.8})

        demo_scenes.activity(demo, driver, testbin)
        demo_scenes.push_to_talk(demo, driver)
        demo_scenes.tray(demo, driver, bundle)
        demo_scenes.overlay(demo, driver, testbin)
        demo_scenes.sidetone(demo, driver, pulse)

        demo.say("Quit through the desktop shell (what the tray menu's quit item does)")
        exit_code = quit_host(driver)
        demo.say(f"  velmo.exe exited with {exit_code}; tray icon left: "
                 f"{bool(wine.x_windows('Wine System Tray', only_visible=True))}")
    finally:
        driver.close()
        if pulse is not None:
            pulse.close()

    log_tail = [line for line in app_log_lines() if line][log_lines_before:]
    (out / "channel-traffic.txt").write_text("\n".join(demo.traffic) + "\n")
    (out / "summary.txt").write_text("\n".join([
        f"velmo.exe first frame after {first_frame:.2f} s",
        f"plug-ins in order: {', '.join(PLUGIN_REGISTRARS)}",
        "screenshots:", *("  " + s for s in demo.shots),
        "channel traffic:", *("  " + line for line in demo.traffic),
        "app.log lines of this run (the second launch logs its start too):", *("  " + line for line in log_tail),
        f"exit code: {exit_code}",
    ]) + "\n")
    demo.say(f"Done: screenshots, channel-traffic.txt, transcript.txt and summary.txt in {out}")
    return 0 if exit_code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
