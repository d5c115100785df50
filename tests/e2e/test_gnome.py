"""Brivet on GNOME: the real binary under a headless GNOME Shell with Brivet's extension (run as
an unprivileged user), real Wayland clients that copy (a Qt window, zenity), and the real
database read back."""

import base64
import os
import subprocess
import time
import unittest

import gnome_session
from brivet_e2e import BINARY, Brivet, SessionBrivet, png_bytes, read_lines, wait_until

COPY_WINDOW = os.environ.get("BRIVET_COPY_WINDOW", "brivet_copy_window")
# X keysyms typed through the extension's test keyboard.
RETURN, ESCAPE, CONTROL, SHIFT, SUPER, V = 0xff0d, 0xff1b, 0xffe3, 0xffe1, 0xffeb, ord("v")


class GnomeCase(SessionBrivet, unittest.TestCase):
    WITH_EXTENSION = True
    XWAYLAND = False

    def setUp(self):
        clock = time.monotonic()
        self.session = gnome_session.GnomeSession(self.WITH_EXTENSION, self.XWAYLAND).start()
        self.addCleanup(self.session.stop)
        print(f"\ngnome-shell ready in {time.monotonic() - clock:.1f} s", flush=True)
        self.brivet = Brivet(self.session, home=self.session.private_folder("brivet-gnome-store-"))
        self.addCleanup(self.stop_brivet)

    def start_brivet(self, wait_for=r"brivet\.app: launched"):
        self.name_zenity()
        self.brivet.start(wait_for)
        # The panel is built right after start, on the main thread (a second and more in the
        # sanitizer build): copies made meanwhile would be replaced before Brivet asks for them.
        if wait_for == r"brivet\.app: launched":
            self.brivet.wait_for_log(r"brivet\.panel: prepared in", timeout=30)

    def copy_window(self):
        """brivet_copy_window once it has the keyboard; copy() sends it a copy."""
        window = self.session.popen([COPY_WINDOW], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                    stderr=subprocess.DEVNULL, text=True)
        self.copier_lines = []
        read_lines(window.stdout, self.copier_lines)
        wait_until(lambda: "ready" in self.copier_lines, timeout=20, message="the copy window")
        return window

    def copy(self, window, *types):
        """One copy of TYPE, DATA pairs, made at a key press in the window (as Ctrl+C)."""
        line = " ".join(f"{mime} {base64.b64encode(data if isinstance(data, bytes) else data.encode()).decode()}"
                        for mime, data in zip(types[::2], types[1::2]))
        window.stdin.write(line + "\n")
        window.stdin.flush()
        copies = sum(1 for line in self.copier_lines if line.startswith("copied"))
        self.session.press(ord("c"))
        wait_until(lambda: sum(1 for line in self.copier_lines if line.startswith("copied"))
                   > copies, timeout=10, message="the copy made")


@unittest.skipUnless(gnome_session.available(), "gnome-shell is not installed")
class GnomeExtensionTest(GnomeCase):

    def setUp(self):
        super().setUp()
        self.start_brivet()
        self.brivet.wait_for_log(r"watching the clipboard through Brivet's GNOME Shell extension")

    def test_the_extension_answers_brivet_alone(self):
        self.brivet.wait_for_log(r"bound in GNOME Shell")
        refused = self.session.call("com.brivet.Shell1", "ReadClipboard", "1",
                                    "text/plain;charset=utf-8", check=False)
        self.assertNotEqual(refused.returncode, 0)
        self.assertIn(b"AccessDenied", refused.stderr)
        for method, args in (("SetClipboard", ["text/plain", "[byte 0x41]", "false"]),
                             ("SendPasteKeys", ["true"]), ("FocusedWindow", [])):
            with self.subTest(method=method):
                refused = self.session.call("com.brivet.Shell1", method, *args, check=False)
                self.assertIn(b"AccessDenied", refused.stderr)

    def test_a_burst_of_copies_is_recorded_in_order(self):
        window = self.copy_window()
        expected = [f"copy {i:02}" for i in range(20)]
        # Five a second: Brivet reads each one before its owner replaces it (an owner that
        # replaces its copy sooner takes the older one with it). On GNOME each read is a round
        # trip through the shell's extension, which the sanitizer build makes slower than a
        # tenth of a second now and then.
        start = time.monotonic()
        for i, text in enumerate(expected):
            time.sleep(max(0.0, start + i * 0.2 - time.monotonic()))
            self.copy(window, "text/plain;charset=utf-8", text)
        self.copy(window, "text/plain;charset=utf-8", "last")
        copied = time.monotonic()
        print(f"burst: {len(expected) + 1} copies in {1000 * (copied - start):.0f} ms", flush=True)
        wait_until(lambda: "last" in [row[1] for row in self.brivet.items()], timeout=30,
                   interval=0.005, message="the last copy recorded")
        print(f"last copy -> saved: {1000 * (time.monotonic() - copied):.0f} ms", flush=True)
        recorded = [text for _, text in self.records(21)]
        print(f"burst: {len(recorded) - 1} of {len(expected)} recorded", flush=True)
        self.assertEqual(recorded[:-1], expected)
        # Credited to the window in front.
        self.assertEqual(self.brivet.query("SELECT DISTINCT sourceAppBundleID FROM ClipboardItem"),
                         [("brivet-copy-window",)])

    def test_a_secret_is_never_read_and_an_image_is_recorded(self):
        window = self.copy_window()
        self.copy(window, "text/plain;charset=utf-8", "hunter2", "x-kde-passwordManagerHint",
                  "secret")
        self.brivet.wait_for_log(r"skipped a secret")
        image = png_bytes(64, 48)
        self.copy(window, "image/png", image)
        self.assertEqual(self.records(1), [("image", None)])
        # Brivet asked the extension for the image alone. (Mutter itself reads every text copy,
        # to keep it once its owner quits: the window's own lines cannot tell.)
        self.assertEqual(self.session.testing("ReadsServed"), "(['image/png'],)")

    def test_the_shortcut_shows_the_panel_where_typing_searches_and_return_pastes(self):
        window = self.copy_window()
        for count, text in enumerate(("alpha one", "beta two", "gamma three"), start=1):
            self.copy(window, "text/plain;charset=utf-8", text)
            self.records(count)
        window.terminate()
        entry = self.session.popen(["zenity", "--entry", "--title=Target", "--text=Paste"],
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        wait_until(lambda: self.session.focused_title() == "Target", timeout=20,
                   message="the zenity field focused")
        self.brivet.wait_for_log(r"bound in GNOME Shell")
        clock = time.monotonic()
        self.session.press(SHIFT, SUPER, V)
        self.brivet.wait_for_log(r"brivet\.panel: keyboard grabbed")
        print(f"shortcut -> panel holds the keyboard: {1000 * (time.monotonic() - clock):.0f} ms",
              flush=True)
        # At the bottom of the monitor, centred, above the other windows.
        x, y, width, height = wait_until(lambda: self.session.window_frame("Brivet"), timeout=10,
                                         message="the panel's frame")
        self.assertEqual((x + width // 2, y + height), (gnome_session.WIDTH // 2,
                                                        gnome_session.HEIGHT - 8))
        # Not a window Alt+Tab offers.
        self.assertEqual(self.session.testing("SwitcherTitles"), "(['Target'],)")
        screenshot = os.environ.get("BRIVET_GNOME_SCREENSHOT")
        if screenshot:
            self.session.screenshot(screenshot)
        self.session.type_text("beta")
        self.session.press(RETURN)
        self.brivet.wait_for_log(r"brivet\.panel: hidden")
        self.brivet.wait_for_log(r"paste finished", timeout=15)
        wait_until(lambda: self.session.focused_title() == "Target", timeout=10,
                   message="the focus back on the field")
        self.session.press(RETURN)  # submits the field
        self.assertEqual(entry.communicate(timeout=10)[0].strip(), "beta two")


@unittest.skipUnless(gnome_session.available(), "gnome-shell is not installed")
class GnomeWithoutExtensionTest(GnomeCase):
    """GNOME Shell with XWayland and without Brivet's extension."""

    WITH_EXTENSION = False
    XWAYLAND = True

    def test_brivet_runs_through_xwayland_and_says_how_to_enable_the_extension(self):
        # As GNOME starts it: Qt's platform left to Brivet.
        del self.brivet.env["QT_QPA_PLATFORM"]
        self.start_brivet()
        self.brivet.wait_for_log(r"^Brivet's GNOME Shell extension is not running: .* "
                                 r"`gnome-extensions enable brivet@brivet\.com`")
        self.brivet.wait_for_log(r"brivet\.platform: back end: X11")
        # What X11 programs copy.
        subprocess.run(self.session.command(["xclip", "-selection", "clipboard", "-i"]),
                       env=self.session.env, input=b"copied in X11", stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True, timeout=30)
        self.assertEqual(self.records(1), [("text", "copied in X11")])


if __name__ == "__main__":
    unittest.main()
