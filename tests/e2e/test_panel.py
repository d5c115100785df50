"""The history panel, end to end: the real binary under Xvfb with openbox, a real GTK text
field (zenity) in front, texts copied with xclip, keys and clicks from xdotool, and the real
database read back. The panel must take the keyboard without changing the active window, and
a chosen record must be pasted into the window that was in front."""

import re
import subprocess
import time
import unittest

from brivet_e2e import BrivetTestCase, wait_until

PANEL_SHOWN = r"brivet\.panel: shown at"
PANEL_HIDDEN = r"brivet\.panel: hidden"
KEYBOARD_GRABBED = r"brivet\.panel: keyboard grabbed"
PASTE_FINISHED = r"brivet\.paste: paste finished"


class PanelTest(BrivetTestCase):
    def copy_texts(self, *texts):
        """Copies each text and waits until the store holds it."""
        for text in texts:
            before = len(self.brivet.items())
            self.session.copy(text)
            wait_until(lambda: len(self.brivet.items()) > before, timeout=10,
                       message=f"record of {text!r}")

    def open_entry(self, title="Target"):
        entry = self.session.popen(["zenity", "--entry", f"--title={title}", "--text=Paste"],
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.addCleanup(lambda: entry.poll() is None and entry.kill())
        window = int(wait_until(lambda: self.session.run(
            ["xdotool", "search", "--name", f"^{title}$"], check=False).stdout.split(),
            timeout=20, message=f"zenity window {title}")[0])
        wait_until(lambda: self.active_window() == window, timeout=10, message=f"{title} active")
        return entry, window

    def active_window(self):
        result = self.session.run(["xprop", "-root", "_NET_ACTIVE_WINDOW"], check=False)
        found = re.search(rb"window id # (0x[0-9a-f]+)", result.stdout)
        return int(found.group(1), 16) if found else 0

    def entry_text(self, entry):
        """Submits the entry with Return and returns what it held."""
        self.session.run(["xdotool", "key", "Return"])
        output, _ = entry.communicate(timeout=10)
        return output.rstrip("\n")

    def press(self, *keys):
        self.session.run(["xdotool", "key", "--delay", "30", *keys])

    def show_panel(self):
        shown = self.brivet.count_log(PANEL_SHOWN)
        grabbed = self.brivet.count_log(KEYBOARD_GRABBED)
        self.press("super+shift+v")
        self.brivet.wait_for_log(PANEL_SHOWN, count=shown + 1)
        # Keys typed before the grab would still go to the window in front.
        self.brivet.wait_for_log(KEYBOARD_GRABBED, count=grabbed + 1)

    def panel_window(self):
        """xwininfo's fields of the panel window, or None when it is not mapped."""
        # The only mapped one of Brivet's windows (Qt's unmapped leader window has the name too).
        found = self.session.run(["xdotool", "search", "--onlyvisible", "--name", "^Brivet$"],
                                 check=False).stdout.split()
        if not found:
            return None
        result = self.session.run(["xwininfo", "-id", found[0]], check=False)
        if result.returncode != 0 or b"IsViewable" not in result.stdout:
            return None
        fields = {}
        for line in result.stdout.decode().splitlines():
            key, _, value = line.strip().partition(":")
            fields[key.strip()] = value.strip()
        return fields

    def wait_hidden(self, count):
        self.brivet.wait_for_log(PANEL_HIDDEN, count=count)
        wait_until(lambda: self.panel_window() is None, message="panel unmapped")

    def newest_text(self):
        return self.brivet.query(
            "SELECT textContent FROM ClipboardItem ORDER BY timestamp DESC LIMIT 1")[0][0]

    def test_right_and_return_paste_the_second_newest_into_the_window_in_front(self):
        self.copy_texts("first text", "second text", "third text")
        entry, window = self.open_entry()

        self.show_panel()
        # Override-redirect, along the bottom edge: screen width - 32, 22 % of the height,
        # resting 8 above the bottom once the slide is over.
        width, height = self.session.width - 32, int(self.session.height * 0.22)
        resting_y = self.session.height - 8 - height
        geometry = wait_until(lambda: (info := self.panel_window()) and
                              info["Absolute upper-left Y"] == str(resting_y) and info,
                              message="panel at rest")
        self.assertEqual(geometry["Override Redirect State"], "yes")
        self.assertEqual(geometry["Absolute upper-left X"], "16")
        self.assertEqual((geometry["Width"], geometry["Height"]), (str(width), str(height)))
        self.assertEqual(self.active_window(), window)

        self.press("Right", "Return")
        self.brivet.wait_for_log(PASTE_FINISHED, timeout=15)
        self.assertEqual(self.active_window(), window)
        self.assertIsNone(self.panel_window())
        self.assertEqual(self.entry_text(entry), "second text")
        self.assertEqual(self.newest_text(), "second text")
        self.assertEqual(len(self.brivet.items()), 3)

    def test_typed_search_finds_the_one_record_also_in_other_case_and_accents(self):
        self.copy_texts("l'école du quartier", "bonjour", "rendez-vous demain")
        for search, expected in [("demain", "rendez-vous demain"),
                                 ("ÉCOLE", "l'école du quartier")]:
            with self.subTest(search=search):
                entry, _ = self.open_entry(f"Search {search}")
                self.show_panel()
                self.session.run(["xdotool", "type", "--delay", "40", search])
                self.press("Return")
                self.brivet.wait_for_log(PASTE_FINISHED, timeout=15,
                                         count=self.brivet.count_log(PASTE_FINISHED) + 1)
                self.assertEqual(self.entry_text(entry), expected)
                self.assertEqual(self.newest_text(), expected)

    def test_escape_a_click_elsewhere_and_the_shortcut_hide_the_panel(self):
        self.copy_texts("something")
        entry, window = self.open_entry()
        hidden = 0

        self.show_panel()
        self.press("Escape")
        hidden += 1
        self.wait_hidden(hidden)

        # A click on zenity's Cancel button hides the panel and still reaches zenity, which
        # then exits with status 1.
        self.show_panel()
        self.assertEqual(self.active_window(), window)
        location = self.session.run(["xdotool", "getwindowgeometry", str(window)]).stdout.decode()
        x, y = map(int, re.search(r"Position: (\d+),(\d+)", location).groups())
        w, h = map(int, re.search(r"Geometry: (\d+)x(\d+)", location).groups())
        # Cancel is the left one of the two buttons along the bottom of the dialog.
        self.session.run(["xdotool", "mousemove", str(x + w // 4), str(y + h - 40), "click", "1"])
        hidden += 1
        self.wait_hidden(hidden)
        self.assertEqual(entry.wait(timeout=10), 1)

        # The shortcut shows the panel, and pressed again (it reaches the panel, which holds
        # the keyboard) hides it.
        self.show_panel()
        self.press("super+shift+v")
        hidden += 1
        self.wait_hidden(hidden)
        self.show_panel()
        self.assertIsNotNone(self.panel_window())

    def test_delete_removes_the_selected_record_or_the_last_typed_character(self):
        self.copy_texts("alpha one", "beta two", "gamma three")
        entry, window = self.open_entry()

        self.show_panel()
        self.press("Right", "BackSpace")
        wait_until(lambda: len(self.brivet.items()) == 2, message="record deleted")
        self.assertNotIn("beta two", [item[1] for item in self.brivet.items()])

        # "alphx" matches nothing; Delete takes the x back and "alph" finds alpha.
        self.session.run(["xdotool", "type", "--delay", "40", "alphx"])
        self.press("BackSpace", "Return")
        self.brivet.wait_for_log(PASTE_FINISHED, timeout=15)
        self.assertEqual(self.entry_text(entry), "alpha one")
        self.assertEqual(len(self.brivet.items()), 2)

    def test_cards_answer_double_clicks_and_their_context_menu(self):
        self.copy_texts("first card", "second card", "third card")
        entry, window = self.open_entry()
        self.show_panel()
        info = wait_until(lambda: (found := self.panel_window()) and
                          found["Absolute upper-left Y"] ==
                          str(self.session.height - 8 - int(self.session.height * 0.22)) and found,
                          message="panel at rest")
        top, height = int(info["Absolute upper-left Y"]), int(info["Height"])
        card_y = top + int(height * 0.65)

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
        self.assertEqual(self.brivet.count_log(PANEL_HIDDEN), 0)
        time.sleep(0.6)  # the strip closes the gap with a short animation

        # A double-click on the second card left ("first card") pastes it.
        self.session.run(["xdotool", "mousemove", str(card_x(1)), str(card_y),
                          "click", "--repeat", "2", "--delay", "80", "1"])
        self.brivet.wait_for_log(PASTE_FINISHED, timeout=15)
        self.assertEqual(self.active_window(), window)
        self.assertEqual(self.entry_text(entry), "first card")
        self.assertEqual(self.newest_text(), "first card")

    def test_the_active_window_never_changes_while_the_panel_is_shown(self):
        self.copy_texts("one", "two")
        entry, window = self.open_entry()
        seen = set()

        self.show_panel()
        for keys in [("Right",), ("t",), ("w",), ("Escape",), ("Left",)]:
            self.press(*keys)
            time.sleep(0.1)
            seen.add(self.active_window())
        self.press("Escape")
        self.wait_hidden(1)
        seen.add(self.active_window())
        self.assertEqual(seen, {window})


if __name__ == "__main__":
    unittest.main()
