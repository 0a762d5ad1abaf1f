"""The Wine session the tests run in: its environment, the prefix's files and
the X display (screenshots, keys, clicks)."""

from __future__ import annotations

import functools
import os
import subprocess
from pathlib import Path, PureWindowsPath

ROOT = Path(os.environ.get("VELMO_ROOT", Path(__file__).resolve().parents[2]))


@functools.lru_cache(maxsize=None)
def wine_environment() -> dict[str, str]:
    """The environment of scripts/wine-env.sh (prefix, display, Wine settings)
    on top of this process's environment."""
    script = ROOT / "scripts" / "wine-env.sh"
    dump = subprocess.run(
        ["bash", "-c", f'source "{script}" && env -0'],
        check=True, capture_output=True, env=dict(os.environ),
    ).stdout
    env = {}
    for entry in dump.split(b"\0"):
        if b"=" in entry:
            key, _, value = entry.partition(b"=")
            env[key.decode()] = value.decode(errors="surrogateescape")
    return env


def prefix_dir() -> Path:
    return Path(wine_environment()["WINEPREFIX"])


def display() -> str:
    return wine_environment()["DISPLAY"]


def prepare_session() -> None:
    """Starts Xvfb, the prefix and the persistent wineserver if needed."""
    subprocess.run([str(ROOT / "scripts" / "wine-session.sh")], check=True,
                   env=wine_environment())


def _resolve_case_insensitively(base: Path, parts: list[str]) -> Path:
    path = base
    for part in parts:
        candidate = path / part
        if not candidate.exists() and path.is_dir():
            lowered = part.lower()
            for entry in path.iterdir():
                if entry.name.lower() == lowered:
                    candidate = entry
                    break
        path = candidate
    return path


def linux_path(windows_path: str) -> Path:
    """Where a Windows path of the prefix lives on Linux (drive letters as the
    prefix maps them: C: is drive_c, Z: is /); names match without regard to
    case, as Windows does."""
    pure = PureWindowsPath(windows_path)
    drive = pure.drive.rstrip(":").lower()
    if not drive:
        raise ValueError(f"not an absolute Windows path: {windows_path}")
    base = (prefix_dir() / "dosdevices" / f"{drive}:").resolve()
    return _resolve_case_insensitively(base, list(pure.parts[1:]))


def read_file(windows_path: str) -> bytes:
    return linux_path(windows_path).read_bytes()


def user_dir() -> Path:
    """The prefix's user profile folder (C:\\users\\<user>)."""
    users = prefix_dir() / "drive_c" / "users"
    candidates = [p for p in users.iterdir() if p.is_dir() and p.name.lower() != "public"]
    return candidates[0] if len(candidates) == 1 else users / os.environ.get("USER", "root")


def local_appdata_dir() -> Path:
    return _resolve_case_insensitively(user_dir(), ["AppData", "Local"])


def temp_dir() -> Path:
    return _resolve_case_insensitively(user_dir(), ["Temp"])


def _x(command: list[str], check: bool = True) -> subprocess.CompletedProcess:
    return subprocess.run(command, check=check, capture_output=True, text=True,
                           env=wine_environment(), timeout=30)


def screenshot(path: str | os.PathLike, crop: tuple[int, int, int, int] | None = None) -> Path:
    """Saves the whole screen, or the rectangle (left, top, right, bottom) of
    it, as an image (format from the suffix, e.g. .png)."""
    path = Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    command = ["import", "-window", "root"]
    if crop is not None:
        left, top, right, bottom = crop
        command += ["-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage"]
    _x(command + [str(path)])
    return path


def x_windows(name_pattern: str, only_visible: bool = False) -> list[int]:
    """X window ids whose name matches the regular expression (only the
    mapped ones when only_visible)."""
    visible = ["--onlyvisible"] if only_visible else []
    found = _x(["xdotool", "search", *visible, "--name", name_pattern], check=False)
    return [int(line) for line in found.stdout.split()]


def focus(x_window: int) -> None:
    _x(["xdotool", "windowfocus", "--sync", str(x_window)])


def key(*keys: str, x_window: int | None = None, delay_ms: int = 12) -> None:
    """Presses and releases keys (xdotool key names, e.g. "ctrl+shift+m")."""
    command = ["xdotool", "key", "--delay", str(delay_ms)]
    if x_window is not None:
        command += ["--window", str(x_window)]
    _x(command + list(keys))


def key_down(name: str) -> None:
    _x(["xdotool", "keydown", name])


def key_up(name: str) -> None:
    _x(["xdotool", "keyup", name])


def click(x: int, y: int, button: int = 1) -> None:
    _x(["xdotool", "mousemove", "--sync", str(x), str(y), "click", str(button)])
