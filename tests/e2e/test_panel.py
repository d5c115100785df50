"""The history panel, end to end: the real binary under Xvfb with openbox, a real GTK text
field (zenity) in front, texts copied with xclip, keys and clicks from xdotool, and the real
database read back. The panel must take the keyboard without changing the active window, and
a chosen record must be pasted into the window that was in front."""

import json
import os
import sqlite3
import subprocess
import unittest

from brivet_e2e import Brivet, PanelTestCase, XSession, png_bytes, read_lines, wait_until
from test_capture_owner import open_window

KEY_LOG_WINDOW = os.environ.get("BRIVET_KEY_LOG_WINDOW", "brivet_key_log_window")
PASTE_FINISHED = r"brivet\.paste: paste finished"
STACK_FINISHED = r"brivet\.paste: paste stack of \d+ finished"
POPOVER_DRAWN = r"brivet\.views: Brivet popover first frame after"
LONG_NAME = "Snippets for the quarterly planning and the retrospective"


class PanelTest(PanelTestCase):
    def assert_pasted(self, entry, text):
        self.brivet.wait_for_log(PASTE_FINISHED, timeout=15)
        self.assertEqual(self.session.entry_text(entry), text)
        self.assertEqual(self.brivet.query("SELECT textContent FROM ClipboardItem "
                                           "ORDER BY timestamp DESC LIMIT 1")[0][0], text)

    def test_ctrl_and_a_digit_paste_the_card_at_that_place(self):
        self.copy_texts("first text", "second text", "third text")
        entry, window = self.session.open_entry()
        self.show_panel()
        self.press("ctrl+3")
        self.assert_pasted(entry, "first text")

    def test_shift_return_pastes_the_plain_text_of_a_file_its_path(self):
        path = self.write_file("notes.txt", b"notes")
        self.copy_and_wait(f"file://{path}\n", target="text/uri-list", records=1)
        entry, window = self.session.open_entry()
        self.show_panel()
        self.press("shift+Return")
        self.brivet.wait_for_log(PASTE_FINISHED, timeout=15)
        self.assertEqual(self.session.entry_text(entry), path)

    def open_editor(self, types="text/html,image/png,text/plain"):
        """A window in front that pastes as an editor does: at Ctrl+V it asks for the first of
        the types the clipboard offers. The lines it prints."""
        window = self.session.popen([KEY_LOG_WINDOW, "org.example.Editor", types],
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        lines = []
        read_lines(window.stdout, lines)
        wait_until(lambda: "ready" in lines, timeout=20, message="the editor window shown")
        wait_until(lambda: self.session.windows("--name", "^Key log$") and
                   self.session.active_window() == int(self.session.windows("--name", "^Key log$")[0]),
                   timeout=10, message="the editor window active")
        return lines

    def received(self, lines, count):
        wait_until(lambda: len([line for line in lines if line.startswith("received")]) >= count,
                   timeout=15, message=f"{count} pastes received; got {lines}")
        return [line for line in lines if line.startswith("received")]

    def test_formatted_text_pastes_with_its_formatting_and_shift_return_without(self):
        html = "<p>Hello <b>bold</b> world</p>"
        owner = self.start_owner("UTF8_STRING=Hello bold world", f"text/html={html}",
                                 "text/rtf={\\rtf1 Hello {\\b bold} world}")
        self.wait_for_records(1)
        self.assertEqual(self.brivet.query(
            "SELECT r.mimeType, CAST(r.data AS TEXT) FROM ClipboardItemRepresentation r "
            "JOIN ClipboardItem i ON i.pk = r.item WHERE i.textContent = 'Hello bold world' "
            "ORDER BY r.mimeType"),
            [("text/html", html), ("text/rtf", "{\\rtf1 Hello {\\b bold} world}")])
        owner.terminate()
        lines = self.open_editor()
        self.show_panel()
        self.press("Return")
        self.assertEqual(self.received(lines, 1), [f"received text/html {html}"])
        self.brivet.wait_for_log(PASTE_FINISHED, timeout=15)
        self.assertEqual(self.session.paste("text/rtf").decode(), "{\\rtf1 Hello {\\b bold} world}")
        self.show_panel()
        self.press("shift+Return")
        self.assertEqual(self.received(lines, 2)[1], "received text/plain Hello bold world")
        self.assertEqual(len(self.brivet.items()), 1)

    def test_a_stack_pastes_its_items_in_marking_order_each_as_itself(self):
        self.copy_texts("first text")
        self.copy_and_wait(png_bytes(64, 40), target="image/png", records=2)
        self.copy_texts("second text")
        lines = self.open_editor()
        geometry = self.show_panel()
        # Cards, newest first: second text, the image, first text. Marked oldest first, the
        # image by Ctrl+click on the second card.
        self.press("Right", "Right", "ctrl+space")
        card_x = int(geometry["Absolute upper-left X"]) + 16 + 168 + 80
        card_y = int(geometry["Absolute upper-left Y"]) + int(geometry["Height"]) * 2 // 3
        self.session.run(["xdotool", "keydown", "ctrl", "mousemove", str(card_x), str(card_y),
                          "click", "1", "keyup", "ctrl"])
        self.brivet.wait_for_log(r"brivet\.views: ctrl\+click on card 1")
        self.press("Left", "ctrl+space", "Return")
        self.brivet.wait_for_log(STACK_FINISHED, timeout=30)
        self.assertEqual(self.received(lines, 3), ["received text/plain first text",
                                                   "received image/png 64x40",
                                                   "received text/plain second text"])
        # The last marked is the newest and stays on the clipboard; nothing was recorded again.
        self.assertEqual(self.brivet.query("SELECT contentType, textContent FROM ClipboardItem "
                                           "ORDER BY timestamp DESC, pk DESC"),
                         [("text", "second text"), ("image", None), ("text", "first text")])
        self.assertEqual(self.session.paste().decode(), "second text")

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

    def test_with_a_compositing_manager_the_panel_is_translucent_and_shows_the_desktop(self):
        """With xcompmgr the panel blends with the desktop, its corners and the shadow around
        it show the desktop; when it stops, the panel turns opaque and is cut to its outline;
        when one starts again, translucent again, all while it stays shown."""
        self.session.run(["xsetroot", "-solid", "#204060"])
        self.copy_texts("something")
        compositor = self.session.popen(["xcompmgr"], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        self.brivet.wait_for_log(r"a compositing manager started")
        self.show_panel(margin=18)
        width = self.session.width - 32
        left, top = 16, self.session.height - 8 - int(self.session.height * 0.22)
        corner, background = (left, top), (left + width - 60, top + 4)

        def distance(a, b):
            return max(abs(x - y) for x, y in zip(a, b))

        desktop = self.session.pixel(5, 5)
        blended = wait_until(lambda: (p := self.session.pixel(*background)) != desktop and p,
                             message="panel drawn")
        corner_blended = self.session.pixel(*corner)

        compositor.terminate()
        compositor.wait(timeout=10)
        self.brivet.wait_for_log(r"the compositing manager stopped")
        opaque = wait_until(lambda: (p := self.session.pixel(*background)) != blended and p,
                            message="panel opaque")
        plain_desktop = self.session.pixel(5, 5)
        self.assertEqual(self.session.pixel(*corner), plain_desktop)
        # Blended: between the panel's own colour and the desktop's, in every channel.
        for own, mixed, below in zip(opaque, blended, desktop):
            self.assertTrue(min(own, below) <= mixed <= max(own, below), (opaque, blended))
        self.assertGreater(distance(opaque, blended), 4)
        # The corner shows the desktop (under the shadow), not the panel.
        self.assertLess(distance(corner_blended, desktop), distance(corner_blended, opaque))

        compositor = self.session.popen(["xcompmgr"], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        self.brivet.wait_for_log(r"a compositing manager started", count=2)
        wait_until(lambda: self.session.pixel(*background) == blended, message="blended again")
        self.assertIsNotNone(self.panel_window())

        # The preview's window has room for a shadow (12 on each side) only while composited.
        def preview_width():
            info = self.panel_window("Brivet Preview")
            return info and int(info["Width"])
        self.press("space")
        composited_width = wait_until(preview_width, message="preview shown")
        compositor.terminate()
        compositor.wait(timeout=10)
        wait_until(lambda: preview_width() == composited_width - 24, message="preview narrower")

    def test_a_click_elsewhere_and_the_shortcut_hide_the_panel(self):
        """Escape is a key like the others (tst_floatingpanel, tst_clipboardpanelviewstate). A
        click on zenity's Cancel button (the left one of the two along the bottom) hides the
        panel and still reaches zenity, which then exits with status 1."""
        self.copy_texts("something")
        entry, window = self.session.open_entry()
        self.show_panel()
        self.assertEqual(self.session.active_window(), window)
        x, y, w, h = self.session.geometry(window)
        self.session.click(x + w // 4, y + h - 40)
        self.wait_hidden(1)
        self.assertEqual(entry.wait(timeout=10), 1)

        # The shortcut pressed again (it reaches the panel, which holds the keyboard) hides it,
        # also while the category editor ("+", after the default chip) has the keyboard.
        self.show_panel()
        self.press("super+shift+v")
        self.wait_hidden(2)
        info = self.show_panel()
        self.open_popover(int(info["Absolute upper-left X"]) + 364,
                          int(info["Absolute upper-left Y"]) + 21)
        self.press("super+shift+v")
        self.wait_hidden(3)
        wait_until(lambda: self.popover() is None, message="editor hidden with the panel")
        self.show_panel()

    def test_cards_answer_double_clicks_and_their_context_menu(self):
        self.copy_texts("first card", "second card", "third card")
        entry, window = self.session.open_entry()
        info = self.show_panel()
        card_y = int(info["Absolute upper-left Y"]) + int(int(info["Height"]) * 0.42)

        def card_x(index):  # cards are 160 wide, 8 apart, after a margin of 16
            return int(info["Absolute upper-left X"]) + 16 + index * 168 + 80

        # Right-click the newest card and choose Delete (the only entry without categories of
        # the user's), just below and right of the pointer.
        self.open_menu(card_x(0), card_y)
        self.session.click(card_x(0) + 40, card_y + 17)
        wait_until(lambda: len(self.brivet.items()) == 2, message="record deleted")
        self.assertNotIn("third card", [item[1] for item in self.brivet.items()])
        # The strip closes the gap with a short animation: done once the third place looks
        # like the empty fourth one.
        def place(index):
            return self.session.screenshot(card_x(index) - 80, card_y - 20, 160, 40)
        wait_until(lambda: place(2) == place(3), message="the strip at rest")

        # A double-click on the second card left ("first card") pastes it. The clicks inside
        # the panel before did not hide it: the paste is what hides it, once.
        self.session.click(card_x(1), card_y, repeat=2)
        self.assert_pasted(entry, "first card")
        self.wait_hidden(1)
        self.assertEqual(self.brivet.count_log(self.PANEL_HIDDEN), 1)
        self.assertEqual(self.session.active_window(), window)

    def popover(self):
        """(x, y, width, height) of the open popover window, or None."""
        found = self.session.windows("--name", "^Brivet popover$")
        return self.session.geometry(found[0]) if found else None

    def open_popover(self, x, y, button=1):
        """Clicks what opens a popover window; its geometry once its first frame is shown."""
        shown = self.brivet.count_log(POPOVER_DRAWN)
        self.session.click(x, y, button)
        self.brivet.wait_for_log(POPOVER_DRAWN, count=shown + 1)
        return wait_until(self.popover, message="popover open")

    def open_menu(self, x, y):
        """Right-clicks for a context menu (drawn inside the panel, down and right of the
        pointer) and waits until it covers what was there and has stopped changing (its
        entries take clicks once it has come in)."""
        self.session.run(["xdotool", "mousemove", str(x), str(y)])
        under_menu = (x + 10, y + 5, 40, 20)
        before = self.session.screenshot(*under_menu)
        self.session.click(x, y, 3)
        last = None

        def drawn_and_still():
            nonlocal last
            shot = self.session.screenshot(*under_menu)
            settled = shot != before and shot == last
            last = shot
            return settled
        wait_until(drawn_and_still, interval=0.1, message="menu drawn")

    def categories(self):
        return self.brivet.query('SELECT name, colorHex, "order" FROM Category ORDER BY "order"')

    def test_a_category_made_with_plus_is_named_by_typing_pinned_to_and_filtered_by(self):
        """The editor opens above the panel, takes the typed name (the panel lends it the
        keyboard) and closes on Escape without closing the panel. Positions: the chips start
        after the 200 wide search field; the default chip is about 115 wide."""
        self.copy_texts("first card", "second card")
        entry, window = self.session.open_entry()
        info = self.show_panel()
        panel_x, panel_y = int(info["Absolute upper-left X"]), int(info["Absolute upper-left Y"])
        chip_y = panel_y + 21

        x, y, width, height = self.open_popover(panel_x + 364, chip_y)  # "+"
        self.assertEqual(width, 240)
        self.assertLessEqual(y + height, panel_y + 21)  # above the panel, pointing at the bar
        self.assertEqual(self.categories(), [("Clipboard History", "#FFFFFF", 0),
                                             ("New Category", "#FF9500", 1)])
        self.press("Escape")
        wait_until(lambda: self.popover() is None, message="editor closed")
        self.assertIsNotNone(self.panel_window())

        # The new chip's menu: Edit. The name typed, Blue (second row, second column), Save.
        self.open_menu(panel_x + 400, chip_y)
        x, y, width, height = self.open_popover(panel_x + 420, chip_y + 14)
        self.session.run(["xdotool", "type", "--delay", "20", LONG_NAME])
        self.session.click(x + 16 + 14 + 34, y + 143)
        self.session.click(x + width - 56, y + 181)
        wait_until(lambda: self.popover() is None, message="editor saved")
        self.assertEqual(self.categories()[1], (LONG_NAME, "#007AFF", 1))
        self.assertEqual(self.session.active_window(), window)

        # Pin the older card through its menu: "Pin to Category" opens the list of categories
        # in a window beside the menu; its one entry pins.
        card_x, card_y = panel_x + 16 + 168 + 80, panel_y + int(int(info["Height"]) * 0.42)
        self.open_menu(card_x, card_y)
        x, y, width, height = self.open_popover(card_x + 30, card_y + 14)
        self.session.click(x + width // 2, y + height // 2)
        wait_until(lambda: self.brivet.query(
            "SELECT i.textContent FROM ClipboardItem i JOIN ClipboardItemCategory l "
            "ON l.item = i.pk") == [("first card",)], message="record pinned")

        # Ctrl+] filters to the category: its only record is the first card, Return pastes it.
        # Nothing before hid the panel: the paste is what hides it, once.
        self.press("ctrl+bracketright", "Return")
        self.assert_pasted(entry, "first card")
        self.wait_hidden(1)
        self.assertEqual(self.brivet.count_log(self.PANEL_HIDDEN), 1)

        # The long name's chip is cut at 160 wide: "+" comes 160 and a spacing of 12 later
        # (and 12 earlier for the default chip, narrower now that it is not the selected one).
        self.show_panel()
        self.open_popover(panel_x + 364 + 160 + 12 - 12, chip_y)
        self.assertEqual(len(self.categories()), 3)


    def test_a_card_dragged_in_its_category_takes_the_place_it_is_dropped_on(self):
        """In a category's own order a card dragged onto another card's place moves there and
        the order is saved; in the whole history a drag moves nothing."""
        self.copy_texts("one", "two", "three")
        self.brivet.stop()
        with sqlite3.connect(self.brivet.database_path) as store:
            store.execute("INSERT INTO Category(id, name, colorHex, \"order\", isDefault) VALUES("
                          "'5e1a3d0c-2222-4c1e-9a9a-0123456789ab', 'Work', '#0A84FF', 1, 0)")
            store.execute("INSERT INTO ClipboardItemCategory(item, category) SELECT i.pk, c.pk "
                          "FROM ClipboardItem i, Category c WHERE c.name = 'Work'")
        self.brivet.start(wait_for=r"brivet\.panel: prepared in")
        order = ("SELECT i.textContent FROM ClipboardItemCategory l JOIN ClipboardItem i "
                 "ON i.pk = l.item ORDER BY l.position DESC, i.timestamp DESC")
        info = self.show_panel()
        panel_x, panel_y = int(info["Absolute upper-left X"]), int(info["Absolute upper-left Y"])
        card_y = panel_y + int(int(info["Height"]) * 0.42)

        def drag(from_card, to_card):
            x = panel_x + 16 + 80 + 168 * from_card
            self.session.run(["xdotool", "mousemove", str(x), str(card_y), "mousedown", "1"])
            for step in range(1, 9):
                self.session.run(["xdotool", "mousemove",
                                  str(x + 168 * (to_card - from_card) * step // 8), str(card_y)])
            self.session.run(["xdotool", "mouseup", "1"])

        drag(0, 2)  # the whole history: nothing moves
        self.press("ctrl+bracketright")
        drag(0, 2)  # "three" dropped on "one"'s place
        wait_until(lambda: self.brivet.query(order) == [("two",), ("one",), ("three",)],
                   message=f"the order saved: {self.brivet.query(order)}")
        self.brivet.wait_for_log(r"brivet\.views: card 0 moved to 2")
        self.assertEqual(self.brivet.count_log(r"brivet\.views: card \d+ moved"), 1)


class ScreensTest(PanelTestCase):
    """The panel on a screen of two monitors (RandR monitors on one Xvfb screen) and at a
    scale factor of 2, where Qt's logical pixels are two of the screen's."""

    PREVIEW_DRAWN = r"brivet\.views: Brivet Preview first frame after"

    def setUp(self):
        two_monitors = self._testMethodName.endswith("two_monitors")
        self.session = XSession(width=2304 if two_monitors else 1280).start()
        self.addCleanup(self.session.stop)
        if two_monitors:
            for monitor in ("LEFT 1280/338x800/211+0+0 screen",
                            "RIGHT 1024/270x768/203+1280+0 none"):
                self.session.run(["xrandr", "--setmonitor", *monitor.split()])
        self.brivet = Brivet(self.session)
        self.addCleanup(self.brivet.cleanup)
        if not two_monitors:
            self.brivet.env["QT_SCALE_FACTOR"] = "2"
        self.brivet.start()

    def show_panel_at(self, pointer, x, y, width, height):
        """Shows the panel with the pointer at `pointer` and waits until its window rests at
        that place, in the screen's pixels."""
        shown = self.brivet.count_log(self.PANEL_SHOWN)
        self.session.run(["xdotool", "mousemove", *map(str, pointer)])
        self.press("super+shift+v")
        self.brivet.wait_for_log(self.PANEL_SHOWN, count=shown + 1)
        wanted = tuple(map(str, (x, y, width, height)))
        wait_until(lambda: (info := self.panel_window()) and (
            info["Absolute upper-left X"], info["Absolute upper-left Y"], info["Width"],
            info["Height"]) == wanted, message=f"panel at {wanted}")

    def test_the_panel_and_its_preview_open_on_the_monitor_under_the_pointer_two_monitors(self):
        self.copy_texts("a text to preview")
        # The right monitor, 1024x768 at x 1280: 16 from its sides, 8 above its bottom.
        self.show_panel_at((1700, 300), 1280 + 16, 768 - 8 - int(768 * 0.22), 1024 - 32,
                           int(768 * 0.22))
        drawn = self.brivet.count_log(self.PREVIEW_DRAWN)
        self.press("space")
        self.brivet.wait_for_log(self.PREVIEW_DRAWN, count=drawn + 1)
        x, _, width, _ = self.session.geometry(self.session.windows("--name",
                                                                    "^Brivet Preview$")[0])
        # Centred on the first card would start left of the monitor; it stays on it.
        self.assertGreaterEqual(x, 1280)
        self.assertLessEqual(x + width, 2304)
        self.press("Escape", "Escape")
        self.wait_hidden(1)
        self.show_panel_at((300, 300), 16, 800 - 8 - int(800 * 0.22), 1280 - 32,
                           int(800 * 0.22))

    def test_at_scale_two_the_panel_is_sized_in_logical_pixels_and_clicks_compare_in_them(self):
        self.copy_texts("something")
        # 640x400 logical pixels: a panel of 608x88 at (16, 304), twice that on the screen.
        self.show_panel_at((640, 100), 32, 608, 1216, 176)
        self.brivet.wait_for_log(self.KEYBOARD_GRABBED)
        # A click on the desktop above the panel, at screen pixels that read as logical ones
        # would lie inside the panel's outline (16..624, 304..392), hides it.
        self.session.click(300, 350)
        self.wait_hidden(1)


class AccessibilityTest(PanelTestCase):
    """What a screen reader finds over the AT-SPI bus (read by atspi_probe.py with the system's
    Python, which has pyatspi)."""

    start_brivet = False

    def setUp(self):
        super().setUp()
        self.brivet.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        self.brivet.start()

    def accessible(self, role, state):
        """The names of Brivet's accessible objects of that role and in that state."""
        probe = os.path.join(os.path.dirname(__file__), "atspi_probe.py")
        found = json.loads(self.session.run(["/usr/bin/python3", probe, "Brivet"]).stdout)
        return [node["name"] for node in found if node["role"] == role and node[state]]

    def selected_cards(self):
        return self.accessible("list item", "selected")

    def test_the_selected_card_is_named_by_its_kind_text_and_age(self):
        self.copy_texts("first card", "second card")
        self.show_panel()
        wait_until(lambda: self.selected_cards() == ["Text: second card, Just now"],
                   timeout=10, message="the newest card selected")
        self.press("Right")
        wait_until(lambda: self.selected_cards() == ["Text: first card, Just now"],
                   timeout=10, message="the selection moved")

    def test_the_card_menu_and_its_category_list_answer_the_keyboard(self):
        """The Menu key opens the selected card's menu; Return on "Pin to Category" opens the
        list of categories, whose entries Down and Return choose."""
        self.copy_texts("first card", "second card")
        info = self.show_panel()
        panel_x, panel_y = int(info["Absolute upper-left X"]), int(info["Absolute upper-left Y"])
        drawn = self.brivet.count_log(POPOVER_DRAWN)
        self.session.click(panel_x + 364, panel_y + 21)  # "+": a category to pin to
        self.brivet.wait_for_log(POPOVER_DRAWN, count=drawn + 1)
        self.press("Escape")
        self.press("Right", "Menu")
        wait_until(lambda: "Pin to Category" in self.menu_entries(), timeout=10,
                   message="the card menu open")
        self.press("Return")
        self.brivet.wait_for_log(POPOVER_DRAWN, count=drawn + 2)
        self.press("Down", "Return")
        wait_until(lambda: self.brivet.query(
            "SELECT i.textContent FROM ClipboardItem i JOIN ClipboardItemCategory l "
            "ON l.item = i.pk") == [("first card",)], message="record pinned")

    def test_never_record_from_an_application_of_the_card_menu(self):
        """"Never Record from <App>" in a card's menu lists the application in the settings
        file; its next copy is not recorded (nor read: see the X11 clipboard's unit test), while
        another application's copy is."""
        vault = open_window(self.session, "Vault")
        self.copy_texts("from the vault")
        self.show_panel()
        self.press("Menu")
        wait_until(lambda: "Never Record from Vault" in self.menu_entries(), timeout=10,
                   message="the card menu open")
        self.press("Down", "Down", "Down", "Return")  # Delete, Paste as Plain Text, this
        conf = os.path.join(self.brivet.home, "config", "brivet", "brivet.conf")
        def listed():
            if not os.path.exists(conf):
                return False
            with open(conf) as settings:
                return "id=Vault" in settings.read()
        wait_until(listed, message="the application listed in the settings")
        self.press("Escape")
        self.wait_hidden(1)
        # The same window again: a second one would be given the focus by the window manager
        # whenever it maps, under its own class until it is renamed.
        self.session.run(["xdotool", "windowactivate", "--sync", vault])
        self.session.copy("second secret")
        self.brivet.wait_for_log(r"skipped a copy of an ignored application", timeout=15)
        open_window(self.session, "Editor")
        self.copy_texts("from the editor")
        self.assertEqual([item[1] for item in self.brivet.items()],
                         ["from the vault", "from the editor"])

    def menu_entries(self):
        return self.accessible("menu item", "showing")


if __name__ == "__main__":
    unittest.main()
