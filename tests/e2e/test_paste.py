"""Pasting a chosen record: it goes back on the clipboard with the targets applications ask
for, a synthesised paste shortcut reaches the window that was in front, and the paste is never
recorded as a new history entry. Driven by brivet_paste_driver (the real services, in place of
the panel), under Xvfb with openbox, against a real GTK text field (zenity) and xclip."""

import json
import os
import queue
import shutil
import sqlite3
import subprocess
import tempfile
import threading
import time
import unittest

from brivet_e2e import XSession, png_size, wait_until

DRIVER = os.environ.get("BRIVET_PASTE_DRIVER", "brivet_paste_driver")
# Three polls of the monitor, and some margin.
SEVERAL_POLLS = 1.8


class PasteDriver:
    """The driver process; records go in on stdin, its progress lines come out."""

    def __init__(self, session, store_path, terminals=None):
        env = dict(session.env, QT_LOGGING_RULES="brivet.*.debug=true",
                   QT_FORCE_STDERR_LOGGING="1")
        self.store_path = store_path
        args = [DRIVER, "--store", store_path]
        if terminals:
            args += ["--terminals", terminals]
        self.process = subprocess.Popen(args, env=env,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True)
        self.lines = queue.Queue()
        self.log = []
        self.readers = [
            threading.Thread(target=self._read, args=(self.process.stdout, True), daemon=True),
            threading.Thread(target=self._read, args=(self.process.stderr, False), daemon=True)]
        for reader in self.readers:
            reader.start()
        self.expect("ready", timeout=20)

    def _read(self, stream, events):
        for line in stream:
            line = line.rstrip("\n")
            self.log.append(line)
            if events:
                self.lines.put(line)

    def expect(self, wanted, timeout=10):
        deadline = time.monotonic() + timeout
        while True:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise AssertionError(f"driver never said {wanted!r}:\n" + "\n".join(self.log))
            try:
                line = self.lines.get(timeout=remaining)
            except queue.Empty:
                continue
            if line == wanted:
                return
            if line.startswith("error"):
                raise AssertionError(line)

    def paste(self, record, wait=True):
        self.process.stdin.write(json.dumps(record) + "\n")
        self.process.stdin.flush()
        self.expect("pasted")
        if wait:
            self.expect("paste finished")

    def query(self, sql):
        connection = sqlite3.connect(self.store_path, timeout=5)
        try:
            return connection.execute(sql).fetchall()
        finally:
            connection.close()

    def item_count(self):
        return self.query("SELECT COUNT(*) FROM ClipboardItem")[0][0]

    def texts(self):
        return [row[0] for row in self.query(
            "SELECT textContent FROM ClipboardItem ORDER BY timestamp")]

    def stop(self):
        if not self.process.stdin.closed:
            self.process.stdin.close()
        if self.process.poll() is None:
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        for reader in self.readers:
            reader.join(timeout=5)
        self.process.stdout.close()
        self.process.stderr.close()
        return self.process.returncode

    def stop_cleanly(self):
        """Stops the driver and fails when it did not exit cleanly (sanitizer reports too)."""
        returncode = self.stop()
        if returncode != 0:
            raise AssertionError(f"driver exited with {returncode}:\n" + "\n".join(self.log))


class PasteTest(unittest.TestCase):
    def setUp(self):
        self.session = XSession()
        self.addCleanup(self.session.stop)
        self.session.start()
        self.home = tempfile.mkdtemp(prefix="brivet-paste-")
        self.addCleanup(shutil.rmtree, self.home, True)
        self.driver = PasteDriver(self.session, os.path.join(self.home, "history.sqlite"))
        self.addCleanup(self.driver.stop_cleanly)

    def open_entry(self, title):
        """A GTK text field in front; returns the zenity process and its window id."""
        entry = self.session.popen(["zenity", "--entry", f"--title={title}", "--text=Paste"],
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                   text=True)
        self.addCleanup(lambda: entry.poll() is None and entry.kill())
        window = wait_until(lambda: self.session.run(
            ["xdotool", "search", "--name", f"^{title}$"], check=False).stdout.split(),
            timeout=20, message=f"zenity window {title}")[0]
        wait_until(lambda: self.active_window() == int(window), timeout=10,
                   message=f"{title} active")
        return entry, int(window)

    def active_window(self):
        result = self.session.run(["xdotool", "getactivewindow"], check=False)
        return int(result.stdout) if result.returncode == 0 and result.stdout.strip() else 0

    def entry_text(self, entry, window):
        """Submits the entry with Return and returns what it held."""
        wait_until(lambda: self.active_window() == window, message="entry active")
        self.session.run(["xdotool", "key", "Return"])
        output, _ = entry.communicate(timeout=10)
        return output.rstrip("\n")

    def targets(self):
        return self.session.paste("TARGETS").decode().split()

    def assert_not_recorded(self):
        self.assertEqual(self.driver.item_count(), 0)
        time.sleep(SEVERAL_POLLS)
        self.assertEqual(self.driver.item_count(), 0)

    def test_text_reaches_the_field_and_is_not_recorded(self):
        entry, window = self.open_entry("Target")
        text = "Grüße aus Brivet ✓ 42"

        self.driver.paste({"kind": "text", "text": text})

        self.assertEqual(self.session.paste().decode(), text)
        self.assert_not_recorded()
        self.assertEqual(self.entry_text(entry, window), text)

    def test_link_offers_text_and_uri_list(self):
        url = "https://example.org/path?q=1"
        self.driver.paste({"kind": "link", "text": "ignored", "url": url})

        self.assertIn("UTF8_STRING", self.targets())
        self.assertIn("text/uri-list", self.targets())
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

    def test_record_without_its_field_leaves_the_clipboard_empty(self):
        self.session.copy("earlier")
        wait_until(lambda: self.driver.item_count() == 1, message="earlier copy recorded")

        self.driver.paste({"kind": "link", "text": "a link record without its URL"})

        self.assertEqual(sorted(self.targets()), ["MULTIPLE", "TARGETS", "TIMESTAMP"])
        self.assertNotEqual(self.session.run(["xclip", "-selection", "clipboard", "-o"],
                                             check=False).returncode, 0)
        time.sleep(SEVERAL_POLLS)
        self.assertEqual(self.driver.texts(), ["earlier"])

    def test_copy_during_the_paste_is_not_recorded(self):
        self.driver.paste({"kind": "text", "text": "pasted"}, wait=False)
        self.session.copy("copied right after the paste")
        self.driver.expect("paste finished")

        self.assert_not_recorded()
        self.assertEqual(self.session.paste().decode(), "copied right after the paste")

        # The monitor is back: the next copy is recorded.
        self.session.copy("copied later")
        wait_until(lambda: self.driver.texts() == ["copied later"], timeout=10,
                   message="later copy recorded")

    def test_held_shift_does_not_reach_the_field(self):
        entry, window = self.open_entry("Shifted")
        self.session.run(["xdotool", "keydown", "shift"])
        try:
            self.driver.paste({"kind": "text", "text": "plain paste"})
        finally:
            self.session.run(["xdotool", "keyup", "shift"])
        self.assertEqual(self.entry_text(entry, window), "plain paste")

    def test_stroke_goes_to_the_window_that_was_in_front(self):
        entry, window = self.open_entry("Chosen")
        other, other_window = self.open_entry("Other")
        self.assertEqual(self.active_window(), other_window)

        self.driver.paste({"kind": "text", "text": "to the chosen one", "target": window})

        self.assertEqual(self.active_window(), window)
        self.assertEqual(self.entry_text(entry, window), "to the chosen one")
        self.assertEqual(self.entry_text(other, other_window), "")

    def keys_received(self, terminals):
        """The keys a plain X window (xev, with the class "xev") receives from one paste, as
        keysym names."""
        self.driver.stop_cleanly()
        self.driver = PasteDriver(self.session, os.path.join(self.home, "other.sqlite"),
                                  terminals=terminals)
        self.addCleanup(self.driver.stop_cleanly)
        xev = self.session.popen(["stdbuf", "-oL", "xev", "-event", "keyboard"],
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.addCleanup(lambda: xev.poll() is None and xev.kill())
        window = wait_until(lambda: self.session.run(
            ["xdotool", "search", "--name", "^Event Tester$"], check=False).stdout.split(),
            timeout=20, message="xev window")[0]
        self.session.run(["xdotool", "set_window", "--classname", "xev", "--class", "Xev",
                          window])
        wait_until(lambda: self.active_window() == int(window), timeout=10,
                   message="xev active")

        self.driver.paste({"kind": "text", "text": "echo hello"})
        xev.terminate()
        output, _ = xev.communicate(timeout=10)
        return [line.split("keysym ")[1].split(", ")[1].rstrip(")")
                for line in output.splitlines() if "keysym 0x" in line]

    def test_terminals_get_control_shift_v(self):
        self.assertEqual(self.keys_received(terminals="xev"),
                         ["Control_L", "Shift_L", "V", "V", "Shift_L", "Control_L"])


if __name__ == "__main__":
    unittest.main()
