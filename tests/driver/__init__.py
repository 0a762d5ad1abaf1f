"""Test driver for the Velmo host under Wine: plays the Flutter side through
the substitute engine (testing/engine, flutter_windows.dll).

Start a program (cwd = its folder; runs `wine EXE --driver=127.0.0.1:PORT
ARGS...` in its own process group, in the Wine session of scripts/wine-env.sh):

    from driver import Driver, codec
    with Driver(bundle / "velmo.exe", args=["--x"], env={"NAME": "value"},
                transcript=tmp_path / "transcript.txt") as d:
        ...                              # start() waits for the engine's hello

Driver(exe, args=(), env=None, *, transcript=None, start_timeout=30.0,
       connect=True)
    start() / close() (also as a context manager). close() kills the program's
    process group if it still runs; never the wineserver. connect=False starts
    the program without --driver and without waiting for a connection.
    hello_pid, hello_args       the engine's hello: pid and entry arguments
    disconnect()                drops the connection; the program keeps running
    wait_exit(timeout) -> int   exit code (low 8 bits, as wine returns it)
    running                     whether the process still runs
    stdout_text(), stderr_text()  the program's output so far
    transcript                  every protocol line, timed, ">" out "<" in

Events (every engine line is an Event(kind, fields, index, time)):
    mark() -> int               index of the next event; pass as after=
    events(kind=None, after=0) -> [Event]
    wait_for(kind, predicate=None, timeout=15, after=0) -> Event
    wait_frame(timeout, after)  the next-frame callback was called
    wait_view() -> (hwnd, width, height)
    wait_handler(channel, present=True, timeout, after); handler_set(channel)
    wait_registrar(name); registrars() -> [name, ...] in order asked
    wait_bye()
    wait_for("attached")        the host moved the view into its window
                                (field: the new parent's hwnd)
    Waits raise TimeoutError, or EngineGone once the connection is closed,
    with the last lines and the program's stderr in the message.

Messages to the host (raw bytes or method calls in the standard codec):
    message(channel, data) -> bytes         raw response (b"" when empty)
    message_async(channel, data) -> tag;  wait_response(tag) -> bytes
    response(tag) -> bytes | None;  responses_for(tag) -> int (lines seen)
    call(channel, method, arguments=None) -> codec.MethodResponse
        .kind "success" | "error" | "not_implemented", .value, .code,
        .message, .details, .is_success / .is_error / .is_not_implemented
    call_async(channel, method, arguments=None) -> tag

Messages from the host:
    sends(channel=None, after=0) -> [SendEvent(channel, tag, data, index)]
    wait_send(channel, method=None, timeout, after=0) -> SendEvent
        .wants_reply (tag != 0), .call() -> codec.MethodCall(method, arguments)
    reply(tag, data); reply_success(tag, value=None);
    reply_error(tag, code, message="", details=None); reply_not_implemented(tag)

Desktop (answered by the engine on the program's main thread):
    windows(pid=None) -> [WindowInfo]   top-level windows: hwnd, pid,
        class_name, title, visible, iconic, style, exstyle, left, top, right,
        bottom, rect, width, height
    own_windows(); find_window(class_name=None, title=None, pid=None)
    wait_window(predicate, timeout) -> WindowInfo
    foreground() -> hwnd;  post(hwnd, message, wparam=0, lparam=0) -> bool
    menu_items(hwnd) -> [(id, is_separator, text)]  of a popup menu window
    crash()                             access violation on the main thread
    stall(ms) -> tag                    the main thread sleeps without pumping
                                        messages; "result TAG end" when it woke
    query("process") -> [[committed, working_set, handles, gdi, user, threads]]
                                        the program's resources (Wine gives 0
                                        handles and GUI objects)
    screenshot(path, hwnd=None) -> Path whole screen or one window's rectangle
    query(kind, *fields) -> [[field, ...]]  any query, raw rows

driver.codec: encode/decode of values (None, bool, int -> int32 or int64,
Int32/Int64 to force one, float, str, bytes, Int32List, Int64List,
Float64List, Float32List, list, dict, MapPairs), encode_method_call,
decode_method_call, encode_success, encode_error, decode_response; decoding
is strict and raises codec.DecodeError.

driver.wine: wine_environment(), prepare_session(), prefix_dir(),
linux_path(windows_path), read_file(windows_path), user_dir(),
local_appdata_dir(), temp_dir(), screenshot(path, crop=None),
x_windows(name_regex, only_visible=False) -> [X window id], focus(x_window),
key(*keys, x_window=None), key_down(key), key_up(key), click(x, y, button=1).

Fixtures of tests/e2e/conftest.py: wine_session (session-wide: Xvfb, prefix,
persistent wineserver), bundle_dir and testbin_dir (from VELMO_BUNDLE_DIR /
VELMO_TESTBIN_DIR, else build/windows/...), start_program(exe, args=(),
env=None, **Driver options) -> started Driver (skipped when the exe is not
built; killed after the test; on failure the transcript tail and stderr are
printed).

The environment follows scripts/wine-env.sh: VELMO_WINEPREFIX and
VELMO_DISPLAY choose the prefix and X display.

Substitute-engine switches for tests (pass with env=):
    VELMO_SUBSTITUTE_ENGINE_FAIL_VIEW=1  FlutterDesktopViewControllerCreate
        fails (the engine it was given is destroyed)
    VELMO_SUBSTITUTE_ENGINE_FRAME_DELAY_MS=N  frames requested on the engine's
        thread are rendered N ms later, so a host can be seen before its first
        frame
"""

from . import codec, wine
from .driver import DEFAULT_TIMEOUT, Driver, EngineGone, Event, SendEvent, WindowInfo

__all__ = ["codec", "wine", "Driver", "EngineGone", "Event", "SendEvent", "WindowInfo",
           "DEFAULT_TIMEOUT"]
