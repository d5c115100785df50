"""Capture against the clipboard's owners end to end: copies in quick succession from two
windows, owners that quit after Brivet has read them, and owners slow to render an image."""

import os
import subprocess
import sys
import time
import unittest

from brivet_e2e import BrivetTestCase, wait_until
from test_capture import png_bytes

OWNER = os.environ.get("BRIVET_CLIPBOARD_OWNER", "brivet_clipboard_owner")


def open_window(session, name):
    """A small window of an application called name (its window class), made active."""
    session.popen(["xmessage", "-name", name, name], stderr=subprocess.DEVNULL)
    window = wait_until(lambda: session.run(["xdotool", "search", "--classname", f"^{name}$"],
                                            check=False).stdout.split(), timeout=10)[0]
    session.run(["xdotool", "set_window", "--class", name, window])
    session.run(["xdotool", "windowactivate", "--sync", window])
    return window


class CaptureOwnerTest(BrivetTestCase):

    def start_owner(self, *targets):
        owner = self.session.popen([OWNER, *targets], stdout=subprocess.PIPE, text=True)
        self.addCleanup(owner.stdout.close)
        self.assertEqual(owner.stdout.readline().strip(), "ready")
        return owner

    def records(self, count, columns="contentType, textContent, sourceAppName"):
        wait_until(lambda: len(self.brivet.items()) >= count, timeout=30,
                   message=f"{count} records")
        return self.brivet.query(f"SELECT {columns} FROM ClipboardItem ORDER BY timestamp, pk")

    def test_bursts_from_two_windows(self):
        """Twenty texts copied 0.1 s (then 0.3 s) apart, alternately in two applications, are
        all recorded once, in order, dated by their copy, each credited to its window."""
        names = ["BurstLeft", "BurstRight"]
        windows = [open_window(self.session, name) for name in names]
        expected = []
        for interval in (0.1, 0.3):
            texts = [f"{interval} s apart, copy {i:02}" for i in range(20)]
            start = time.monotonic()
            for i, text in enumerate(texts):
                time.sleep(max(0.0, start + i * interval - time.monotonic()))
                self.session.run(["xdotool", "windowactivate", "--sync", windows[i % 2]])
                self.session.copy(text)
            expected += [(text, names[i % 2]) for i, text in enumerate(texts)]
            try:
                self.records(len(expected))
            except AssertionError:
                pass  # reported below
            rows = self.records(0, "textContent, sourceAppName, timestamp")
            got = [row[:2] for row in rows if row[0] in texts]
            print(f"\n20 copies {interval} s apart: recorded {len(set(got))}/20, in order "
                  f"{[row[0] for row in got] == sorted(row[0] for row in got)}, right source "
                  f"{len(set(got) & set(expected))}/20", file=sys.stderr)
        self.assertEqual([row[:2] for row in rows], expected)
        self.assertEqual(len({row[2] for row in rows}), len(rows))  # not the time of a poll

    def test_the_clipboard_outlives_its_owner(self):
        for data, target in [(b"kept after its owner quit", "UTF8_STRING"),
                             (png_bytes(64, 48), "image/png")]:
            # xclip serves Brivet's one request for the data, then quits.
            xclip = self.session.popen(["xclip", "-quiet", "-selection", "clipboard", "-l", "1",
                                        "-t", target, "-i"], stdin=subprocess.PIPE,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            xclip.communicate(data, timeout=30)
            wait_until(lambda: self.session.run(["xclip", "-selection", "clipboard", "-o", "-t",
                                                 target], check=False).stdout == data,
                       timeout=15, message=f"{target} offered again")
        # Brivet's own offers were not recorded; a new copy is, and takes the clipboard.
        self.session.copy("next")
        expected = [("text", "kept after its owner quit"), ("image", None), ("text", "next")]
        self.assertEqual([row[:2] for row in self.records(3)], expected)
        self.assertEqual(self.session.paste(), b"next")
        # Not after a secret: its owner quits, and the clipboard stays empty.
        owner = self.start_owner("UTF8_STRING=hunter2", "x-kde-passwordManagerHint=secret")
        self.brivet.wait_for_log(r"skipped a secret", timeout=15)
        owner.terminate()
        self.brivet.wait_for_log(r"owner quit after a change that was not recorded", timeout=15)
        self.assertEqual(self.session.run(["xclip", "-selection", "clipboard", "-o", "-t",
                                           "TARGETS"], check=False).stdout, b"")
        self.assertEqual([row[:2] for row in self.records(3)], expected)

    def test_the_text_is_recorded_whatever_becomes_of_the_image(self):
        """As a spreadsheet offers a text and an image: the image is slow, never comes, is
        refused or cannot be decoded; the text is recorded once, credited to its window, and
        the next copy as usual. The next copy after the slow owner comes while its image is
        awaited; its late answer reaches no copy."""
        png = os.path.join(self.brivet.home, "cells.png")
        garbage = os.path.join(self.brivet.home, "garbage.png")
        with open(png, "wb") as file, open(garbage, "wb") as bad:
            file.write(png_bytes(32, 32))
            bad.write(b"\x89PNG but not really")
        open_window(self.session, "Sheet")
        expected = []
        for name, image in [("slow", f"image/png:slow=@{png}"),
                            ("never", f"image/png:never=@{png}"),
                            ("refused", f"image/png:refuse=@{png}"),
                            ("undecodable", f"image/png=@{garbage}")]:
            owner = self.start_owner(f"UTF8_STRING=cells, {name} image", image)
            expected.append(("text", f"cells, {name} image", "Sheet"))
            if name == "slow":
                wait_until(lambda: owner.stdout.readline().strip() == "asked image/png")
            else:
                self.assertEqual(self.records(len(expected)), expected)
            self.session.copy(f"after the {name} image")
            expected.append(("text", f"after the {name} image", "Sheet"))
            self.assertEqual(self.records(len(expected)), expected)
        # Only an image, never delivered: nothing to record, and the next copy is recorded.
        self.start_owner(f"image/png:never=@{png}")
        self.brivet.wait_for_log(r"did not deliver image/png in time", timeout=15)
        self.session.copy("after the image alone")
        expected.append(("text", "after the image alone", "Sheet"))
        self.assertEqual(self.records(len(expected)), expected)


if __name__ == "__main__":
    unittest.main()
