"""The history panel, end to end: the real binary under Xvfb with openbox, a real GTK text
field (zenity) in front, texts copied with xclip, keys and clicks from xdotool, and the real
database read back. The panel must take the keyboard without changing the active window, and
a chosen record must be pasted into the window that was in front."""

import re
import time
import unittest

from brivet_e2e import PanelTestCase, wait_until

PASTE_FINISHED = r"brivet\.paste: paste finished"


class PanelTest(PanelTestCase):
    def copy_texts(self, *texts):
        for text in texts:
            before = len(self.brivet.items())
            self.session.copy(text)
            wait_until(lambda: len(self.brivet.items()) > before, timeout=10,
                       message=f"record of {text!r}")

    def assert_pasted(self, entry, text):
        self.brivet.wait_for_log(PASTE_FINISHED, timeout=15)
        self.assertEqual(self.session.entry_text(entry), text)
        self.assertEqual(self.brivet.query("SELECT textContent FROM ClipboardItem "
                                           "ORDER BY timestamp DESC LIMIT 1")[0][0], text)

    def test_right_and_return_paste_the_second_newest_into_the_window_in_front(self):
        self.copy_texts("first text", "second text", "third text")
        entry, window = self.session.open_entry()
        # Override-redirect along the bottom edge: screen width - 32, 22 % of the height.
        geometry = self.show_panel()
        self.assertEqual(geometry["Override Redirect State"], "yes")
        self.assertEqual(geometry["Absolute upper-left X"], "16")
        self.assertEqual((geometry["Width"], geometry["Height"]),
                         (str(self.session.width - 32), str(int(self.session.height * 0.22))))
        self.assertEqual(self.session.active_window(), window)

        self.press("Right", "Return")
        self.assert_pasted(entry, "second text")
        self.assertEqual(self.session.active_window(), window)
        self.assertIsNone(self.panel_window())
        self.assertEqual(len(self.brivet.items()), 3)

    def test_typed_search_finds_the_one_record_also_in_other_case_and_accents(self):
        self.copy_texts("l'école du quartier", "bonjour", "rendez-vous demain")
        entry, _ = self.session.open_entry()
        self.show_panel()
        self.session.run(["xdotool", "type", "--delay", "40", "ÉCOLE"])
        self.press("Return")
        self.assert_pasted(entry, "l'école du quartier")

    def test_a_click_elsewhere_and_the_shortcut_hide_the_panel(self):
        """Escape is a key like the others (tst_floatingpanel, tst_clipboardpanelviewstate). A
        click on zenity's Cancel button (the left one of the two along the bottom) hides the
        panel and still reaches zenity, which then exits with status 1."""
        self.copy_texts("something")
        entry, window = self.session.open_entry()
        self.show_panel()
        self.assertEqual(self.session.active_window(), window)
        location = self.session.run(["xdotool", "getwindowgeometry", str(window)]).stdout.decode()
        x, y = map(int, re.search(r"Position: (\d+),(\d+)", location).groups())
        w, h = map(int, re.search(r"Geometry: (\d+)x(\d+)", location).groups())
        self.session.run(["xdotool", "mousemove", str(x + w // 4), str(y + h - 40), "click", "1"])
        self.wait_hidden(1)
        self.assertEqual(entry.wait(timeout=10), 1)

        # The shortcut pressed again (it reaches the panel, which holds the keyboard) hides it.
        self.show_panel()
        self.press("super+shift+v")
        self.wait_hidden(2)
        self.show_panel()

    def test_cards_answer_double_clicks_and_their_context_menu(self):
        self.copy_texts("first card", "second card", "third card")
        entry, window = self.session.open_entry()
        info = self.show_panel()
        card_y = int(info["Absolute upper-left Y"]) + int(int(info["Height"]) * 0.65)

        def card_x(index):  # cards are 160 wide, 8 apart, after a margin of 16
            return int(info["Absolute upper-left X"]) + 16 + index * 168 + 80

        # Right-click the newest card and choose Delete (the only entry without categories of
        # the user's), just below and right of the pointer. The click inside the panel does
        # not hide it.
        self.session.run(["xdotool", "mousemove", str(card_x(0)), str(card_y), "click", "3"])
        time.sleep(0.5)
        self.session.run(["xdotool", "mousemove", str(card_x(0) + 40), str(card_y + 17),
                          "click", "1"])
        wait_until(lambda: len(self.brivet.items()) == 2, message="record deleted")
        self.assertNotIn("third card", [item[1] for item in self.brivet.items()])
        self.assertEqual(self.brivet.count_log(self.PANEL_HIDDEN), 0)
        time.sleep(0.6)  # the strip closes the gap with a short animation

        # A double-click on the second card left ("first card") pastes it.
        self.session.run(["xdotool", "mousemove", str(card_x(1)), str(card_y),
                          "click", "--repeat", "2", "--delay", "80", "1"])
        self.assert_pasted(entry, "first card")
        self.assertEqual(self.session.active_window(), window)


if __name__ == "__main__":
    unittest.main()
