"""Pasting a chosen record: it goes back on the clipboard with the targets applications ask
for, a synthesised paste shortcut reaches the window that was in front, and the paste is never
recorded as a new history entry. Driven by brivet_paste_driver (the real services, in place of
the panel), under Xvfb with openbox, against a real GTK text field (zenity) and xclip. A record
without the field its kind needs clears the clipboard: tst_pasteservice."""

import os
import shutil
import subprocess
import tempfile
import unittest

from brivet_e2e import PasteDriver, XSession, png_size, wait_until


class PasteTest(unittest.TestCase):
    def setUp(self, resume_delay=None):
        self.session = XSession().start()
        self.addCleanup(self.session.stop)
        self.home = tempfile.mkdtemp(prefix="brivet-paste-")
        self.addCleanup(shutil.rmtree, self.home, True)
        self.driver = PasteDriver(self.session, os.path.join(self.home, "history.sqlite"),
                                  resume_delay=resume_delay)
        self.addCleanup(self.driver.stop_cleanly)

    def targets(self):
        return self.session.paste("TARGETS").decode().split()

    def assert_not_recorded(self):
        """Only a copy made now gets recorded: changes are handled in order, so a paste that
        was recorded would be there before it."""
        self.driver.poll()
        self.session.copy("copied last")
        wait_until(lambda: "copied last" in self.driver.texts(), timeout=15,
                   message="the last copy recorded")
        self.assertEqual(self.driver.texts(), ["copied last"])

    def test_text_reaches_the_field_and_is_not_recorded(self):
        entry, window = self.session.open_entry()
        text = "Grüße aus Brivet ✓ 42"
        self.driver.paste({"kind": "text", "text": text})
        self.assertEqual(self.session.paste().decode(), text)
        self.assert_not_recorded()
        self.assertEqual(self.session.entry_text(entry, window), text)

    def test_link_offers_text_and_uri_list(self):
        url = "https://example.org/path?q=1"
        self.driver.paste({"kind": "link", "text": "ignored", "url": url})
        self.assertTrue({"UTF8_STRING", "text/uri-list"} <= set(self.targets()))
        self.assertEqual(self.session.paste("UTF8_STRING").decode(), url)
        self.assertEqual(self.session.paste("text/uri-list").decode(), url + "\r\n")
        self.assert_not_recorded()

    def test_file_offers_its_url_not_its_bytes(self):
        path = os.path.join(self.home, "My Report.txt")
        with open(path, "w") as file:
            file.write("contents that must not be pasted")
        self.driver.paste({"kind": "file", "path": path})
        url = "file://" + path.replace(" ", "%20")
        self.assertEqual(self.session.paste("text/uri-list").decode(), url + "\r\n")
        self.assertEqual(self.session.paste("x-special/gnome-copied-files").decode(),
                         "copy\n" + url)
        self.assertNotIn("UTF8_STRING", self.targets())
        self.assert_not_recorded()

    def test_images_keep_their_bytes_and_gain_png(self):
        for extension, target in (("png", "image/png"), ("jpg", "image/jpeg"),
                                  ("tiff", "image/tiff")):
            with self.subTest(extension):
                path = os.path.join(self.home, f"picture.{extension}")
                subprocess.run(["convert", "-size", "37x23", "xc:#3366cc", path], check=True)
                with open(path, "rb") as file:
                    original = file.read()
                self.driver.paste({"kind": "image", "imageFile": path})
                self.assertEqual(self.session.paste(target), original)
                png = self.session.paste("image/png")
                self.assertEqual(png_size(png), (37, 23))
                if extension == "png":
                    self.assertEqual(png, original)
                    self.assertNotIn("image/jpeg", self.targets())
                self.assertNotIn("image/tiff" if extension != "tiff" else "image/jpeg",
                                 self.targets())
        self.assert_not_recorded()

    def test_copy_during_the_paste_is_not_recorded(self):
        # A long pause, so that the copy surely falls into it however slow the machine.
        self.doCleanups()
        self.setUp(resume_delay=4000)
        self.driver.paste({"kind": "text", "text": "pasted"}, wait=False)
        self.session.copy("copied right after the paste")
        self.driver.expect("paste finished")
        self.assertEqual(self.session.paste().decode(), "copied right after the paste")
        self.assert_not_recorded()

    def test_held_shift_does_not_reach_the_field(self):
        entry, window = self.session.open_entry("Shifted")
        self.session.run(["xdotool", "keydown", "shift"])
        try:
            self.driver.paste({"kind": "text", "text": "plain paste"})
        finally:
            self.session.run(["xdotool", "keyup", "shift"])
        self.assertEqual(self.session.entry_text(entry, window), "plain paste")

    def test_stroke_goes_to_the_window_that_was_in_front(self):
        entry, window = self.session.open_entry("Chosen")
        other, other_window = self.session.open_entry("Other")
        self.driver.paste({"kind": "text", "text": "to the chosen one", "target": window})
        self.assertEqual(self.session.active_window(), window)
        self.assertEqual(self.session.entry_text(entry, window), "to the chosen one")
        self.assertEqual(self.session.entry_text(other, other_window), "")


if __name__ == "__main__":
    unittest.main()
