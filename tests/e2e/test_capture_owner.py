"""Capture against the clipboard's owners end to end: copies in quick succession from two
windows, owners that quit after Brivet has read them, and owners slow to render an image."""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from brivet_e2e import BrivetTestCase, wait_until
from test_capture import png_bytes

OWNER = os.environ.get("BRIVET_CLIPBOARD_OWNER", "brivet_clipboard_owner")
OUTCOME = r"brivet\.capture: (recorded|skipped) "


def open_window(session, name):
    """A small window whose application is called name (its window class)."""
    session.popen(["xmessage", "-name", name, f"{name} window"],
                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    window = wait_until(lambda: session.run(
        ["xdotool", "search", "--classname", f"^{name}$"], check=False).stdout.split(),
        timeout=10, message=f"the {name} window")[0].decode()
    session.run(["xdotool", "set_window", "--class", name, "--classname", name, window])
    return window


def start_owner(test, *targets):
    owner = test.session.popen([OWNER, *targets], stdout=subprocess.PIPE, text=True)
    test.addCleanup(owner.stdout.close)
    test.assertEqual(owner.stdout.readline().strip(), "ready")
    return owner


class BurstTest(BrivetTestCase):
    """Twenty texts copied a moment apart, alternately in two windows of different
    applications, are all recorded, in order, each with the window it was copied in."""

    COPIES = 20

    def burst(self, interval):
        windows = [(open_window(self.session, "BurstLeft"), "BurstLeft"),
                   (open_window(self.session, "BurstRight"), "BurstRight")]
        texts = [f"burst {interval}s copy {i:02}" for i in range(self.COPIES)]
        start = time.monotonic()
        for i, text in enumerate(texts):
            time.sleep(max(0.0, start + i * interval - time.monotonic()))
            window, _ = windows[i % 2]
            self.session.run(["xdotool", "windowactivate", "--sync", window])
            self.session.copy(text)
        spent = time.monotonic() - start
        # The last copy is recorded once every earlier one has been handled.
        try:
            wait_until(lambda: self.brivet.query(
                "SELECT count(*) FROM ClipboardItem WHERE textContent = ?", (texts[-1],))[0][0],
                timeout=30, message="the last copy")
        except AssertionError:
            pass
        rows = self.brivet.query("SELECT textContent, sourceAppName FROM ClipboardItem "
                                 "ORDER BY timestamp, pk")
        recorded = [text for text, _ in rows]
        in_order = [text for text in recorded if text in texts] == sorted(set(recorded) & set(texts))
        right_source = sum(1 for text, source in rows
                           if text in texts and source == windows[texts.index(text) % 2][1])
        print(f"\nburst of {self.COPIES} copies {interval} s apart (took {spent:.2f} s): "
              f"recorded {len(set(recorded) & set(texts))}/{self.COPIES}, "
              f"{len(recorded)} records, in order: {in_order}, "
              f"right source: {right_source}/{self.COPIES}", file=sys.stderr)
        self.assertEqual(rows, [(text, windows[i % 2][1]) for i, text in enumerate(texts)])

    def test_copies_a_tenth_of_a_second_apart(self):
        self.burst(0.1)

    def test_copies_three_tenths_of_a_second_apart(self):
        self.burst(0.3)


class KeepAliveTest(BrivetTestCase):
    """An owner that quits once Brivet has read its copy leaves the copy on the clipboard."""

    def copy_and_quit(self, data, target=None):
        """xclip serves Brivet's request for the data (the list of targets aside) and exits."""
        args = ["xclip", "-quiet", "-selection", "clipboard", "-l", "1", "-i"]
        if target:
            args += ["-t", target]
        xclip = self.session.popen(args, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        xclip.stdin.write(data)
        xclip.stdin.close()
        xclip.wait(timeout=30)

    def test_text_and_image_outlive_their_owner(self):
        png = png_bytes(64, 48)
        for data, target in [(b"kept after its owner quit", None), (png, "image/png")]:
            self.copy_and_quit(data, target)
            self.brivet.wait_for_log(r"brivet\.paste: put a \w+ record back", timeout=15,
                                     count=1 if target is None else 2)
            self.assertEqual(self.session.paste(target), data)
        # Brivet's own offers are not recorded, and it gives the clipboard up to a new copy.
        self.session.copy("next")
        wait_until(lambda: len(self.brivet.items()) >= 3, timeout=15, message="3 records")
        self.assertEqual([row[0] for row in self.brivet.items()], ["text", "image", "text"])
        self.assertEqual(self.session.paste(), b"next")

    def test_secret_is_not_kept(self):
        self.session.copy("visible")
        wait_until(lambda: self.brivet.items(), timeout=15, message="a record")
        owner = start_owner(self, "UTF8_STRING=hunter2", "x-kde-passwordManagerHint=secret")
        self.brivet.wait_for_log(OUTCOME, timeout=15, count=2)
        owner.terminate()
        owner.wait(timeout=10)
        self.brivet.wait_for_log(r"owner quit after a change that was not recorded", timeout=15)
        self.assertEqual(self.session.run(["xclip", "-selection", "clipboard", "-o"],
                                          check=False).stdout, b"")
        self.assertEqual([row[1] for row in self.brivet.items()], ["visible"])


class SlowImageTest(BrivetTestCase):
    """A program that offers a text and an image, as a spreadsheet does, but is slow to render
    the image, never does, refuses it or renders something undecodable: the text is recorded,
    once, credited to its window, and the next copy is recorded as usual."""

    def records(self, count):
        wait_until(lambda: len(self.brivet.items()) >= count, timeout=20,
                   message=f"{count} records")
        return self.brivet.query("SELECT contentType, textContent, sourceAppName "
                                 "FROM ClipboardItem ORDER BY timestamp, pk")

    def test_the_text_is_recorded_whatever_becomes_of_the_image(self):
        files = tempfile.mkdtemp(prefix="brivet-e2e-images-")
        self.addCleanup(shutil.rmtree, files, True)
        png, garbage = os.path.join(files, "cells.png"), os.path.join(files, "garbage.png")
        with open(png, "wb") as file:
            file.write(png_bytes(32, 32))
        with open(garbage, "wb") as file:
            file.write(b"\x89PNG but not really")
        window = open_window(self.session, "Sheet")
        self.session.run(["xdotool", "windowactivate", "--sync", window])
        expected = []
        for name, image in [("slow", f"image/png:slow=@{png}"),
                            ("never", f"image/png:never=@{png}"),
                            ("refused", f"image/png:refuse=@{png}"),
                            ("undecodable", f"image/png=@{garbage}")]:
            text = f"cells under a {name} image"
            owner = start_owner(self, f"UTF8_STRING={text}", image)
            expected.append(("text", text, "Sheet"))
            self.assertEqual(self.records(len(expected)), expected, name)
            if name != "slow":  # the slow one answers late, and that must reach no later copy
                owner.terminate()
                owner.wait(timeout=10)
            self.session.copy(f"after the {name} image")
            expected.append(("text", f"after the {name} image", "Sheet"))
            self.assertEqual(self.records(len(expected)), expected, name)

        # Only an image, never delivered: nothing to record, and the next copy is recorded.
        start_owner(self, f"image/png:never=@{png}")
        self.brivet.wait_for_log(r"did not deliver image/png in time", timeout=15)
        self.session.copy("after the image alone")
        expected.append(("text", "after the image alone", "Sheet"))
        self.assertEqual(self.records(len(expected)), expected)


if __name__ == "__main__":
    unittest.main()
