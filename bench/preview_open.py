"""How soon the preview opens on large records, and whether the panel still answers while the
rest loads: a 50 MB text, a 1,000-page PDF, a 200 MB video file and a 20,000 x 20,000 JPEG, each
recorded from the clipboard by the real binary under a private Xvfb with openbox. Prints, per
record (twice), the time from Space to the preview's first frame (from Brivet's log), and from
Escape, pressed 100 ms after that frame (while the rest loads), to the preview window's
unmapping (seen with xwininfo; includes xdotool's own start of some 10 ms).

    BRIVET_BINARY=build/src/app/brivet python3 bench/preview_open.py
"""

import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
from brivet_e2e import (OUTCOME, Brivet, XSession, pdf_bytes, video_file,  # noqa: E402
                        wait_until)

FIRST_FRAME = r"brivet\.views: Brivet Preview first frame after (\d+) ms"


def preview_mapped(session):
    found = session.run(["xdotool", "search", "--onlyvisible", "--name", "^Brivet Preview$"],
                        check=False).stdout.split()
    return bool(found)


def main():
    folder = tempfile.mkdtemp(prefix="brivet-preview-bench-")
    big_video = os.path.join(folder, "big.webm")
    video_file(big_video, seconds=10)
    with open(big_video, "r+b") as handle:
        handle.truncate(200 * 1024 * 1024)
    big_pdf = os.path.join(folder, "pages.pdf")
    with open(big_pdf, "wb") as handle:
        handle.write(pdf_bytes(1000))
    big_image = os.path.join(folder, "huge.jpg")
    subprocess.run(["gst-launch-1.0", "-q", "videotestsrc", "num-buffers=1", "!",
                    "video/x-raw,width=20000,height=20000", "!", "jpegenc", "!", "filesink",
                    f"location={big_image}"], check=True, timeout=300)
    text = ("All work and no play makes a long clipboard. " * 1_200_000)[:50_000_000]

    session = XSession().start()
    brivet = Brivet(session)
    try:
        brivet.start()

        def copy(data, target=None):
            done = brivet.count_log(OUTCOME)
            session.copy(data, target)
            brivet.wait_for_log(OUTCOME, count=done + 1, timeout=120)

        # Oldest first: the text ends up at the right end of the strip.
        copy(text)
        for path in (big_pdf, big_video, big_image):
            copy(f"file://{path}\n", "text/uri-list")
        session.run(["xdotool", "key", "super+shift+v"])
        brivet.wait_for_log(r"brivet\.panel: keyboard grabbed")
        time.sleep(1)
        # Each one twice: the first preview of a kind also loads its libraries.
        for index, name in enumerate(["jpeg_20000x20000", "video_200MB", "pdf_1000_pages",
                                      "text_50MB"] * 2):
            if index == 4:
                session.run(["xdotool", "key", "Left", "Left", "Left"])
                time.sleep(0.5)
            elif index:
                session.run(["xdotool", "key", "Right"])
                time.sleep(0.5)
            name += "_again" if index >= 4 else ""
            frames = brivet.count_log(FIRST_FRAME)
            session.run(["xdotool", "key", "space"])
            brivet.wait_for_log(FIRST_FRAME, count=frames + 1, timeout=30)
            opened = [re.search(FIRST_FRAME, line) for line in brivet.log()]
            opened_ms = [int(match.group(1)) for match in opened if match][-1]
            time.sleep(0.1)
            start = time.monotonic()
            session.run(["xdotool", "key", "Escape"])
            wait_until(lambda: not preview_mapped(session), timeout=30, interval=0.005,
                       message="preview closed")
            closed_ms = (time.monotonic() - start) * 1000
            print(f"preview_{name}_first_frame_ms {opened_ms}")
            print(f"preview_{name}_later_escape_to_closed_ms {closed_ms:.0f}")
            time.sleep(0.5)
    finally:
        brivet.cleanup()
        session.stop()
        subprocess.run(["rm", "-rf", folder], check=False)


if __name__ == "__main__":
    main()
