"""Brivet natively on Wayland: the real binary under a headless sway, and under a virtual KWin
where it is installed (both run as an unprivileged user), with real wl-copy and wl-paste, and the
real database read back."""

import os
import re
import signal
import subprocess
import time
import unittest

import wayland_session
from brivet_e2e import (BINARY, DRIVER, Brivet, PasteDriver, SessionBrivet, png_bytes,
                        read_lines, wait_until)

SOURCE = os.environ.get("BRIVET_WAYLAND_SOURCE", "brivet_wayland_source")
KEYS = os.environ.get("BRIVET_WAYLAND_KEYS", "brivet_wayland_keys")
KEY_LOG_WINDOW = os.environ.get("BRIVET_KEY_LOG_WINDOW", "brivet_key_log_window")
CLICK = os.environ.get("BRIVET_WAYLAND_CLICK", "brivet_wayland_click")
# Evdev codes of the keys the panel cases press.
ESCAPE, RETURN = "1", "28"
LETTERS = {"a": "30", "b": "48", "e": "18", "i": "23", "n": "49", "p": "25", "s": "31", "t": "20"}
# The output of the session (wayland_session's sway configuration) and the panel's place on it:
# 16 pixels from the sides, 8 above the bottom, 22 % of the height.
WIDTH, HEIGHT = 1280, 800
PANEL_HEIGHT = int(HEIGHT * 0.22)
PANEL_TOP = HEIGHT - 8 - PANEL_HEIGHT
ZENITY_ENTRY = ["zenity", "--entry", "--title=Target", "--text=Paste"]
# Where the popover is, relative to the panel, as Brivet made it a popup of the panel.
POPUP_PLACED = r"popover popup configured at (-?\d+), (-?\d+) of the panel, (\d+) x (\d+)"


class WaylandSessionCase(SessionBrivet):
    """Brivet started under a compositor of its own: COMPOSITOR."""

    COMPOSITOR = "sway"
    SCALE = 1
    OUTPUTS = 1

    def setUp(self):
        self.session = wayland_session.WaylandSession(
            self.COMPOSITOR, fake_input_programs=[os.path.realpath(program) for program in
                                                  (BINARY, DRIVER, KEYS, CLICK)],
            scale=self.SCALE, outputs=self.OUTPUTS).start()
        self.addCleanup(self.session.stop)
        self.brivet = Brivet(self.session, home=self.session.private_folder("brivet-wl-store-"))
        self.addCleanup(self.stop_brivet)
        self.name_zenity()
        self.brivet.start()
        self.brivet.wait_for_log(r"watching the clipboard through \w+data_control_manager_v1")

    def start_focused(self, *args):
        """A client once it has the keyboard, which its Wayland log tells; its output is piped."""
        client = self.session.popen(list(args), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                    text=True, env=dict(self.session.env, WAYLAND_DEBUG="client"))
        protocol = []
        read_lines(client.stderr, protocol)
        wait_until(lambda: any("wl_keyboard@" in line and ".enter(" in line for line in protocol),
                   timeout=20, message=f"{args[0]} focused")
        return client

    def start_source(self, *types):
        """brivet_wayland_source offering TYPE TEXT..., once the compositor has its offer; the
        lines it prints ("asked TYPE" for each request) are collected in self.source_lines."""
        source = self.session.popen([SOURCE, *types], stdout=subprocess.PIPE, text=True)
        # The pipe is left to close with the source: closing it under the reading thread
        # would wait for that thread.
        self.source_lines = []
        read_lines(source.stdout, self.source_lines)
        wait_until(lambda: "ready" in self.source_lines, timeout=10, message="the source ready")
        return source


class CompositorCases(WaylandSessionCase):
    """What every compositor that lets a clipboard manager exist must do."""

    def test_a_burst_of_copies_is_recorded_in_order(self):
        expected = [f"copy {i:02}" for i in range(20)]
        start = time.monotonic()
        for i, text in enumerate(expected):
            time.sleep(max(0.0, start + i * 0.1 - time.monotonic()))
            self.session.copy(text)
        self.session.copy("last")  # changes are recorded in order: the others came before
        wait_until(lambda: "last" in [row[1] for row in self.brivet.items()], timeout=30,
                   message="the last copy recorded")
        self.assertEqual([text for _, text in self.records(21)][:-1], expected)

    def test_a_paste_lands_in_a_native_wayland_field(self):
        entry = self.start_focused(*ZENITY_ENTRY)
        store = os.path.join(self.session.private_folder("brivet-wl-paste-"), "paste.sqlite")
        driver = PasteDriver(self.session, store)
        driver.paste({"kind": "text", "text": "pasted natively"})
        self.session.run([KEYS, "28"])  # Return submits the field
        self.assertEqual(entry.stdout.read().strip(), "pasted natively")
        entry.wait(timeout=10)
        driver.stop_cleanly()
        # The paste is Brivet's own offer: neither Brivet records it.
        self.assertEqual(self.brivet.items(), [])


@unittest.skipUnless(wayland_session.available("sway"), "sway is not installed")
class WaylandClipboardTest(CompositorCases, unittest.TestCase):
    """sway, which also lists its windows (the front application, terminals) to clients."""

    def test_an_image_copy_is_recorded_as_an_image(self):
        image = png_bytes(64, 48)
        self.session.copy(image, "image/png")
        self.assertEqual(self.records(1), [("image", None)])
        self.assertEqual(self.session.paste("image/png"), image)

    def test_a_secret_is_neither_read_nor_recorded(self):
        self.start_source("text/plain;charset=utf-8", "hunter2", "x-kde-passwordManagerHint",
                          "secret")
        self.brivet.wait_for_log(r"skipped a secret", timeout=15)
        self.assertEqual(self.session.paste("text/plain;charset=utf-8"), b"hunter2")
        # Only wl-paste asked: Brivet did not read the secret.
        wait_until(lambda: "asked text/plain;charset=utf-8" in self.source_lines,
                   message="the source asked")
        self.assertEqual([line for line in self.source_lines if line.startswith("asked")],
                         ["asked text/plain;charset=utf-8"])
        self.session.copy("next")
        self.assertEqual(self.records(1), [("text", "next")])

    def test_the_clipboard_outlives_its_owner(self):
        owner = self.session.popen(["wl-copy", "--foreground", "kept after its owner quit"],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.assertEqual(self.records(1), [("text", "kept after its owner quit")])
        owner.send_signal(signal.SIGTERM)
        owner.wait(timeout=10)
        wait_until(lambda: self.session.run(["wl-paste", "--no-newline"], check=False).stdout
                   == b"kept after its owner quit", timeout=15, message="the copy offered again")
        types = self.session.run(["wl-paste", "--list-types"]).stdout.decode().split()
        self.assertIn("application/x-brivet-source", types)
        self.assertIn("UTF8_STRING", types)
        # Brivet's own offer is not recorded again, nor read (which would hang its thread).
        self.session.copy("next")
        self.assertEqual(self.records(2), [("text", "kept after its owner quit"), ("text", "next")])
        self.assertEqual(self.brivet.count_log(r"repeating the newest"), 0)

    def test_a_formatted_copy_keeps_its_formatting_also_after_its_owner_quit(self):
        html = "<p>Hello <b>bold</b></p>"
        source = self.start_source("text/plain;charset=utf-8", "Hello bold", "text/html", html)
        self.assertEqual(self.records(1), [("text", "Hello bold")])
        self.assertEqual(self.brivet.query("SELECT mimeType, CAST(data AS TEXT) "
                                           "FROM ClipboardItemRepresentation"),
                         [("text/html", html)])
        source.terminate()
        source.wait(timeout=10)
        wait_until(lambda: self.session.run(["wl-paste", "--no-newline", "--type", "text/html"],
                                            check=False).stdout == html.encode(),
                   timeout=15, message="the formatted copy offered again")
        self.assertEqual(self.session.run(["wl-paste", "--no-newline"]).stdout, b"Hello bold")

    def test_an_owner_that_never_answers_costs_one_read(self):
        # The text is never answered: after the answer limit, the next copy is still recorded.
        self.start_source("text/plain;charset=utf-8:never", "late")
        self.brivet.wait_for_log(r"stalled after 0 bytes", timeout=15)
        self.session.copy("after the silent owner")
        self.assertEqual(self.records(1), [("text", "after the silent owner")])

    def test_a_copy_is_credited_to_the_window_in_front(self):
        self.session.popen(["zenity", "--entry", "--title=Front", "--text=Copy"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until(lambda: self.session.focused_app() == "zenity", timeout=20,
                   message="the zenity window in front")
        self.session.copy("from the front")
        self.records(1)
        self.assertEqual(self.brivet.query("SELECT textContent, sourceAppName, sourceAppBundleID "
                                           "FROM ClipboardItem"),
                         [("from the front", "Zenity Dialog", "zenity")])

    def test_terminals_get_the_terminal_paste_shortcut(self):
        store = os.path.join(self.session.private_folder("brivet-wl-paste-"), "paste.sqlite")
        for app_id, shortcut in (("foot", "Ctrl+Shift+V"), ("org.example.Editor", "Ctrl+V")):
            with self.subTest(app_id=app_id):
                window = self.session.popen([KEY_LOG_WINDOW, app_id], stdout=subprocess.PIPE,
                                            stderr=subprocess.DEVNULL, text=True)
                keys = []
                read_lines(window.stdout, keys)
                wait_until(lambda: self.session.focused_app() == app_id, timeout=20,
                           message=f"the {app_id} window focused")
                driver = PasteDriver(self.session, store)
                driver.paste({"kind": "text", "text": "to " + app_id})
                driver.stop_cleanly()
                wait_until(lambda: keys[1:], timeout=10, message="a key in the window")
                self.assertEqual(keys, ["ready", shortcut])
                window.terminate()
                window.wait(timeout=10)


@unittest.skipUnless(wayland_session.available("kwin"), "kwin_wayland is not installed")
class KWinClipboardTest(CompositorCases, unittest.TestCase):
    """KWin: the paste stroke through its fake input, which Brivet's desktop file asks for."""

    COMPOSITOR = "kwin"


class PanelCases(WaylandSessionCase):
    """The panel as a layer surface, shown by `brivet --toggle`: what every compositor with
    layer-shell must do."""

    def setUp(self):
        super().setUp()
        self.brivet.wait_for_log(r"the panel is a layer surface")

    def toggle_and_wait_for_keyboard(self):
        grabbed = self.brivet.count_log(r"brivet\.panel: keyboard grabbed")
        self.session.run([BINARY, "--toggle"], check=False)
        self.brivet.wait_for_log(r"brivet\.panel: keyboard grabbed", count=grabbed + 1)

    def toggle_and_wait_at_rest(self):
        """Shows the panel and waits for the end of its slide, where it takes clicks."""
        resting = self.brivet.count_log(r"brivet\.panel: at rest")
        self.toggle_and_wait_for_keyboard()
        self.brivet.wait_for_log(r"brivet\.panel: at rest", count=resting + 1)

    def test_typed_search_and_return_paste_into_the_field_that_kept_the_focus(self):
        # One after the other: a copy replaced before Brivet read it would be lost.
        for count, text in enumerate(("alpha one", "beta two", "gamma three"), start=1):
            self.session.copy(text)
            self.records(count)
        entry = self.start_focused(*ZENITY_ENTRY)
        self.toggle_and_wait_for_keyboard()
        self.session.run([KEYS, *(LETTERS[letter] for letter in "beta")])
        self.session.run([KEYS, RETURN])
        self.brivet.wait_for_log(r"brivet\.panel: hidden")
        self.brivet.wait_for_log(r"paste finished", timeout=15)
        self.session.run([KEYS, RETURN])  # submits the field
        self.assertEqual(entry.stdout.read().strip(), "beta two")
        entry.wait(timeout=10)

    def test_a_stack_pastes_its_items_in_marking_order_each_as_itself(self):
        self.session.copy("first text")
        self.records(1)
        self.session.copy(png_bytes(64, 40), "image/png")
        self.records(2)
        self.session.copy("second text")
        self.records(3)
        window = self.start_focused(KEY_LOG_WINDOW, "org.example.Editor",
                                    "text/html,image/png,text/plain")
        lines = []
        read_lines(window.stdout, lines)
        self.toggle_and_wait_for_keyboard()
        # Cards, newest first: second text, the image, first text. Marked oldest first.
        right, left, space = "106", "105", "57"
        self.session.run([KEYS, right, right, "ctrl+" + space, left, "ctrl+" + space, left,
                          "ctrl+" + space, RETURN])
        self.brivet.wait_for_log(r"paste stack of 3 finished", timeout=30)
        wait_until(lambda: len([line for line in lines if line.startswith("received")]) >= 3,
                   timeout=15, message=f"three pastes received; got {lines}")
        self.assertEqual([line for line in lines if line.startswith("received")],
                         ["received text/plain first text", "received image/png 64x40",
                          "received text/plain second text"])
        window.terminate()
        window.wait(timeout=10)

    def click(self, x, y):
        self.session.run([CLICK, str(WIDTH), str(HEIGHT), str(x), str(y)])

    def popover_place(self):
        """(x, y, width, height) of the popover relative to the panel, as Brivet last made it
        a popup of the panel."""
        placed = [re.search(POPUP_PLACED, line) for line in self.brivet.log()]
        return tuple(map(int, [match for match in placed if match][-1].groups()))

    def wait_for_popover_drawn(self):
        """Where the compositor's output cannot be read, its first frame."""
        self.brivet.wait_for_log(r"brivet\.views: Brivet popover first frame")

    def test_the_category_editor_opens_above_the_panel_and_a_click_outside_hides_it(self):
        """The editor opens above the panel at the "+" chip (after the 200 wide search field
        and the default chip), takes the typed name and closes on Escape without closing the
        panel. A click outside the panel hides it."""
        self.session.copy("something")
        self.records(1)
        self.toggle_and_wait_at_rest()
        self.click(16 + 364, PANEL_TOP + 21)  # "+"
        self.brivet.wait_for_log(r"keyboard lent to \"Brivet popover\"")
        self.wait_for_popover_drawn()
        x, y, width, height = self.popover_place()
        # Above the panel, its arrow down to the chips' row, over the chips.
        self.assertEqual(width, 240)
        self.assertTrue(-height < y and 0 < y + height <= 21, (x, y, width, height))
        self.assertTrue(100 < x < 500, (x, y, width, height))
        # Escape closes it without the typed name, and without closing the panel.
        self.session.run([KEYS, *(LETTERS[letter] for letter in "snip"), ESCAPE])
        self.brivet.wait_for_log(r"brivet\.views: popover closed")
        self.click(16 + 476, PANEL_TOP + 21)  # "+", now after the new chip
        self.brivet.wait_for_log(r"keyboard lent to \"Brivet popover\"", count=2)
        self.session.run([KEYS, *(LETTERS[letter] for letter in "snip"), RETURN])
        self.brivet.wait_for_log(r"brivet\.views: popover closed", count=2)
        self.assertEqual(self.brivet.query("SELECT name FROM Category ORDER BY \"order\""),
                         [("Clipboard History",), ("New Category",), ("snip",)])
        self.assertEqual(self.brivet.count_log(r"brivet\.panel: hidden"), 0)
        # The panel has the keys again: Escape hides it.
        self.session.run([KEYS, ESCAPE])
        self.brivet.wait_for_log(r"brivet\.panel: hidden")

        # A click in the empty output above the panel hides it (the click goes no further).
        self.toggle_and_wait_at_rest()
        self.click(WIDTH // 2, HEIGHT // 3)
        self.brivet.wait_for_log(r"brivet\.panel: hidden", count=2)
        self.brivet.wait_for_log(r"scrim layer destroyed", count=2)


@unittest.skipUnless(wayland_session.available("kwin"), "kwin_wayland is not installed")
class KWinPanelTest(PanelCases, unittest.TestCase):
    """KWin: layer-shell 3, the panel holds the keyboard exclusively while shown."""

    COMPOSITOR = "kwin"


@unittest.skipUnless(wayland_session.available("sway"), "sway is not installed")
class WaylandPanelTest(PanelCases, unittest.TestCase):
    """sway: its output seen through grim, clicks through a virtual pointer."""

    def panel_drawn(self):
        """Whether grim sees the panel at rest: drawn in its rectangle (a line across it), the
        empty output (as in its upper third) in the margins beside, above and below it."""
        empty = self.session.pixels(WIDTH // 2, HEIGHT // 3, 1, 1)[0]
        row = self.session.pixels(0, PANEL_TOP + PANEL_HEIGHT // 2, WIDTH, 1)
        above = self.session.pixels(WIDTH // 2, PANEL_TOP - 2, 1, 1)[0]
        below = self.session.pixels(WIDTH // 2, HEIGHT - 4, 1, 1)[0]
        return (row[8] == empty and row[WIDTH - 9] == empty and above == empty
                and below == empty and row[16] != empty and row[WIDTH - 17] != empty
                and row[WIDTH // 2] != empty)

    def wait_for_popover_drawn(self):
        """grim sees the popover where Brivet last placed it, drawn over the empty output: the
        middle of its top row and of its body."""
        def drawn():
            x, y, width, height = self.popover_place()
            left, top = 16 + x, PANEL_TOP + y
            empty = self.session.pixels(WIDTH // 2, 10, 1, 1)[0]
            return all(self.session.pixels(left + width // 2, top + dy, 1, 1)[0] != empty
                       for dy in (2, height // 2))
        wait_until(drawn, timeout=10, message="the popover drawn")

    def test_the_panel_is_a_layer_surface_at_the_bottom_that_escape_hides(self):
        self.session.copy("something")
        self.records(1)
        self.toggle_and_wait_for_keyboard()
        # The compositor sized it from the anchors and margins: the output's width less 32.
        self.brivet.wait_for_log(rf"panel layer configured at {WIDTH - 32} x {PANEL_HEIGHT}")
        wait_until(self.panel_drawn, timeout=10, message="the panel drawn at rest")
        self.session.run([KEYS, ESCAPE])
        self.brivet.wait_for_log(r"brivet\.panel: hidden")
        wait_until(lambda: self.session.pixels(WIDTH // 2, PANEL_TOP + 10, 1, 1)
                   == self.session.pixels(WIDTH // 2, HEIGHT // 3, 1, 1),
                   timeout=10, message="the panel gone from the output")

    def test_the_panel_shows_again_after_ten_hides(self):
        self.session.copy("something")
        self.records(1)
        for cycle in range(1, 11):
            self.toggle_and_wait_for_keyboard()
            self.session.run([KEYS, ESCAPE])
            self.brivet.wait_for_log(r"brivet\.panel: hidden", count=cycle)
            # The slide ends with the layer surface and the window destroyed.
            self.brivet.wait_for_log(r"panel layer destroyed", count=cycle)
        self.assertEqual(self.brivet.count_log(r"panel layer configured"), 10)
        self.assertEqual(self.brivet.count_log(r"brivet\.platform\.wayland.*(closed|never|could not)"
                                               r"|wl_|[Pp]rotocol error"), 0)
        # Stopping cleanly (see stop_brivet) shows no error and, on the sanitizer build, no leak.


@unittest.skipUnless(wayland_session.available("sway"), "sway is not installed")
class ScaledPanelTest(WaylandSessionCase, unittest.TestCase):
    """sway with its output at scale 2: the panel is sized in logical pixels (the output is
    640 x 400 of them) and drawn with twice as many."""

    SCALE = 2

    def test_the_panel_is_sized_in_logical_pixels_and_drawn_at_the_output_scale(self):
        self.session.run([BINARY, "--toggle"], check=False)
        self.brivet.wait_for_log(rf"panel layer configured at {WIDTH // 2 - 32} x "
                                 rf"{int(HEIGHT // 2 * 0.22)}")
        self.brivet.wait_for_log(r"brivet\.panel: shown at .* drawn at scale 2")


@unittest.skipUnless(wayland_session.available("sway"), "sway is not installed")
class TwoOutputsTest(WaylandSessionCase, unittest.TestCase):
    """sway with two outputs side by side: the panel opens on the output of the window in front,
    which Qt cannot tell from the pointer (it sees it only over Brivet's own windows)."""

    OUTPUTS = 2

    def test_the_panel_opens_on_the_output_of_the_window_in_front(self):
        for output in ("HEADLESS-2", "HEADLESS-1"):
            self.session.swaymsg("focus", "output", output)
            window = self.session.popen([KEY_LOG_WINDOW, "org.example.Editor"],
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        text=True)
            self.addCleanup(window.stdout.close)
            wait_until(lambda: self.session.focused_app() == "org.example.Editor", timeout=20,
                       message=f"a window in front on {output}")
            shown = self.brivet.count_log(r"brivet\.panel: shown at")
            hidden = self.brivet.count_log(r"brivet\.panel: hidden")
            self.session.run([BINARY, "--toggle"], check=False)
            self.brivet.wait_for_log(r"brivet\.panel: shown at", count=shown + 1)
            self.assertRegex([line for line in self.brivet.log()
                              if "panel: shown at" in line][-1], rf'on "{output}"')
            self.session.run([BINARY, "--toggle"], check=False)
            self.brivet.wait_for_log(r"brivet\.panel: hidden", count=hidden + 1)
            window.terminate()
            window.wait(timeout=10)


if __name__ == "__main__":
    unittest.main()
