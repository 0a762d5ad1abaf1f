"""What the host's end-to-end tests share: where velmo.exe and the test
programs are, its window's identity and the few steps every test takes."""

from __future__ import annotations

import socket
import struct
import subprocess
import time
import zlib
from pathlib import Path

from driver import Driver, WindowInfo, wine

MAIN_WINDOW_CLASS = "FLUTTER_RUNNER_WIN32_WINDOW"
MAIN_WINDOW_TITLE = "Velmo"
SINGLE_INSTANCE_MUTEX = "Local\\VELMO_Parlora_SingleInstance"

DESKTOP_SHELL_CHANNEL = "parlora/desktop_shell"
WS_EX_TOOLWINDOW = 0x00000080
WS_EX_APPWINDOW = 0x00040000

PLUGIN_REGISTRARS = [
    "AudioplayersWindowsPlugin",
    "ConnectivityPlusWindowsPlugin",
    "FileSelectorWindows",
    "FlutterSecureStorageWindowsPlugin",
    "FlutterWebRTCPlugin",
    "LiveKitPlugin",
    "ScreenRetrieverWindowsPluginCApi",
    "UrlLauncherWindows",
    "WindowManagerPlugin",
]
PLUGIN_REPORT_CHANNEL = "velmo.testing/plugin_registered"


def main_windows(driver: Driver) -> list[WindowInfo]:
    """Every window of the main window's class on the desktop."""
    return [w for w in driver.windows() if w.class_name == MAIN_WINDOW_CLASS]


def main_window(driver: Driver) -> WindowInfo:
    """The main window of the program under test."""
    found = driver.find_window(MAIN_WINDOW_CLASS, MAIN_WINDOW_TITLE, pid=driver.hello_pid)
    assert found is not None, f"no main window among {driver.own_windows()}"
    return found


def wait_main_window(driver: Driver, predicate, timeout: float = 15.0) -> WindowInfo:
    return driver.wait_window(
        lambda w: w.pid == driver.hello_pid and w.class_name == MAIN_WINDOW_CLASS
        and predicate(w), timeout)


def quit_host(driver: Driver) -> int:
    """Ends the host through the desktop shell's "quit" (what the tray menu's
    quit item does too) and returns its exit code."""
    answer = driver.call(DESKTOP_SHELL_CHANNEL, "quit")
    assert answer.is_success and answer.value is True, answer
    return driver.wait_exit(timeout=30)


def run_tool(testbin_dir: Path, tool: str, *args: str, timeout: float = 60) -> subprocess.CompletedProcess:
    """Runs one of the test programs under Wine and waits for it."""
    exe = testbin_dir / tool
    return subprocess.run(["wine", str(exe), *map(str, args)], env=wine.wine_environment(),
                          cwd=exe.parent, capture_output=True, text=True, timeout=timeout)


def start_tool(testbin_dir: Path, tool: str, *args: str) -> subprocess.Popen:
    exe = testbin_dir / tool
    return subprocess.Popen(["wine", str(exe), *map(str, args)], env=wine.wine_environment(),
                            cwd=exe.parent, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, start_new_session=True)


def run_second_instance(bundle_dir: Path, timeout: float = 30) -> tuple[int, float]:
    """Starts velmo.exe while another instance runs; its exit code and how
    long it ran. It is pointed at a driver address of its own: had it started
    an engine (which its window and plug-ins need), the engine would have
    connected there while it ran, and that fails the check."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as listener:
        listener.bind(("127.0.0.1", 0))
        listener.listen(1)
        port = listener.getsockname()[1]
        started = time.monotonic()
        second = Driver(bundle_dir / "velmo.exe", args=[f"--driver=127.0.0.1:{port}"],
                        connect=False)
        second.start()
        try:
            exit_code = second.wait_exit(timeout)
        finally:
            second.close()
        seconds = time.monotonic() - started
        # A connection made while it ran waits in the backlog.
        listener.setblocking(False)
        try:
            connection, _ = listener.accept()
        except BlockingIOError:
            return exit_code, seconds
        connection.close()
        raise AssertionError("the second instance started an engine")


def app_log_path() -> Path:
    return wine.local_appdata_dir() / "Velmo" / "logs" / "app.log"


def app_log_lines() -> list[str]:
    path = app_log_path()
    if not path.is_file():
        return []
    return path.read_bytes().decode("utf-8", errors="replace").split("\r\n")


def prefix_dpi() -> int:
    """The DPI Wine gives every monitor of the prefix (LogPixels, 96 unless
    set)."""
    for hive in ("user.reg", "system.reg"):
        path = wine.prefix_dir() / hive
        if not path.is_file():
            continue
        for line in path.read_text(errors="replace").splitlines():
            if line.startswith('"LogPixels"=dword:'):
                return int(line.split(":", 1)[1], 16)
    return 96


def windows_path(path: Path) -> str:
    """The path as a Windows program in the prefix sees it (Z: is /)."""
    return "Z:" + str(path.resolve()).replace("/", "\\")


def png(width: int, height: int, rgb: tuple[int, int, int]) -> bytes:
    """A solid-colour PNG."""
    def chunk(kind: bytes, data: bytes) -> bytes:
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    rows = b"".join(b"\x00" + bytes(rgb) * width for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
