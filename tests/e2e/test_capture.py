"""Clipboard capture end to end: real copies by xclip (and a small xcb owner) under Xvfb,
recorded by the real binary, read back from its database."""

import hashlib
import os
import select
import subprocess
import unittest

from brivet_e2e import BINARY, BrivetTestCase

MAX_FILE_DATA_SIZE = 26214400


class CaptureTest(BrivetTestCase):

    def test_files_in_order_with_their_contents_then_a_link(self):
        first = self.write_file("first notes.txt", b"first file\n")
        second = self.write_file("second.bin", bytes(range(256)) * 10)
        uris = f"file://{first.replace(' ', '%20')}\r\nfile://{second}\r\n"
        self.copy_and_wait(uris, target="text/uri-list", records=2)
        self.copy_and_wait("https://example.com/?q=1", records=3)
        self.assertEqual(self.brivet.items(), [
            ("file", None, None, first, "first notes.txt"),
            ("file", None, None, second, "second.bin"),
            ("link", "https://example.com/?q=1", "https://example.com/?q=1", None, None)])
        stored = os.path.join(os.path.dirname(self.brivet.database_path),
                              "BrivetCloud_ExternalData")
        for (pk,), data in zip(self.brivet.query("SELECT pk FROM ClipboardItem WHERE filePath "
                                                 "IS NOT NULL ORDER BY timestamp, pk"),
                               [b"first file\n", bytes(range(256)) * 10]):
            with open(os.path.join(stored, str(pk)), "rb") as file:
                self.assertEqual(file.read(), data)

    def test_large_text_by_incr_is_recorded_whole(self):
        line = b"0123456789 the quick brown fox jumps over the lazy dog\n"
        text = line * (8 * 1000 * 1000 // len(line))
        self.copy_and_wait(text, records=1, timeout=60)
        (stored,), = self.brivet.query("SELECT textContent FROM ClipboardItem")
        self.assertEqual(hashlib.sha256(stored.encode()).digest(), hashlib.sha256(text).digest())

    def test_owner_that_never_answers_freezes_nothing(self):
        silent = self.start_owner("--silent", "UTF8_STRING=never sent")
        self.assertTrue(select.select([silent.stdout], [], [], 15)[0], "never asked")
        self.assertEqual(silent.stdout.readline().strip(), "asked TARGETS")
        self.copy_and_wait("after the silent owner", records=1, timeout=15)
        self.assertEqual(self.brivet.items()[0][1], "after the silent owner")

    def test_quitting_in_the_middle_of_a_capture_is_clean(self):
        self.copy_and_wait("first", records=1)
        big = self.write_file("big.bin", size=MAX_FILE_DATA_SIZE)
        seen = self.brivet.count_log(r"brivet\.capture: change \d+ found")
        self.session.copy(f"file://{big}\n", target="text/uri-list")
        self.brivet.wait_for_log(r"brivet\.capture: change \d+ found", count=seen + 1)
        self.assertEqual(self.brivet.stop(), 0, "\n".join(self.brivet.log()))


class PauseTest(BrivetTestCase):

    def brivet_command(self, *arguments):
        return subprocess.run([BINARY, *arguments], env=self.brivet.env, capture_output=True,
                              text=True, timeout=30)

    def test_nothing_is_recorded_while_paused_nor_what_is_copied_at_resume(self):
        self.copy_and_wait("before", records=1)
        self.assertEqual(self.brivet_command("--pause", "0").returncode, 2)
        self.assertEqual(self.brivet_command("--pause", "30").returncode, 0)
        self.brivet.wait_for_log(r"brivet\.app: recording paused for 30 minutes")
        self.session.copy("during")
        self.brivet.wait_for_log(r"clipboard change 2\b")
        self.assertEqual(self.brivet_command("--resume").returncode, 0)
        self.brivet.wait_for_log(r"brivet\.app: recording resumed")
        self.copy_and_wait("after", records=2)
        self.assertEqual([item[1] for item in self.brivet.items()], ["before", "after"])


class CaptureAtStartTest(BrivetTestCase):
    start_brivet = False

    def test_content_before_start_is_not_recorded(self):
        self.session.copy("was there before")
        self.brivet.start()
        self.brivet.wait_for_log(r"brivet\.capture: monitoring from change")
        self.session.copy("copied afterwards")
        self.wait_for_records(1)
        self.assertEqual([row[1] for row in self.brivet.items()], ["copied afterwards"])


if __name__ == "__main__":
    unittest.main()
