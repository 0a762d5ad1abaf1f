"""The feature scenes of the demo (tests/e2e/demo.py): each drives one feature
of the running velmo.exe through its channel, the way the Flutter side
would, and leaves what a person can look at: screenshots, decoded answers
and events."""

from __future__ import annotations

import os
import shutil
import signal
import subprocess
import tempfile
import time
from pathlib import Path

from driver import Driver, codec, wine
from host_helpers import main_window, run_second_instance, wait_main_window
from netns_host import NamespaceHost
from pulse_server import tone

TRAY_AREA = (0, 0, 400, 200)
FIRST_TRAY_ICON = (12, 32)
VK_SPACE = 0x20


def _start_idle(testbin: Path, folder: Path, name: str) -> Driver:
    copy = folder / name
    shutil.copy(testbin / "idle_process.exe", copy)
    process = Driver(copy, connect=False).start()
    deadline = time.monotonic() + 15
    while "ready" not in process.stdout_text() and time.monotonic() < deadline:
        time.sleep(0.05)
    return process


def activity(demo, driver: Driver, testbin: Path) -> None:
    demo.say("Activity detection (copies of an idle program under known names)")
    demo.call(driver, "parlora/activity", "detect")
    with tempfile.TemporaryDirectory() as folder:
        running = []
        try:
            for name in ("Spotify.exe", "StarRail.exe"):
                running.append(_start_idle(testbin, Path(folder), name))
                demo.say(f"  started {name}")
                demo.call(driver, "parlora/activity", "detect")
        finally:
            for process in running:
                process.close()
    demo.call(driver, "parlora/activity", "detect")


def push_to_talk(demo, driver: Driver) -> None:
    demo.say("Push-to-talk: Space watched, held for a second with a real X key press")
    demo.call(driver, "app/windows_ptt/events", "listen")
    demo.call(driver, "app/windows_ptt/methods", "start", {"virtualKey": codec.Int32(VK_SPACE)})
    demo.call(driver, "app/windows_ptt/methods", "isListening")
    mark = driver.mark()
    wine.focus(wine.x_windows("^Velmo$", only_visible=True)[0])
    wine.key_down("space")
    time.sleep(1.0)
    wine.key_up("space")
    time.sleep(0.3)
    for send in driver.sends("app/windows_ptt/events", after=mark):
        event = codec.decode_response(send.data).value
        demo.note(f"host -> app/windows_ptt/events  {event}")
    demo.call(driver, "app/windows_ptt/methods", "stop")
    demo.call(driver, "app/windows_ptt/events", "cancel")


def tray(demo, driver: Driver, bundle: Path) -> None:
    demo.say("Tray: close asks the Flutter side, hide to the tray, the tray menu, restore")
    mark = driver.mark()
    driver.post(main_window(driver).hwnd, 0x0010)  # WM_CLOSE, as the close button sends it
    request = driver.wait_send("parlora/desktop_shell", "onCloseRequested", after=mark)
    demo.note(f"host -> parlora/desktop_shell  {request.call().method} "
              f"(wants a reply: {request.wants_reply}); window still visible: "
              f"{main_window(driver).visible}")
    demo.call(driver, "parlora/desktop_shell", "hideToTray")
    time.sleep(0.5)
    demo.screen_shot("tray-hidden.png", "hidden to the tray: the icon in Wine's tray", TRAY_AREA)
    wine.click(*FIRST_TRAY_ICON, button=3)
    menu = driver.wait_window(lambda w: w.pid == driver.hello_pid and w.class_name == "#32768"
                              and w.visible, timeout=10)
    demo.say(f"  tray menu items: {driver.menu_items(menu.hwnd)}")
    demo.screen_shot("tray-menu.png", "the tray menu after a right click on the icon", TRAY_AREA)
    wine.click(menu.left + 16, menu.top + 8)
    restored = wait_main_window(driver, lambda w: w.visible)
    demo.say(f"  first menu item chosen: window visible={restored.visible}")
    demo.call(driver, "parlora/desktop_shell", "hideToTray")
    exit_code, seconds = run_second_instance(bundle)
    restored = wait_main_window(driver, lambda w: w.visible)
    demo.say(f"  a second velmo.exe exited with {exit_code} after {seconds:.2f} s and "
             f"brought the window back: visible={restored.visible}")
    demo.shot(driver, "restored.png", "back from the tray")


def overlay(demo, driver: Driver, testbin: Path) -> None:
    demo.say("Voice overlay over another program's full-screen window")
    # The avatar comes from a public-looking test host: loopback is refused.
    server = NamespaceHost(Path(__file__).with_name("avatar_host.py")).__enter__()
    compositor = subprocess.Popen(["xcompmgr"], env=wine.wine_environment(),
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    game = None
    try:
        channel = "parlora/voice_overlay"
        demo.call(driver, channel, "setConfig", {"enabled": True, "scale": 1.15, "opacity": 0.6,
                                                 "position": "leftCenter"})
        demo.call(driver, channel, "setSession", {"active": True})
        demo.call(driver, channel, "setMembers", {"members": [
            {"name": "Ann", "speaking": True, "avatarUrl": server.url("blue", "ann")},
            {"name": "Bob", "speaking": True, "muted": True},
            {"name": "用户", "muted": True},
            {"name": "(Cleo)"}]})
        game = subprocess.Popen(["wine", str(testbin / "fullscreen_window.exe"), "borderless",
                                 "VelmoFullScreenTest", "24384A"], env=wine.wine_environment(),
                                cwd=testbin, stdout=subprocess.PIPE, text=True,
                                start_new_session=True)
        game.stdout.readline()
        shown = driver.wait_window(lambda w: w.class_name == "VelmoVoiceOverlayWindow"
                                   and w.visible, timeout=10)
        time.sleep(0.8)
        demo.say(f"  overlay shown at ({shown.left}, {shown.top}), {shown.width}x{shown.height}")
        demo.screen_shot("overlay.png", "the overlay over a full-screen window: Ann speaking with"
                         " an avatar, Bob speaking and muted, 用户 muted, (Cleo)")
        demo.call(driver, channel, "setSession", {"active": False})
    finally:
        if game is not None and game.poll() is None:
            os.killpg(game.pid, signal.SIGKILL)
            game.wait(timeout=10)
        server.__exit__(None, None, None)
        compositor.terminate()
        compositor.wait(timeout=10)


def _peak(samples: list[float]) -> float:
    return max((abs(s) for s in samples), default=0.0)


def sidetone(demo, driver: Driver, pulse) -> None:
    demo.say("Sidetone: a 1 kHz tone into the microphone, heard back on the output device")
    channel = "parlora/sidetone"
    if pulse is None:
        demo.say("  no sound server: \"start\" finds no devices and answers false")
        demo.call(driver, channel, "start", {"volume": 0.5})
        return
    demo.call(driver, channel, "start", {"volume": 0.5})
    for volume in (0.5, 0.25):
        demo.call(driver, channel, "setVolume", {"volume": volume})
        recording = pulse.record("monitor_out.monitor", 2)
        pulse.play("tone_in", tone(1.0, 44100, 0.5, 1000.0), 44100, 1)
        left, right = recording.stop()
        demo.note(f"tone peak 0.5 in, volume {volume}: output peak left {_peak(left):.3f}, "
                  f"right {_peak(right):.3f}")
    demo.call(driver, channel, "stop")
    demo.call(driver, channel, "stop")
