"""Voice overlay end to end: over a full-screen window of another process
(testing/fullscreen_window, white), with a compositor so half-transparent
pixels blend. Avatars come from a test host in a network namespace of its
own, on a public-looking documentation address; a loopback server is the
target that must never see a request."""

from __future__ import annotations

import hashlib
import http.server
import os
import struct
import shutil
import signal
import socketserver
import subprocess
import threading
import time
import zlib
from collections import Counter
from pathlib import Path
from urllib.parse import parse_qs, quote, urlsplit

import pytest

from driver import wine
from host_helpers import main_window, png, quit_host, run_tool
from netns_host import NamespaceError, NamespaceHost

CHANNEL = "parlora/voice_overlay"
OVERLAY_CLASS = "VelmoVoiceOverlayWindow"
OVERLAY_EX_STYLE = 0x080800A8
MONITOR = (0, 0, 1920, 1080)
TICK = 0.4
SETTLE = 1.3  # several ticks: long enough for a wrong decision to show
DOWNLOAD_LIMIT = 10.0  # an avatar download is given up after this

# Sizes at the initial scale 1.15.
WIDTH, MARGIN, ROW, EDGE, DIAMETER = 322, 32, 46, 7, 35
PILL_LEFT = DIAMETER + 4

RED = (255, 0, 0)
BLUE = (0, 0, 255)
WHITE = 255


def fnv1a(data: bytes, value: int = 0x811C9DC5) -> int:
    for byte in data:
        value = ((value ^ byte) * 0x01000193) & 0xFFFFFFFF
    return value


def old_avatar_file_name(url: str) -> str:
    """The 32-bit name earlier versions stored pictures under."""
    return f"a_{fnv1a(url.encode()):08x}.img"


def avatar_file_name(url: str) -> str:
    return f"v_{hashlib.sha256(url.encode()).hexdigest()}.img"


def colliding_pair(first: str, second: str) -> tuple[str, str]:
    """first + i + ".png" and second + j + ".png" whose old names collide:
    a birthday search over both, about 2^16 tries each."""
    seen: dict[int, str] = {}
    start_a, start_b = fnv1a(first.encode()), fnv1a(second.encode())
    for i in range(1 << 22):
        tail = f"{i:x}.png".encode()
        seen[fnv1a(tail, start_a)] = tail.decode()
        match = seen.get(fnv1a(tail, start_b)) if len(seen) > 1 << 16 else None
        if match is not None:
            return first + match, second + tail.decode()
    raise AssertionError("no collision found")


def huge_png(side: int = 20000) -> bytes:
    """A valid one-bit grey PNG of side x side pixels, a few dozen kilobytes."""
    def chunk(kind: bytes, data: bytes) -> bytes:
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    rows = bytes((1 + side // 8) * side)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 1, 0, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


# Bounds on every loop of an avatar server: a hostile answer lasts at most
# HOLD seconds, a server at most LIFETIME seconds and MAX_REQUESTS requests.
HOLD = 30.0
LIFETIME = 900.0
MAX_REQUESTS = 5000


class AvatarServer:
    """/avatar/*: a non-square red picture; /blue/*: a blue one; /missing/*: 404;
    /redirect/*?to=URL: 302 to URL; hostile ones: /silent/* never answers,
    /endless/* sends a body without end, /huge/* a 20000 x 20000 PNG,
    /trickle/* one byte a second; else 500. Counts hits by kind, calls
    report(kind) for each, and keeps the paths asked for."""

    def __init__(self, host: str = "127.0.0.1", report=None):
        self.hits: Counter[str] = Counter()
        self.paths: list[str] = []
        self.closing = threading.Event()
        hits, paths, closing, huge = self.hits, self.paths, self.closing, huge_png()
        pictures = {"avatar": png(24, 12, RED), "blue": png(12, 24, BLUE)}

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"
            timeout = HOLD  # a client that never sends its request

            def end_headers(self):
                # One request a connection: no idle connection for the
                # server to drop while a client reuses it.
                self.send_header("Connection", "close")
                super().end_headers()

            def hostile(self, kind):
                until = time.monotonic() + HOLD
                if kind == "silent":
                    closing.wait(HOLD)
                    return
                self.send_response(200)
                self.send_header("Content-Type", "image/png")
                if kind == "huge":
                    self.send_header("Content-Length", str(len(huge)))
                    self.end_headers()
                    self.wfile.write(huge)
                    return
                self.send_header("Transfer-Encoding", "chunked")
                self.end_headers()
                piece = b"x" * (65536 if kind == "endless" else 1)
                for _ in range(1 << 16):
                    if closing.wait(0 if kind == "endless" else 1) or time.monotonic() > until:
                        break
                    self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))

            def do_GET(self):
                kind = self.path.split("/")[1]
                hits[kind] += 1
                paths.append(self.path)
                if report is not None:
                    report(kind)
                if kind in ("silent", "endless", "huge", "trickle"):
                    try:
                        self.hostile(kind)
                    except OSError:
                        pass
                    return
                if kind == "redirect":
                    self.send_response(302)
                    self.send_header("Location", parse_qs(urlsplit(self.path).query)["to"][0])
                    self.send_header("Content-Length", "0")
                    self.end_headers()
                    return
                good = kind in pictures
                body = pictures[kind] if good else b"<html>not here</html>"
                self.send_response(200 if good else 404 if kind == "missing" else 500)
                self.send_header("Content-Type", "image/png" if good else "text/html")
                self.send_header("Content-Length", str(len(body)))
                self.send_header("Cache-Control", "no-store")
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        class Server(http.server.ThreadingHTTPServer):
            daemon_threads = True
            request_queue_size = 128  # the default 5 drops bursts of connections
            handled = 0

            def server_bind(self):
                # Without HTTPServer's reverse lookup of its own address: a
                # server asks no name server.
                socketserver.TCPServer.server_bind(self)
                self.server_name, self.server_port = host, self.server_address[1]

            def process_request(self, request, address):
                self.handled += 1
                super().process_request(request, address)

        self.httpd = Server((host, 0), Handler)
        self.httpd.timeout = 0.2
        self.port = self.httpd.server_address[1]
        self.base = f"http://{host}:{self.port}"
        self.serving = threading.Thread(target=self.serve, daemon=True)
        self.serving.start()

    def serve(self):
        """Answers until closed, for at most LIFETIME s and MAX_REQUESTS requests."""
        until = time.monotonic() + LIFETIME
        while (not self.closing.is_set() and time.monotonic() < until
               and self.httpd.handled < MAX_REQUESTS):
            self.httpd.handle_request()
        self.httpd.server_close()

    def close(self):
        self.closing.set()
        self.serving.join(timeout=5)

    def url(self, kind: str, tag: str) -> str:
        return f"{self.base}/{kind}/{tag}.png"


class Screen:
    def __init__(self, path: Path):
        data = wine.screenshot(path.with_suffix(".ppm")).read_bytes()
        # P6 samples of one or two bytes, taken from the end: pixel bytes may
        # look like the header's whitespace.
        self.width, self.height, maxval = (int(f) for f in data.split(maxsplit=4)[1:4])
        self.sample = 2 if maxval > 255 else 1
        self.pixels = data[len(data) - self.width * self.height * 3 * self.sample:]

    def at(self, x: float, y: float) -> tuple[int, int, int]:
        offset = (int(y) * self.width + int(x)) * 3 * self.sample
        return tuple(self.pixels[offset:offset + 3 * self.sample:self.sample])


def close_to(pixel, expected, tolerance=6) -> bool:
    return all(abs(a - b) <= tolerance for a, b in zip(pixel, expected))


def over_white(argb: int) -> tuple[int, int, int]:
    """What a colour with alpha shows over the white test window."""
    alpha = argb >> 24
    return tuple(round(((argb >> shift) & 0xFF) * alpha / 255 + WHITE * (1 - alpha / 255))
                 for shift in (16, 8, 0))


@pytest.fixture(scope="module")
def compositor(wine_session):
    if shutil.which("xcompmgr") is None:
        pytest.skip("xcompmgr is not installed: half-transparent pixels cannot blend")
    process = subprocess.Popen(["xcompmgr"], env=wine.wine_environment(),
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    time.sleep(0.3)
    if process.poll() is not None:
        # One already composites this display (left by an earlier run).
        yield None
        return
    yield process
    process.terminate()
    process.wait(timeout=10)


@pytest.fixture(scope="module")
def avatar_server():
    """The avatars' server, on the test host: an AvatarServer run in a network
    namespace, whose hits arrive here as it reports them."""
    host = NamespaceHost(Path(__file__).with_name("avatar_host.py"))
    try:
        host.__enter__()
    except NamespaceError as error:
        pytest.fail(f"no test host for the avatars: {error}")
    yield host
    host.__exit__(None, None, None)


@pytest.fixture(scope="module")
def loopback_server():
    """The target that must see no request."""
    server = AvatarServer()
    yield server
    server.close()


class FullScreenWindow:
    """A running fullscreen_window.exe and the lines (clicks) it printed."""

    def __init__(self, exe: Path, *args: str):
        self.process = subprocess.Popen(["wine", str(exe), *args], env=wine.wine_environment(),
                                        cwd=exe.parent, stdout=subprocess.PIPE, text=True,
                                        start_new_session=True)
        line = self.process.stdout.readline().split()
        assert line[:1] == ["ready"], f"fullscreen_window did not start: {line}"
        self.hwnd = int(line[1])
        self.lines: list[str] = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.append(line.strip())


@pytest.fixture
def full_screen(testbin_dir):
    exe = testbin_dir / "fullscreen_window.exe"
    if not exe.is_file():
        pytest.skip(f"{exe} is not built")
    windows: list[FullScreenWindow] = []

    def start(*args: str) -> FullScreenWindow:
        windows.append(FullScreenWindow(exe, *args))
        return windows[-1]
    yield start
    for window in windows:
        if window.process.poll() is None:
            os.killpg(window.process.pid, signal.SIGKILL)
        window.process.wait(timeout=10)


@pytest.fixture
def velmo(start_program, bundle_dir, compositor):
    driver = start_program(bundle_dir / "velmo.exe")
    driver.wait_handler(CHANNEL)
    return driver


def call(driver, method, arguments):
    reply = driver.call(CHANNEL, method, arguments)
    assert reply.is_success and reply.value is True, reply


def start_session(driver, members, **config):
    call(driver, "setConfig", config)
    call(driver, "setSession", {"active": True})
    call(driver, "setMembers", {"members": members})


def overlay(driver):
    return driver.find_window(OVERLAY_CLASS, pid=driver.hello_pid)


def wait_shown(driver):
    return driver.wait_window(lambda w: w.class_name == OVERLAY_CLASS and w.visible
                              and w.pid == driver.hello_pid, 5.0)


def assert_stays_hidden(driver):
    """Hidden by the next tick at the latest, and for several ticks after."""
    driver.wait_window(lambda w: w.class_name == OVERLAY_CLASS and not w.visible
                       and w.pid == driver.hello_pid, 2 * TICK + 0.5)
    deadline = time.monotonic() + SETTLE
    while time.monotonic() < deadline:
        assert not overlay(driver).visible
        time.sleep(TICK / 2)


def wait_until(condition, timeout=2 * DOWNLOAD_LIMIT, state=lambda: None):
    """Downloads run one after another on a worker, each bounded by the limit:
    on a loaded machine the first may take seconds before the rest start."""
    deadline = time.monotonic() + timeout
    while not condition():
        assert time.monotonic() < deadline, f"condition not met in time: {state()}"
        time.sleep(0.05)


def row_centre(index: int) -> float:
    return EDGE + index * ROW + ROW / 2


def test_shown_over_another_process_full_screen_without_focus_or_clicks(
        velmo, full_screen):
    start_session(velmo, [{"name": "Ann"}, {"name": "Bob"}, {"name": "Cy"}],
                  position="rightBottom")
    assert_stays_hidden(velmo)
    game = full_screen("borderless")
    shown = wait_shown(velmo)
    height = 3 * ROW + 2 * EDGE
    assert shown.rect == (1920 - MARGIN - WIDTH, 1080 - height - MARGIN,
                          1920 - MARGIN, 1080 - MARGIN)
    assert shown.exstyle & 0xFFFFFFFF == OVERLAY_EX_STYLE
    assert velmo.foreground() == game.hwnd

    # A click on a pill goes to the game underneath.
    x, y = shown.left + PILL_LEFT + 10, shown.top + int(row_centre(0))
    wine.click(x, y)
    deadline = time.monotonic() + 5
    while f"click {x} {y}" not in game.lines and time.monotonic() < deadline:
        time.sleep(0.05)
    assert f"click {x} {y}" in game.lines
    assert velmo.foreground() == game.hwnd

    call(velmo, "setConfig", {"position": "leftCenter"})
    moved = overlay(velmo)
    assert moved.rect[:2] == (MARGIN, (1080 - height) // 2)
    call(velmo, "setSession", {"active": False})
    assert not overlay(velmo).visible, "hidden by the call itself, not a later tick"


def test_hidden_for_framed_windows_the_desktop_and_the_main_window(
        velmo, full_screen, testbin_dir):
    start_session(velmo, [{"name": "Ann"}])
    maximised = full_screen("maximized")
    assert velmo.foreground() == maximised.hwnd
    assert_stays_hidden(velmo)

    desktop = full_screen("borderless", "Progman")
    assert velmo.foreground() == desktop.hwnd
    assert_stays_hidden(velmo)

    game = full_screen("borderless")
    wait_shown(velmo)
    host = main_window(velmo)
    taken = run_tool(testbin_dir, "fullscreen_window.exe", "take", host.hwnd)
    assert taken.stdout.strip() == "ok"
    velmo.wait_window(lambda w: w.hwnd == host.hwnd and w.rect == MONITOR, 5)
    assert velmo.foreground() == host.hwnd, "the main window is in front, full screen"
    assert_stays_hidden(velmo)
    assert game.process.poll() is None


@pytest.mark.parametrize("opacity,pill_alpha", [(1.0, 180), (0.15, 29)])
def test_rows_as_drawn(velmo, full_screen, tmp_path, opacity, pill_alpha):
    start_session(velmo, [{"name": "Ann", "speaking": True},
                          {"name": "用户用户用户", "muted": True},
                          {"name": "(bob)"}],
                  position="leftTop", opacity=opacity)
    full_screen("borderless")
    shown = wait_shown(velmo)
    time.sleep(TICK)
    screen = Screen(tmp_path / "overlay")
    ox, oy = shown.left, shown.top

    # Speaking member: the ring below the avatar and the placeholder disc,
    # neither depending on the opacity.
    def ring_band(row):
        return [screen.at(ox + DIAMETER / 2, oy + row_centre(row) + DIAMETER / 2 + dy)
                for dy in (1, 2, 3)]
    assert any(close_to(p, over_white(0xF0C8F542), 8) for p in ring_band(0)), ring_band(0)
    assert all(p == (WHITE, WHITE, WHITE) for p in ring_band(2)), ring_band(2)
    disc = screen.at(ox + DIAMETER / 2, oy + row_centre(0) - DIAMETER / 2 + 4)
    assert close_to(disc, over_white(0xEBC8F542)), disc

    # The initial is drawn on the disc, near-black on a speaker's.
    centre_y = oy + row_centre(0)
    letter = [screen.at(ox + DIAMETER / 2 + dx, centre_y + dy)
              for dx in range(-5, 6) for dy in range(-6, 7)]
    assert any(close_to(p, (0x0E, 0x12, 0x0C), 40) for p in letter), letter

    # The pill's alpha, read from how far its red channel (0x1C) darkens the white window.
    pill = screen.at(ox + PILL_LEFT + 8, oy + row_centre(2))
    assert abs((WHITE - pill[0]) / (1 - 0x1C / 255) - pill_alpha) <= 4, pill

    # The CJK name is measured with a real font: its pill is far wider
    # than the narrowest one an unusable font leaves.
    y = oy + row_centre(1)
    right = ox + PILL_LEFT + 8
    while right < ox + WIDTH and screen.at(right, y) != (WHITE, WHITE, WHITE):
        right += 1
    assert right - (ox + PILL_LEFT) > 100


def test_downloaded_once_cached_and_failures_held_back(
        velmo, full_screen, avatar_server, tmp_path):
    avatar_folder = wine.temp_dir() / "velmo_voice_overlay"
    shutil.rmtree(avatar_folder, ignore_errors=True)
    tag = f"t{time.monotonic_ns()}"
    good = avatar_server.url("avatar", tag)
    upper = avatar_server.url("avatar", tag + "u").replace("http://", "HTTP://")
    ftp = avatar_server.url("avatar", tag + "f").replace("http://", "ftp://")
    missing = avatar_server.url("missing", tag)
    failing = avatar_server.url("failing", tag)
    # Two addresses whose old 32-bit names collide, and under that name a
    # file planted for the second with the first one's picture.
    twin_red, twin_blue = colliding_pair(avatar_server.url("avatar", tag + "r")[:-4],
                                         avatar_server.url("blue", tag + "b")[:-4])
    assert old_avatar_file_name(twin_red) == old_avatar_file_name(twin_blue)
    avatar_folder.mkdir(parents=True)
    (avatar_folder / old_avatar_file_name(twin_blue)).write_bytes(png(24, 12, RED))
    stale = avatar_folder / (avatar_file_name(missing) + ".part")
    stale.write_bytes(b"cut off")
    os.utime(stale, (time.time() - 120, time.time() - 120))
    members = [{"name": "Ann", "speaking": True, "avatarUrl": good},
               {"name": "Bob", "avatarUrl": good},
               {"name": "Cy", "avatarUrl": upper},
               {"name": "Di", "avatarUrl": ftp},
               {"name": "Ed", "avatarUrl": missing},
               {"name": "Flo", "avatarUrl": failing},
               {"name": "Gus", "avatarUrl": twin_red},
               {"name": "Hal", "avatarUrl": twin_blue}]
    start_session(velmo, members, position="leftTop", opacity=0.4)
    fetched = Counter(avatar=2, blue=1, missing=1, failing=1)
    stored = sorted(avatar_file_name(url) for url in (good, twin_red, twin_blue))
    wait_until(lambda: avatar_server.hits == fetched and avatar_folder.is_dir()
               and sorted(p.name for p in avatar_folder.iterdir()) == stored,
               state=lambda: (dict(avatar_server.hits), sorted(
                   p.name for p in avatar_folder.iterdir()) if avatar_folder.is_dir() else None))

    full_screen("borderless")
    shown = wait_shown(velmo)
    time.sleep(3 * TICK)
    call(velmo, "setMembers", {"members": members})
    assert avatar_server.hits == fetched, (
        "no download again for a cached picture, nor on every tick for a failing one")

    screen = Screen(tmp_path / "avatars")
    ox, oy = shown.left, shown.top
    speaking = screen.at(ox + DIAMETER / 2, oy + row_centre(0) + 4)
    assert close_to(speaking, RED), speaking
    dimmed = screen.at(ox + DIAMETER / 2, oy + row_centre(1) + 4)
    assert close_to(dimmed, (255, 255 - 110, 255 - 110)), dimmed
    for row in (2, 3, 4, 5):
        placeholder = screen.at(ox + DIAMETER / 2, oy + row_centre(row) - DIAMETER / 2 + 4)
        assert close_to(placeholder, over_white(0x6E343A38)), (row, placeholder)
    for row, colour in ((6, (255, 145, 145)), (7, (145, 145, 255))):
        twin = screen.at(ox + DIAMETER / 2, oy + row_centre(row) + 4)
        assert close_to(twin, colour), ("each twin shows its own picture", row, twin)


def test_hostile_avatar_servers_hold_neither_calls_nor_memory_nor_quitting(
        velmo, full_screen, avatar_server, tmp_path):
    tag = f"h{time.monotonic_ns()}"
    kinds = ["avatar", "silent", "endless", "huge", "trickle"]
    members = [{"name": kind, "avatarUrl": avatar_server.url(kind, tag)} for kind in kinds]
    committed_before = int(velmo.query("process")[0][0])
    start_session(velmo, members, position="leftTop")
    full_screen("borderless")
    shown = wait_shown(velmo)

    # Round trips while the hostile servers hold their connections, one after
    # another, until each has been asked. A call that waited for one would
    # take up to the download limit; the 250 ms goal is the benchmark's.
    slowest = 0.0
    deadline = time.monotonic() + 6 * DOWNLOAD_LIMIT
    while not all(avatar_server.hits[kind] >= 1 for kind in kinds):
        assert time.monotonic() < deadline, avatar_server.hits
        before = time.monotonic()
        call(velmo, "setMembers", {"members": members})
        slowest = max(slowest, time.monotonic() - before)
        time.sleep(0.1)
    print(f"slowest setMembers round trip: {slowest * 1000:.0f} ms")
    assert slowest < DOWNLOAD_LIMIT / 4, "a call waited for an avatar server"
    grown = int(velmo.query("process")[0][0]) - committed_before
    print(f"committed memory grew by {grown / 2**20:.1f} MB")
    assert grown < 64 << 20, f"committed memory grew by {grown >> 20} MB"

    ox, oy = shown.left, shown.top

    def first_drawn() -> bool:
        screen = Screen(tmp_path / "hostile")
        return close_to(screen.at(ox + DIAMETER / 2, oy + row_centre(0) + 4), (255, 145, 145))
    wait_until(first_drawn)
    screen = Screen(tmp_path / "hostile")
    for row in range(1, len(kinds)):
        placeholder = screen.at(ox + DIAMETER / 2, oy + row_centre(row) - DIAMETER / 2 + 4)
        assert close_to(placeholder, over_white(0x6E343A38)), (kinds[row], placeholder)

    # A new address starts a download that never ends; quitting does not wait
    # for it, which would end only at the download limit after its request.
    call(velmo, "setMembers", {"members": [{"name": "late", "avatarUrl": avatar_server.url("silent", tag + "q")}]})
    wait_until(lambda: avatar_server.hits["silent"] >= 2)
    asked = time.monotonic()
    assert quit_host(velmo) == 0
    assert time.monotonic() - asked < 0.8 * DOWNLOAD_LIMIT


def test_loopback_reached_neither_directly_nor_by_name_nor_by_redirect(
        velmo, full_screen, avatar_server, loopback_server, tmp_path):
    tag = f"l{time.monotonic_ns()}"
    redirect = (avatar_server.url("redirect", tag) + "?to="
                + quote(loopback_server.url("avatar", tag + "r"), safe=""))
    refused = [loopback_server.url("avatar", tag + "a"),
               f"http://localhost:{loopback_server.port}/avatar/{tag}n.png", redirect]
    drawn = {"avatar": (255, 145, 145), "blue": (145, 145, 255)}
    urls = refused + [avatar_server.url(kind, tag) for kind in drawn]
    before = Counter(avatar_server.hits)
    start_session(velmo, [{"name": f"M{i}", "avatarUrl": url} for i, url in enumerate(urls)],
                  position="leftTop")
    full_screen("borderless")
    shown = wait_shown(velmo)
    ox, oy = shown.left, shown.top

    def avatars_drawn() -> bool:
        screen = Screen(tmp_path / "reach")
        return all(close_to(screen.at(ox + DIAMETER / 2, oy + row_centre(row) + 4), colour)
                   for row, colour in enumerate(drawn.values(), start=len(refused)))
    wait_until(lambda: all(avatar_server.hits[kind] > before[kind]
                           for kind in ("redirect", *drawn)))
    wait_until(avatars_drawn)
    time.sleep(TICK)  # the redirect's next hop, asked for after its 302
    assert loopback_server.paths == [], "a peer's address reached this machine's loopback"
    screen = Screen(tmp_path / "refused")
    for row in range(len(refused)):
        placeholder = screen.at(ox + DIAMETER / 2, oy + row_centre(row) - DIAMETER / 2 + 4)
        assert close_to(placeholder, over_white(0x6E343A38)), (refused[row], placeholder)


def cpu_seconds(name: str) -> float:
    """CPU time of this Wine prefix's processes named `name`, from /proc."""
    prefix = f"WINEPREFIX={wine.wine_environment()['WINEPREFIX']}".encode()
    total = 0
    for proc in Path("/proc").iterdir():
        try:
            if (name.encode() in (proc / "cmdline").read_bytes()
                    and prefix in (proc / "environ").read_bytes().split(b"\0")):
                fields = (proc / "stat").read_text().rsplit(")", 1)[1].split()
                total += int(fields[11]) + int(fields[12])
        except OSError:
            continue
    return total / os.sysconf("SC_CLK_TCK")


def test_static_sixteen_members_cost_little(velmo, full_screen):
    members = [{"name": f"Member {i}", "speaking": i % 3 == 0, "muted": i % 4 == 1}
               for i in range(16)]
    start_session(velmo, members, position="rightBottom")
    full_screen("borderless")
    wait_shown(velmo)
    time.sleep(3 * TICK)
    spent = {name: -cpu_seconds(name) for name in ("velmo.exe", "wineserver")}
    time.sleep(10)
    spent = {name: (value + cpu_seconds(name)) / 10 for name, value in spent.items()}
    print("static overlay, share of one core over 10 s (topmost asserted every tick): "
          + ", ".join(f"{name} {share:.2%}" for name, share in spent.items()))
    assert overlay(velmo).visible
    assert spent["velmo.exe"] < 0.03, "ten times the goal: a static overlay does work each tick"

