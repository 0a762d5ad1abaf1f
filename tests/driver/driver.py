"""The test driver: starts a Windows program under Wine with
--driver=127.0.0.1:PORT, accepts the substitute engine's connection and plays
the Flutter side over the line protocol."""

from __future__ import annotations

import os
import signal
import socket
import subprocess
import tempfile
import threading
import time
from dataclasses import dataclass
from pathlib import Path
from typing import Any, Callable, Iterable

from . import codec, wine

DEFAULT_TIMEOUT = 15.0
_POLL_SECONDS = 0.05


# Wine's loader ends a new process with STATUS_DLL_INIT_FAILED (0xC0000142, cut
# to its low byte by wine) when a system library cannot initialise, e.g. the X
# display refuses a connection for a moment. None of the program's own code has
# run then, so the start is repeated once rather than failing the test.
_WINE_LOADER_FAILED = 0xC0000142 & 0xFF
_START_RETRIES = 1


class EngineGone(RuntimeError):
    """The program exited or closed the connection before the awaited event."""


def _hex(data: bytes) -> str:
    return data.hex() if data else "-"


def _unhex(field: str) -> bytes:
    return b"" if field == "-" else bytes.fromhex(field)


@dataclass(frozen=True)
class Event:
    """One line from the engine: its first word, the other fields, its
    position in the sequence of all lines and when it arrived."""

    kind: str
    fields: tuple[str, ...]
    index: int
    time: float


@dataclass(frozen=True)
class SendEvent:
    """A message the host sent; tag 0 means it wants no reply."""

    channel: str
    tag: int
    data: bytes
    index: int

    @property
    def wants_reply(self) -> bool:
        return self.tag != 0

    def call(self) -> codec.MethodCall:
        return codec.decode_method_call(self.data)


@dataclass(frozen=True)
class WindowInfo:
    hwnd: int
    pid: int
    class_name: str
    title: str
    visible: bool
    iconic: bool
    style: int
    exstyle: int
    left: int
    top: int
    right: int
    bottom: int

    @property
    def rect(self) -> tuple[int, int, int, int]:
        return (self.left, self.top, self.right, self.bottom)

    @property
    def width(self) -> int:
        return self.right - self.left

    @property
    def height(self) -> int:
        return self.bottom - self.top

    @classmethod
    def from_row(cls, row: list[str]) -> "WindowInfo":
        return cls(
            hwnd=int(row[0]), pid=int(row[1]),
            class_name=_unhex(row[2]).decode("utf-8", errors="replace"),
            title=_unhex(row[3]).decode("utf-8", errors="replace"),
            visible=row[4] == "1", iconic=row[5] == "1",
            style=int(row[6], 16), exstyle=int(row[7], 16),
            left=int(row[8]), top=int(row[9]), right=int(row[10]), bottom=int(row[11]),
        )


class Driver:
    """One program under test and its engine connection. Use as a context
    manager, or call start() and close()."""

    def __init__(self, exe: str | os.PathLike, args: Iterable[str] = (),
                 env: dict[str, str] | None = None, *,
                 transcript: str | os.PathLike | None = None,
                 start_timeout: float = 30.0, connect: bool = True):
        self.exe = Path(exe)
        self.args = list(args)
        self.extra_env = dict(env or {})
        self.start_timeout = start_timeout
        self.connect = connect
        self.transcript_path = Path(transcript) if transcript else None
        self.transcript: list[str] = []
        self.process: subprocess.Popen | None = None
        self.hello_pid: int | None = None
        self.hello_args: list[str] = []
        self._listener: socket.socket | None = None
        self._socket: socket.socket | None = None
        self._reader: threading.Thread | None = None
        self._send_lock = threading.Lock()
        self._cond = threading.Condition()
        self._events: list[Event] = []
        self._responses: dict[int, bytes] = {}
        self._results: dict[int, list[list[str]]] = {}
        self._finished_results: set[int] = set()
        self._closed = False
        self._next_tag = 1
        self._started_at = time.monotonic()
        self._output_dir = Path(tempfile.mkdtemp(prefix="velmo-driver-"))

    # Life cycle.

    def __enter__(self) -> "Driver":
        return self.start()

    def __exit__(self, *exc_info) -> None:
        self.close()

    def start(self) -> "Driver":
        """Starts the program (cwd: its folder) and, unless connect is false,
        waits for the engine's hello. On failure, what was started is ended."""
        try:
            return self._start()
        except BaseException:
            self.close()
            raise

    def _start(self) -> "Driver":
        if not self.exe.is_file():
            raise FileNotFoundError(self.exe)
        command = ["wine", str(self.exe)]
        if self.connect:
            self._listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            self._listener.bind(("127.0.0.1", 0))
            self._listener.listen(4)
            self._listener.settimeout(_POLL_SECONDS)
            command.append(f"--driver=127.0.0.1:{self._listener.getsockname()[1]}")
        command += self.args
        env = dict(wine.wine_environment())
        env.update(self.extra_env)
        for attempt in range(1 + _START_RETRIES):
            self._started_at = time.monotonic()
            self._note(">", "start " + " ".join(command[1:]))
            with open(self._output_dir / "stdout.txt", "wb") as stdout, \
                    open(self._output_dir / "stderr.txt", "wb") as stderr:
                self.process = subprocess.Popen(
                    command, cwd=self.exe.parent, env=env, start_new_session=True,
                    stdin=subprocess.DEVNULL, stdout=stdout, stderr=stderr)
            if not self.connect:
                break
            try:
                self._accept()
                break
            except EngineGone:
                if self.process.returncode != _WINE_LOADER_FAILED or attempt == _START_RETRIES:
                    raise
                self._note("!", f"exited with {_WINE_LOADER_FAILED} before its own code ran; "
                                "starting it again")
        if self.connect:
            hello = self.wait_for("hello", timeout=self.start_timeout)
            self.hello_pid = int(hello.fields[0])
            self.hello_args = [_unhex(f).decode("utf-8", errors="surrogateescape")
                               for f in hello.fields[2:]]
        return self

    def _accept(self) -> None:
        deadline = time.monotonic() + self.start_timeout
        while True:
            try:
                connection, _ = self._listener.accept()
                break
            except socket.timeout:
                if self.process.poll() is not None:
                    raise EngineGone(f"{self.exe.name} exited with {self.process.returncode} "
                                     f"before connecting\n{self.stderr_text()}")
                if time.monotonic() > deadline:
                    raise TimeoutError(f"{self.exe.name} did not connect in time\n"
                                       f"{self.stderr_text()}")
        connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self._socket = connection
        self._reader = threading.Thread(target=self._read_lines, daemon=True)
        self._reader.start()

    def close(self) -> None:
        """Ends what this driver started: the connection and, if it still runs,
        the program's process group. Never touches the wineserver."""
        if self.process is not None and self.process.returncode is None:
            if self.process.poll() is None:
                try:
                    # The group is ours (start_new_session) and its leader is
                    # not reaped yet, so the id cannot belong to anyone else.
                    os.killpg(self.process.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            self.process.wait(timeout=30)
        for s in (self._socket, self._listener):
            if s is not None:
                # shutdown wakes the reader at once; the wineserver may hold
                # the other end open a while after the program is gone.
                for end in (lambda: s.shutdown(socket.SHUT_RDWR), s.close):
                    try:
                        end()
                    except OSError:
                        pass
        if self._reader is not None:
            self._reader.join(timeout=5)
        self._write_transcript()

    def disconnect(self) -> None:
        """Drops the connection as a vanishing Flutter side would; the program
        keeps running."""
        if self._socket is not None:
            try:
                self._socket.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def wait_exit(self, timeout: float = DEFAULT_TIMEOUT) -> int:
        """The program's exit code (as wine returns it: the low 8 bits)."""
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise TimeoutError(f"{self.exe.name} still runs after {timeout} s") from None

    @property
    def running(self) -> bool:
        return self.process is not None and self.process.poll() is None

    def stdout_text(self) -> str:
        return self._read_output("stdout.txt")

    def stderr_text(self) -> str:
        return self._read_output("stderr.txt")

    def _read_output(self, name: str) -> str:
        try:
            return (self._output_dir / name).read_text(errors="replace")
        except FileNotFoundError:
            return ""

    # Lines in and out.

    def _note(self, direction: str, line: str) -> None:
        stamp = time.monotonic() - self._started_at
        self.transcript.append(f"{stamp:9.3f} {direction} {line}")

    def _write_transcript(self) -> None:
        if self.transcript_path is not None:
            self.transcript_path.parent.mkdir(parents=True, exist_ok=True)
            self.transcript_path.write_text("\n".join(self.transcript) + "\n")

    def send_line(self, line: str) -> None:
        """Sends one raw protocol line (without its "\\n")."""
        with self._send_lock:
            self._note(">", line)
            if self._socket is None:
                raise EngineGone("not connected")
            try:
                self._socket.sendall(line.encode("ascii") + b"\n")
            except OSError as error:
                raise EngineGone(f"connection lost: {error}") from None

    def _read_lines(self) -> None:
        stream = self._socket.makefile("rb")
        try:
            for raw in stream:
                line = raw.decode("ascii", errors="replace").rstrip("\r\n")
                self._note("<", line)
                self._take_line(line)
        except (OSError, ValueError):
            pass
        finally:
            with self._cond:
                self._closed = True
                self._cond.notify_all()

    def _take_line(self, line: str) -> None:
        words = line.split(" ")
        kind, fields = words[0], tuple(words[1:])
        with self._cond:
            if kind == "response" and len(fields) == 2:
                self._responses[int(fields[0])] = _unhex(fields[1])
            elif kind == "result" and fields:
                tag = int(fields[0])
                if fields[1:] == ("end",):
                    self._finished_results.add(tag)
                else:
                    self._results.setdefault(tag, []).append(list(fields[1:]))
            self._events.append(Event(kind, fields, len(self._events), time.monotonic()))
            self._cond.notify_all()

    def _tag(self) -> int:
        with self._cond:
            tag = self._next_tag
            self._next_tag += 1
            return tag

    def _wait(self, ready: Callable[[], Any], what: str, timeout: float) -> Any:
        deadline = time.monotonic() + timeout
        with self._cond:
            while True:
                found = ready()
                if found is not None:
                    return found
                if self._closed:
                    raise EngineGone(f"connection closed while waiting for {what}\n"
                                     + self._context())
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    raise TimeoutError(f"no {what} within {timeout} s\n" + self._context())
                self._cond.wait(min(remaining, 0.5))

    def _context(self) -> str:
        tail = "\n".join(self.transcript[-15:])
        return f"last lines:\n{tail}\nstderr:\n{self.stderr_text()[-2000:]}"

    # Events.

    def mark(self) -> int:
        """The index the next event will get: pass as `after` to wait only for
        later events."""
        with self._cond:
            return len(self._events)

    def events(self, kind: str | None = None, after: int = 0) -> list[Event]:
        with self._cond:
            return [e for e in self._events[after:] if kind is None or e.kind == kind]

    def wait_for(self, kind: str, predicate: Callable[[Event], bool] | None = None,
                 timeout: float = DEFAULT_TIMEOUT, after: int = 0) -> Event:
        """The first event of this kind (at or after index `after`) that
        satisfies the predicate."""
        def ready():
            for event in self._events[after:]:
                if event.kind == kind and (predicate is None or predicate(event)):
                    return event
            return None
        return self._wait(ready, f"'{kind}' line", timeout)

    def wait_frame(self, timeout: float = DEFAULT_TIMEOUT, after: int = 0) -> Event:
        return self.wait_for("frame", timeout=timeout, after=after)

    def wait_view(self, timeout: float = DEFAULT_TIMEOUT) -> tuple[int, int, int]:
        """The view's (hwnd, width, height)."""
        event = self.wait_for("view", timeout=timeout)
        return tuple(int(f) for f in event.fields)

    def wait_handler(self, channel: str, present: bool = True,
                     timeout: float = DEFAULT_TIMEOUT, after: int = 0) -> Event:
        state = "1" if present else "0"
        return self.wait_for("handler", lambda e: e.fields == (channel, state),
                             timeout=timeout, after=after)

    def handler_set(self, channel: str) -> bool:
        """Whether the host's latest word on the channel was a set handler."""
        states = [e.fields[1] for e in self.events("handler") if e.fields[0] == channel]
        return bool(states) and states[-1] == "1"

    def wait_registrar(self, name: str, timeout: float = DEFAULT_TIMEOUT) -> Event:
        return self.wait_for("registrar", lambda e: e.fields == (name,), timeout=timeout)

    def registrars(self) -> list[str]:
        return [e.fields[0] for e in self.events("registrar")]

    def wait_bye(self, timeout: float = DEFAULT_TIMEOUT) -> Event:
        return self.wait_for("bye", timeout=timeout)

    # Messages to the host.

    def message_async(self, channel: str, data: bytes) -> int:
        """Sends raw bytes to the host's handler for the channel; the tag."""
        tag = self._tag()
        self.send_line(f"message {channel} {tag} {_hex(data)}")
        return tag

    def wait_response(self, tag: int, timeout: float = DEFAULT_TIMEOUT) -> bytes:
        return self._wait(lambda: self._responses.get(tag), f"response {tag}", timeout)

    def response(self, tag: int) -> bytes | None:
        """The response to a message if one has come, else None."""
        with self._cond:
            return self._responses.get(tag)

    def responses_for(self, tag: int) -> int:
        """How many response lines carried this tag."""
        return sum(1 for e in self.events("response") if e.fields[0] == str(tag))

    def message(self, channel: str, data: bytes, timeout: float = DEFAULT_TIMEOUT) -> bytes:
        """Sends raw bytes and waits for the raw response (b"" when empty)."""
        return self.wait_response(self.message_async(channel, data), timeout)

    def call_async(self, channel: str, method: str, arguments: Any = None) -> int:
        return self.message_async(channel, codec.encode_method_call(method, arguments))

    def call(self, channel: str, method: str, arguments: Any = None,
             timeout: float = DEFAULT_TIMEOUT) -> codec.MethodResponse:
        """Calls a method in the standard method codec and decodes the answer."""
        return codec.decode_response(self.wait_response(
            self.call_async(channel, method, arguments), timeout))

    # Messages from the host.

    def sends(self, channel: str | None = None, after: int = 0) -> list[SendEvent]:
        return [self._send_event(e) for e in self.events("send", after)
                if channel is None or e.fields[0] == channel]

    def wait_send(self, channel: str, method: str | None = None,
                  timeout: float = DEFAULT_TIMEOUT, after: int = 0) -> SendEvent:
        """The first message on the channel (a method call of that name when
        given) at or after `after`."""
        def matches(event: Event) -> bool:
            if event.fields[0] != channel:
                return False
            if method is None:
                return True
            try:
                return self._send_event(event).call().method == method
            except codec.DecodeError:
                return False
        return self._send_event(self.wait_for("send", matches, timeout, after))

    @staticmethod
    def _send_event(event: Event) -> SendEvent:
        return SendEvent(event.fields[0], int(event.fields[1]), _unhex(event.fields[2]),
                         event.index)

    def reply(self, tag: int, data: bytes) -> None:
        """Answers a host message that asked for a reply (b"": empty reply)."""
        self.send_line(f"reply {tag} {_hex(data)}")

    def reply_success(self, tag: int, value: Any = None) -> None:
        self.reply(tag, codec.encode_success(value))

    def reply_error(self, tag: int, code: str, message: str = "", details: Any = None) -> None:
        self.reply(tag, codec.encode_error(code, message, details))

    def reply_not_implemented(self, tag: int) -> None:
        self.reply(tag, b"")

    # Desktop queries.

    def query(self, kind: str, *fields: Any, timeout: float = DEFAULT_TIMEOUT) -> list[list[str]]:
        tag = self._tag()
        self.send_line(" ".join(["query", str(tag), kind, *map(str, fields)]))
        self._wait(lambda: True if tag in self._finished_results else None,
                   f"result {tag}", timeout)
        with self._cond:
            return self._results.pop(tag, [])

    def windows(self, pid: int | None = None) -> list[WindowInfo]:
        """Top-level windows of the desktop (of one process when pid given)."""
        rows = [WindowInfo.from_row(r) for r in self.query("windows")]
        return [w for w in rows if pid is None or w.pid == pid]

    def own_windows(self) -> list[WindowInfo]:
        """Top-level windows of the program under test."""
        return self.windows(self.hello_pid)

    def find_window(self, class_name: str | None = None, title: str | None = None,
                    pid: int | None = None) -> WindowInfo | None:
        for window in self.windows(pid):
            if ((class_name is None or window.class_name == class_name)
                    and (title is None or window.title == title)):
                return window
        return None

    def wait_window(self, predicate: Callable[[WindowInfo], bool],
                    timeout: float = DEFAULT_TIMEOUT) -> WindowInfo:
        """Polls the window list until a window satisfies the predicate."""
        deadline = time.monotonic() + timeout
        while True:
            for window in self.windows():
                if predicate(window):
                    return window
            if time.monotonic() > deadline:
                raise TimeoutError(f"no such window within {timeout} s\n" + self._context())
            time.sleep(0.1)

    def foreground(self) -> int:
        return int(self.query("foreground")[0][0])

    def post(self, hwnd: int, message: int, wparam: int = 0, lparam: int = 0) -> bool:
        rows = self.query("post", hwnd, message, wparam, lparam)
        return bool(rows) and rows[0][0] == "1"

    def menu_items(self, hwnd: int) -> list[tuple[int, bool, str]]:
        """The items of the menu a popup menu window (class "#32768") shows:
        (id, is_separator, text), in order."""
        return [(int(r[0]), r[1] == "1", _unhex(r[2]).decode("utf-8", errors="replace"))
                for r in self.query("menu", hwnd)]

    def stall(self, ms: int) -> int:
        """Makes the main thread sleep `ms` without pumping messages; returns
        at once. wait_for("result", lambda e: e.fields == (str(tag), "end"))
        gives the line sent when the thread woke."""
        tag = self._tag()
        self.send_line(f"query {tag} stall {ms}")
        return tag

    def crash(self) -> None:
        """Makes the engine's thread read address 0. No answer comes."""
        self.send_line(f"query {self._tag()} crash")

    # Screen.

    def screenshot(self, path: str | os.PathLike, hwnd: int | None = None) -> Path:
        """The screen, or one window's rectangle of it, saved as an image."""
        crop = None
        if hwnd is not None:
            window = next((w for w in self.windows() if w.hwnd == hwnd), None)
            if window is None:
                raise LookupError(f"no top-level window {hwnd}")
            crop = window.rect
        return wine.screenshot(path, crop)


__all__ = ["Driver", "Event", "SendEvent", "WindowInfo", "EngineGone", "DEFAULT_TIMEOUT"]
