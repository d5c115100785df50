"""Clipboard capture end to end: real copies by xclip (and a small xcb owner) under Xvfb,
recorded by the real binary, read back from its database."""

import hashlib
import os
import select
import unittest

from brivet_e2e import OUTCOME, BrivetTestCase, png_bytes, png_size

MAX_FILE_DATA_SIZE = 26214400


class CaptureTest(BrivetTestCase):

    def file_data(self, pk):
        path = os.path.join(os.path.dirname(self.brivet.database_path),
                            "BrivetCloud_ExternalData", str(pk))
        with open(path, "rb") as file:
            return file.read()

    def test_text_and_link(self):
        self.copy_and_wait("plain words", records=1)
        self.copy_and_wait("https://example.com/page?q=1", records=2)
        self.assertEqual(self.brivet.items(), [
            ("text", "plain words", None, None, None),
            ("link", "https://example.com/page?q=1", "https://example.com/page?q=1",
             None, None),
        ])
        self.assertEqual(self.brivet.query(
            "SELECT characterCount FROM ClipboardItem ORDER BY pk"), [(11,), (28,)])
        self.assertEqual(self.brivet.count_log(r"brivet\.capture: recorded text item \d+"), 1)
        self.assertEqual(self.brivet.count_log(r"brivet\.capture: recorded link item \d+"), 1)

    def test_large_png_with_a_thumbnail_512_on_its_long_side(self):
        # Small images are their own thumbnail (tst_pasteboardreader).
        png = png_bytes(4000, 3000)
        self.copy_and_wait(png, target="image/png", records=1)
        rows = self.brivet.query(
            "SELECT c.contentType, c.imageDataSize, d.imageData, d.thumbnailData "
            "FROM ClipboardItem c JOIN ClipboardItemData d ON d.item = c.pk")
        self.assertEqual(len(rows), 1)
        kind, size, image, thumbnail = rows[0]
        self.assertEqual((kind, size), ("image", len(png)))
        self.assertEqual(hashlib.sha256(bytes(image)).digest(), hashlib.sha256(png).digest())
        self.assertEqual(png_size(bytes(thumbnail)), (512, 384))

    def test_two_files_in_order_with_contents(self):
        first = self.write_file("first notes.txt", b"first file\n")
        second = self.write_file("second.bin", bytes(range(256)) * 10)
        uris = f"file://{first.replace(' ', '%20')}\r\nfile://{second}\r\n"
        self.copy_and_wait(uris, target="text/uri-list", records=2)
        rows = self.brivet.query(
            "SELECT pk, contentType, filePath, fileName, fileDataSize "
            "FROM ClipboardItem ORDER BY timestamp, pk")
        self.assertEqual([row[1:5] for row in rows], [
            ("file", first, "first notes.txt", 11),
            ("file", second, "second.bin", 2560),
        ])
        self.assertEqual(self.file_data(rows[0][0]), b"first file\n")
        self.assertEqual(self.file_data(rows[1][0]), bytes(range(256)) * 10)

    def test_large_text_is_recorded_whole(self):
        line = b"0123456789 the quick brown fox jumps over the lazy dog\n"
        text = line * (8 * 1000 * 1000 // len(line))  # far over one property: sent by INCR
        self.copy_and_wait(text, records=1, timeout=60)
        kind, length, stored = self.brivet.query(
            "SELECT contentType, length(CAST(textContent AS BLOB)), textContent "
            "FROM ClipboardItem")[0]
        self.assertEqual(kind, "text")
        self.assertEqual(length, len(text))
        self.assertEqual(hashlib.sha256(stored.encode()).hexdigest(),
                         hashlib.sha256(text).hexdigest())

    def test_owner_that_never_answers_freezes_nothing(self):
        silent = self.start_owner("--silent", "UTF8_STRING=never sent")
        ready, _, _ = select.select([silent.stdout], [], [], 15)
        self.assertTrue(ready, "brivet never asked the silent owner")
        self.assertEqual(silent.stdout.readline().strip(), "asked TARGETS")
        # Brivet waits for it a bounded time: the next real copy is recorded.
        self.copy_and_wait("after the silent owner", records=1, timeout=15)
        self.assertEqual(self.brivet.items()[0][1], "after the silent owner")

    def test_concealed_content_is_not_recorded(self):
        finished = self.brivet.count_log(OUTCOME)
        self.start_owner("UTF8_STRING=hunter2", "text/plain=hunter2",
                         "x-kde-passwordManagerHint=secret")
        self.brivet.wait_for_log(OUTCOME, count=finished + 1, timeout=15)
        self.assertEqual(self.record_count(), 0)
        self.assertEqual(self.session.paste().decode(), "hunter2")  # it was offered
        self.copy_and_wait("visible", records=1)
        self.assertEqual([row[1] for row in self.brivet.items()], ["visible"])
        rows = self.brivet.query("SELECT count(*) FROM ClipboardItem WHERE textContent LIKE ?",
                                 ("%hunter2%",))
        self.assertEqual(rows[0][0], 0)

    def test_owner_with_several_targets_gives_one_record(self):
        self.start_owner("UTF8_STRING=https://example.org", "text/html=<b>x</b>")
        self.wait_for_records(1)
        self.assertEqual(self.brivet.items(), [
            ("link", "https://example.org", "https://example.org", None, None)])

    def test_quitting_in_the_middle_of_a_capture_is_clean(self):
        self.copy_and_wait("first", records=1)
        big = self.write_file("big.bin", size=MAX_FILE_DATA_SIZE)
        seen = self.brivet.count_log(r"brivet\.capture: change \d+ found")
        self.session.copy(f"file://{big}\n", target="text/uri-list")
        self.brivet.wait_for_log(r"brivet\.capture: change \d+ found", count=seen + 1,
                                 timeout=15)
        self.assertEqual(self.brivet.stop(), 0, "\n".join(self.brivet.log()))
        self.assertGreaterEqual(self.record_count(), 1)


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
