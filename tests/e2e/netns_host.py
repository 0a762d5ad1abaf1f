"""A test host on a public-looking address: a network namespace with a veth
pair, 203.0.113.1/24 on this side and 203.0.113.2/24 inside (the
documentation range, which routes nowhere else), and a server script run
inside it. Needs root. Everything it makes is undone on exit, also after a
failure half way; runs on one machine take turns, since the addresses are
fixed."""

from __future__ import annotations

import fcntl
import os
import subprocess
import sys
import tempfile
import threading
import time
from collections import Counter
from contextlib import ExitStack
from pathlib import Path

HOST_ADDRESS = "203.0.113.1"
ADDRESS = "203.0.113.2"
NAME_PREFIX = "velmo-host-"
LOCK_PATH = Path("/tmp/velmo-netns-host.lock")
LOCK_WAIT = 300.0
START_WAIT = 15.0


class NamespaceError(RuntimeError):
    pass


def ip(*args: str) -> str:
    result = subprocess.run(["ip", *args], capture_output=True, text=True, timeout=15)
    if result.returncode != 0:
        raise NamespaceError(f"ip {' '.join(args)}: {result.stderr.strip() or result.returncode}")
    return result.stdout


def _alive(pid: int) -> bool:
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        pass
    return True


class NamespaceHost:
    """with NamespaceHost(script) as host: the script runs as
    `python3 script ADDRESS` in the namespace, prints "ready PORT", then
    "hit KIND" for each request. host.hits counts them, host.url(kind, tag)
    names a picture on it, host.base is its http://ADDRESS:PORT."""

    def __init__(self, script: Path):
        self.script = script
        self.hits: Counter[str] = Counter()
        self.name = f"{NAME_PREFIX}{os.getpid()}"
        self.outside, self.inside = f"vmh{os.getpid()}", f"vmn{os.getpid()}"
        self._ready = threading.Event()
        self.port = 0

    def __enter__(self) -> "NamespaceHost":
        with ExitStack() as stack:
            self._take_turn(stack)
            self._make_network(stack)
            self._start_server(stack)
            self._undo = stack.pop_all()
        return self

    def __exit__(self, *exc) -> None:
        self._undo.close()

    @property
    def base(self) -> str:
        return f"http://{ADDRESS}:{self.port}"

    def url(self, kind: str, tag: str) -> str:
        return f"{self.base}/{kind}/{tag}.png"

    def _take_turn(self, stack: ExitStack) -> None:
        lock = stack.enter_context(open(LOCK_PATH, "w"))
        deadline = time.monotonic() + LOCK_WAIT
        while True:
            try:
                fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
                return
            except BlockingIOError:
                if time.monotonic() > deadline:
                    raise NamespaceError(f"another run held {LOCK_PATH} for {LOCK_WAIT:.0f} s")
                time.sleep(0.5)

    def _make_network(self, stack: ExitStack) -> None:
        # A run killed before its clean-up leaves its namespace behind, with
        # the addresses this one needs.
        for line in ip("netns", "list").splitlines():
            name = line.split()[0] if line.strip() else ""
            tail = name[len(NAME_PREFIX):]
            if name.startswith(NAME_PREFIX) and tail.isdigit() and not _alive(int(tail)):
                ip("netns", "delete", name)
        ip("netns", "add", self.name)
        stack.callback(ip, "netns", "delete", self.name)
        ip("link", "add", self.outside, "type", "veth", "peer", "name", self.inside)
        stack.callback(self._delete_link)
        ip("link", "set", self.inside, "netns", self.name)
        ip("address", "add", f"{HOST_ADDRESS}/24", "dev", self.outside)
        ip("link", "set", self.outside, "up")
        ip("-n", self.name, "address", "add", f"{ADDRESS}/24", "dev", self.inside)
        ip("-n", self.name, "link", "set", self.inside, "up")

    def _delete_link(self) -> None:
        # Gone already when the namespace went first with its end.
        subprocess.run(["ip", "link", "delete", self.outside], capture_output=True, timeout=15)

    def _start_server(self, stack: ExitStack) -> None:
        here = Path(__file__).resolve().parent
        env = dict(os.environ, PYTHONPATH=os.pathsep.join([str(here), str(here.parent)]))
        # A file, not a pipe: tracebacks of dropped connections must not fill
        # a buffer nobody reads and stall the server.
        self.errors = stack.enter_context(tempfile.TemporaryFile("w+"))
        self.process = subprocess.Popen(
            ["ip", "netns", "exec", self.name, "/usr/bin/python3", str(self.script), ADDRESS],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self.errors,
            text=True, env=env)
        stack.callback(self._stop_server)
        threading.Thread(target=self._read, daemon=True).start()
        if not self._ready.wait(START_WAIT):
            self._stop_server()
            self.errors.seek(0)
            raise NamespaceError(f"the server in {self.name} did not start: "
                                 f"{self.errors.read()[-2000:]}")

    def _read(self) -> None:
        for line in self.process.stdout:
            word, _, value = line.strip().partition(" ")
            if word == "hit":
                self.hits[value] += 1
            elif word == "ready":
                self.port = int(value)
                self._ready.set()

    def _stop_server(self) -> None:
        if self.process.poll() is None:
            self.process.stdin.close()  # the script stops when its input ends
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=5)
        if self.process.returncode not in (0, None):
            print(f"{self.script.name} in {self.name} ended with {self.process.returncode}",
                  file=sys.stderr)
