"""Capture against the clipboard's owners end to end: copies in quick succession from two
windows, owners that quit after Brivet has read them, and owners slow to render an image."""

import os
import subprocess
import time
import unittest

from brivet_e2e import BrivetTestCase, png_bytes, wait_until

CHANGE_READ = r"brivet\.platform: clipboard change \d+ with"


def open_window(session, name):
    """A small window of an application called name (its window class), made active."""
    session.popen(["xmessage", "-name", name, name], stderr=subprocess.DEVNULL)
    window = wait_until(lambda: session.run(["xdotool", "search", "--classname", f"^{name}$"],
                                            check=False).stdout.split(), timeout=10)[0]
    session.run(["xdotool", "set_window", "--class", name, window])
    session.run(["xdotool", "windowactivate", "--sync", window])
    return window


class CaptureOwnerTest(BrivetTestCase):

    def records(self, count, columns="contentType, textContent, sourceAppName"):
        wait_until(lambda: len(self.brivet.items()) >= count, timeout=30,
                   message=f"{count} records: {self.brivet.items()}")
        return self.brivet.query(f"SELECT {columns} FROM ClipboardItem ORDER BY timestamp, pk")

    def test_burst_from_two_windows(self):
        # Twenty texts 0.1 s apart from two windows: each recorded, in order, dated, credited.
        # The window in front when Brivet sees a copy is the one credited: the next window
        # comes to the front once Brivet has read the copy before (at once, unless the machine
        # is loaded). The closing copy keeps the spacing too: "copy 19" must not be replaced
        # before Brivet has read it (X11 can lose a copy replaced at once, unread).
        names = ["BurstLeft", "BurstRight"]
        windows = [open_window(self.session, name) for name in names]
        texts = [f"copy {i:02}" for i in range(20)] + ["last"]
        read = self.brivet.count_log(CHANGE_READ)
        start = time.monotonic()
        for i, text in enumerate(texts):
            time.sleep(max(0.0, start + i * 0.1 - time.monotonic()))
            self.brivet.wait_for_log(CHANGE_READ, count=read + i)
            self.session.run(["xdotool", "windowactivate", "--sync", windows[i % 2]])
            self.session.copy(text)
        # Changes are recorded in order: the others came before "last".
        wait_until(lambda: "last" in [row[1] for row in self.brivet.items()], timeout=30)
        rows = self.records(0, "textContent, sourceAppName, timestamp")[:-1]
        self.assertEqual([row[:2] for row in rows], [(text, names[i % 2])
                                                     for i, text in enumerate(texts[:-1])])
        self.assertEqual(len({row[2] for row in rows}), len(rows))  # not the time of a poll

    def test_the_clipboard_outlives_its_owner_but_not_a_secret(self):
        for data, target in [(b"kept after its owner quit", "UTF8_STRING"),
                             (png_bytes(64, 48), "image/png")]:
            # xclip serves Brivet's one request for the data, then quits.
            xclip = self.session.popen(["xclip", "-quiet", "-selection", "clipboard", "-l", "1",
                                        "-t", target, "-i"], stdin=subprocess.PIPE,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            xclip.communicate(data, timeout=30)
            wait_until(lambda: self.session.paste(target, check=False) == data, timeout=15,
                       message=f"{target} offered again")
        # A secret is offered by its owner but never recorded; when it quits, nothing is kept.
        owner = self.start_owner("UTF8_STRING=hunter2", "x-kde-passwordManagerHint=secret")
        self.brivet.wait_for_log(r"skipped a secret", timeout=15)
        self.assertEqual(self.session.paste(), b"hunter2")
        owner.terminate()
        self.brivet.wait_for_log(r"owner quit after a change that was not recorded", timeout=15)
        self.assertEqual(self.session.paste("TARGETS", check=False), b"")
        # Brivet's own offers were not recorded; a new copy is, and takes the clipboard.
        self.session.copy("next")
        self.assertEqual([row[:2] for row in self.records(3)],
                         [("text", "kept after its owner quit"), ("image", None), ("text", "next")])
        self.assertEqual(self.session.paste(), b"next")

    def test_the_text_is_recorded_whatever_becomes_of_the_image(self):
        # A text with a slow, unsent, refused or undecodable image, as a spreadsheet offers.
        png, garbage = (os.path.join(self.brivet.home, name) for name in ("a.png", "bad.png"))
        with open(png, "wb") as file, open(garbage, "wb") as bad:
            file.write(png_bytes(32, 32))
            bad.write(b"\x89PNG but not really")
        open_window(self.session, "Sheet")
        expected = []
        for name, image in [("slow", f"image/png:slow=@{png}"), ("never", f"image/png:never=@{png}"),
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
