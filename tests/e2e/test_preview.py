"""The preview, end to end: the real binary under Xvfb with openbox, a PDF, a video, an image
and an image file recorded from the clipboard, Space and Escape from xdotool. The preview hangs in a window
of its own above the selected card, sized by the record's kind, while the panel keeps the
keyboard."""

import os
import unittest

from brivet_e2e import PanelTestCase, pdf_bytes, png_bytes, video_file, wait_until

VIDEO_PLAYING = r"brivet\.views: video playing"
VIDEO_RELEASED = r"brivet\.views: video released"
# Around the content: 16 of padding on each side.
PADDING = 16


class PreviewTest(PanelTestCase):
    def copy_file(self, path, records):
        self.copy_and_wait(f"file://{path}\n", "text/uri-list", records=records)

    def preview_window(self):
        return self.panel_window("Brivet Preview")

    def open_preview(self):
        """The preview's window once shown and settled: its width and height follow the
        content one after the other, so a window read in between has one of each."""
        self.press("space")
        wait_until(self.preview_window, message="preview shown")
        last = {}

        def settled():
            nonlocal last
            info = self.preview_window()
            keys = ("Width", "Height", "Absolute upper-left X", "Absolute upper-left Y")
            same = info and last and all(info[key] == last[key] for key in keys)
            last = info or {}
            return info if same else None
        return wait_until(settled, interval=0.1, message="preview settled")

    def close_preview(self):
        self.press("Escape")
        wait_until(lambda: self.preview_window() is None, message="preview closed")

    def centre_colour(self, info):
        """The colour at the centre of the preview's content, as "r,g,b"."""
        shot = self.session.run(["import", "-window", info["xwininfo"].split()[2], "png:-"]).stdout
        x, y = PADDING + 200, PADDING + 150
        channels = ",".join(f"%[fx:int(255*p{{{x},{y}}}.{channel})]" for channel in "rgb")
        return self.session.run(["convert", "png:-", "-format", channels, "info:"],
                                input=shot).stdout.decode()

    def picture_corners(self, panel, colour):
        """The four corners of the box around the pixels of the two first cards in colour,
        each (x, y, whether it has the colour), once the picture is drawn."""
        x0, y0 = int(panel["Absolute upper-left X"]), int(panel["Absolute upper-left Y"])
        width, height = 16 + 2 * 168, int(panel["Height"])

        def found():
            shot = self.session.screenshot(x0, y0, width, height)
            points = {(i % width, i // width) for i in range(width * height)
                      if tuple(shot[3 * i:3 * i + 3]) == colour}
            return points or None
        points = wait_until(found, message=f"picture in {colour}")
        xs, ys = [x for x, _ in points], [y for _, y in points]
        return [(x, y, (x, y) in points) for x in (min(xs), max(xs)) for y in (min(ys), max(ys))]

    def test_space_previews_pdf_video_and_image_above_the_card_and_escape_closes(self):
        self.copy_file(self.write_file("report.pdf", pdf_bytes(3)), 1)
        self.copy_file(video_file(self.write_file("clip.webm")), 2)
        self.copy_and_wait(png_bytes(600, 400), "image/png", records=3)
        # An image file gone since it was copied: its stored thumbnail stands in.
        picture = self.write_file("gone.png", png_bytes(300, 200, (200, 80, 40)))
        self.copy_file(picture, 4)
        os.remove(picture)
        entry, window = self.session.open_entry()
        panel = self.show_panel()
        panel_top = int(panel["Absolute upper-left Y"])
        # Card pictures are cut to a rounded rectangle: no corner of their box is theirs.
        for colour in ((200, 80, 40), (40, 120, 200)):
            corners = self.picture_corners(panel, colour)
            self.assertFalse(any(inside for _, _, inside in corners), (colour, corners))

        # Newest first; Right moves on once the preview is closed. The same frame around each
        # content size.
        frames = set()
        for index, (kind, width, height, colour) in enumerate(
                [("image file", 480, 340, "200,80,40"), ("image", 480, 340, "40,120,200"),
                 ("video", 480, 300, None), ("PDF", 440, 380, None)]):
            if index:
                self.press("Right")
            played = self.brivet.count_log(VIDEO_PLAYING)
            info = self.open_preview()
            self.assertEqual(int(info["Width"]), width + 2 * PADDING, kind)
            frames.add(int(info["Height"]) - height)
            # Above the panel, its arrow reaching down onto the card, and no keyboard taken.
            bottom = int(info["Absolute upper-left Y"]) + int(info["Height"])
            self.assertGreater(bottom, panel_top, kind)
            self.assertLess(bottom, panel_top + int(panel["Height"]), kind)
            self.assertEqual(info["Override Redirect State"], "yes")
            self.assertEqual(self.session.active_window(), window)
            if colour:
                wait_until(lambda: self.centre_colour(info) == colour, message=f"{kind} shown")
            if kind == "video":
                self.brivet.wait_for_log(VIDEO_PLAYING, count=played + 1, timeout=15)
                self.close_preview()
                self.brivet.wait_for_log(VIDEO_RELEASED)
            else:
                self.close_preview()
            self.assertIsNotNone(self.panel_window())
        self.assertEqual(len(frames), 1, frames)
        self.assertGreater(frames.pop(), 2 * PADDING)

        # Space toggles too; a click in the panel dismisses it; the panel's hiding takes it along.
        self.open_preview()
        self.press("space")
        wait_until(lambda: self.preview_window() is None, message="preview closed by Space")
        self.open_preview()
        # In the header, right of the preview, left of the settings button.
        right = int(panel["Absolute upper-left X"]) + int(panel["Width"])
        self.session.click(right - 300, panel_top + 20)
        wait_until(lambda: self.preview_window() is None, message="preview closed by a click")
        self.assertIsNotNone(self.panel_window())
        self.open_preview()
        self.press("super+shift+v")
        self.wait_hidden(1)
        wait_until(lambda: self.preview_window() is None, message="preview hidden with the panel")
        entry.kill()


if __name__ == "__main__":
    unittest.main()
