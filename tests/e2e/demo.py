"""The host shown working: starts the real velmo.exe under Wine with the test
driver playing the Flutter side, switches the window frame light and dark,
sets a microphone gain, hides the window to the tray and brings it back with
a second launch, then quits. Leaves screenshots, the channel traffic and the
raw protocol transcript in the folder given (default out/demo).

    python3 tests/e2e/demo.py [out/demo]
"""

from __future__ import annotations

import os
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
sys.path.insert(0, str(Path(__file__).resolve().parent))

from driver import Driver, codec, wine  # noqa: E402
from host_helpers import (PLUGIN_REGISTRARS, app_log_lines, main_window,  # noqa: E402
                          quit_host, run_second_instance, run_tool, wait_main_window)


def folder(variable: str, default: str) -> Path:
    return Path(os.environ.get(variable) or wine.ROOT / default)


class Demo:
    def __init__(self, out: Path):
        self.out = out
        self.traffic: list[str] = []
        self.shots: list[str] = []

    def say(self, text: str) -> None:
        print(text, flush=True)

    def shot(self, driver: Driver, name: str, caption: str) -> None:
        window = main_window(driver)
        path = driver.screenshot(self.out / name, window.hwnd)
        self.shots.append(f"{name}: {caption}")
        self.say(f"  screenshot {path}")

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
    driver = Driver(exe, ["--demo"], transcript=out / "transcript.txt")
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
        demo.shot(driver, "01-started.png", "the window after its first frame (dark frame)")

        demo.say("Frame theme (Wine draws its own frame: the attributes are set, the look stays)")
        demo.call(driver, "parlora/window_style", "setTitleBarTheme", False)
        demo.shot(driver, "02-light-frame.png", "after setTitleBarTheme(false)")
        demo.call(driver, "parlora/window_style", "setTitleBarTheme", True)
        demo.shot(driver, "03-dark-frame.png", "after setTitleBarTheme(true)")
        demo.call(driver, "parlora/window_style", "setTitleBarTheme", codec.Int32(1))
        demo.call(driver, "parlora/window_style", "getTitleBarTheme")

        demo.say("Microphone gain")
        demo.call(driver, "parlora/mic_gain", "setGain", {"gain": 1.5})
        demo.call(driver, "parlora/mic_gain", "setGain", {"gain": 1.0})
        demo.call(driver, "parlora/mic_gain", "setGain", "loud")
        demo.shot(driver, "04-gain.png", "after the gain calls")

        tool = testbin / "window_tool.exe"
        if tool.is_file():
            demo.say("Second launch while the window is hidden in the tray")
            run_tool(testbin, "window_tool.exe", "to-tray", window.hwnd)
            demo.say(f"  hidden: visible={main_window(driver).visible}")
            exit_code, seconds = run_second_instance(bundle)
            restored = wait_main_window(driver, lambda w: w.visible)
            demo.say(f"  second velmo.exe exited with {exit_code} after {seconds:.2f} s; "
                     f"first window visible={restored.visible}")
            demo.shot(driver, "05-restored.png", "brought back by a second launch")

        demo.say("Quit (the tray's quit posts WM_QUIT)")
        exit_code = quit_host(driver)
        demo.say(f"  velmo.exe exited with {exit_code}")
    finally:
        driver.close()

    log_tail = [line for line in app_log_lines() if line][log_lines_before:]
    (out / "channel-traffic.txt").write_text("\n".join(demo.traffic) + "\n")
    (out / "summary.txt").write_text("\n".join([
        f"velmo.exe first frame after {first_frame:.2f} s",
        f"plug-ins in order: {', '.join(PLUGIN_REGISTRARS)}",
        "screenshots:", *("  " + s for s in demo.shots),
        "app.log lines of this run (the second launch logs its start too):", *("  " + line for line in log_tail),
        f"exit code: {exit_code}",
    ]) + "\n")
    demo.say(f"Done: screenshots, channel-traffic.txt, transcript.txt and summary.txt in {out}")
    return 0 if exit_code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
