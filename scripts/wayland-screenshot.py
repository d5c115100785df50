"""The history panel natively under a headless sway (run as the unprivileged user the Wayland
tests use), shot with grim: a few copies made with wl-copy, the panel shown with
`brivet --toggle`.

    BRIVET_BINARY=build/src/app/brivet python3 scripts/wayland-screenshot.py OUT.png
"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
import wayland_session  # noqa: E402
from brivet_e2e import BINARY, Brivet, wait_until  # noqa: E402

COPIES = ("https://en.wikipedia.org/wiki/Clipboard_(computing)",
          "SELECT name, email FROM users WHERE created_at > now() - interval '7 days'",
          "Grüße aus Brivet ✓")


def main():
    if not wayland_session.available("sway"):
        print("sway is not installed: no Wayland screenshot")
        return
    session = wayland_session.WaylandSession("sway").start()
    try:
        brivet = Brivet(session, home=session.private_folder("brivet-shot-"))
        brivet.start()
        for text in COPIES:
            session.copy(text)
            wait_until(lambda: text in [row[1] for row in brivet.items()], timeout=20,
                       message=f"{text!r} recorded")
        session.run([BINARY, "--toggle"], check=False)
        brivet.wait_for_log(r"brivet\.panel: keyboard grabbed")
        brivet.wait_for_log(r"brivet\.panel: first frame")
        session.run(["sleep", "0.5"])  # past the 250 ms slide
        with open(sys.argv[1], "wb") as shot:
            shot.write(session.run(["grim", "-"]).stdout)
        brivet.stop()
    finally:
        session.stop()


if __name__ == "__main__":
    main()
