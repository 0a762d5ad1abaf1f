"""The test host's avatar server: `python3 avatar_host.py ADDRESS`, run by
netns_host in its namespace. Prints "ready PORT", then "hit KIND" for each
request; stops when its input ends or its bounds are reached."""

import sys
import threading

from test_voice_overlay import AvatarServer


def main() -> None:
    printing = threading.Lock()

    def say(line: str) -> None:
        with printing:
            print(line, flush=True)

    server = AvatarServer(sys.argv[1], report=lambda kind: say(f"hit {kind}"))
    say(f"ready {server.port}")

    def until_input_ends():
        sys.stdin.read()
        server.closing.set()
    threading.Thread(target=until_input_ends, daemon=True).start()
    server.serving.join()


if __name__ == "__main__":
    main()
