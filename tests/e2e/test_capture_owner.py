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
OUTCOME = r"brivet\.capture: (recorded|skipped) "


class BurstTest(BrivetTestCase):
    """Twenty texts copied a moment apart, alternately in two windows of different
    applications, are all recorded, in order, each with the window it was copied in."""

    COPIES = 20

    def window(self, name):
        self.session.popen(["xmessage", "-name", name, f"{name} window"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        window = wait_until(lambda: self.session.run(
            ["xdotool", "search", "--classname", f"^{name}$"], check=False).stdout.split(),
            timeout=10, message=f"the {name} window")[0].decode()
        self.session.run(["xdotool", "set_window", "--class", name, "--classname", name,
                          window])
        return window

    def burst(self, interval):
        windows = [(self.window("BurstLeft"), "BurstLeft"),
                   (self.window("BurstRight"), "BurstRight")]
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
        owner = self.session.popen([OWNER, "UTF8_STRING=hunter2",
                                    "x-kde-passwordManagerHint=secret"],
                                   stdout=subprocess.PIPE, text=True)
        self.addCleanup(owner.stdout.close)
        self.assertEqual(owner.stdout.readline().strip(), "ready")
        self.brivet.wait_for_log(OUTCOME, timeout=15, count=2)
        owner.terminate()
        owner.wait(timeout=10)
        self.brivet.wait_for_log(r"owner quit after a change that was not recorded", timeout=15)
        self.assertEqual(self.session.run(["xclip", "-selection", "clipboard", "-o"],
                                          check=False).stdout, b"")
        self.assertEqual([row[1] for row in self.brivet.items()], ["visible"])


if __name__ == "__main__":
    unittest.main()
