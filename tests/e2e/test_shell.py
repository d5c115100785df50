"""Brivet as a desktop application, end to end: the tray menu read and clicked through a
StatusNotifierItem watcher of the test's own (brivet_tray_watcher) and gdbus, an XEmbed tray
(trayer) that starts after Brivet, the command line
against the running instance, the settings window driven with xdotool (open at login, recording
a shortcut), and the installed files. Every session has a D-Bus bus of its own (XSession)."""

import os
import re
import signal
import sqlite3
import subprocess
import tempfile
import unittest

from brivet_e2e import BINARY, Brivet, BrivetTestCase, png_bytes, wait_until

WATCHER = os.environ.get("BRIVET_TRAY_WATCHER", "brivet_tray_watcher")
SHOWN = r"brivet\.panel: shown at"
HIDDEN = r"brivet\.panel: hidden"
SETTINGS_SHOWN = r"brivet\.settings: settings window shown"
PRESSED = r"brivet\.app: hotkey pressed"


class ShellTest(BrivetTestCase):
    start_brivet = False

    def brivet_command(self, *args, env=None):
        return subprocess.run([BINARY, *args], env=env or self.brivet.env, capture_output=True,
                              text=True, timeout=30)

    def gdbus(self, service, path, method, *args):
        return self.session.run(["gdbus", "call", "--session", "--dest", service,
                                 "--object-path", path, "--method", method, "--", *args]
                                ).stdout.decode()

    def settings_window(self):
        found = self.session.windows("--name", "^Brivet Settings$")
        return int(found[0]) if found else None

    def wait_for_settings(self, count):
        self.brivet.wait_for_log(SETTINGS_SHOWN, count=count)
        window = wait_until(self.settings_window, message="settings window mapped")
        wait_until(lambda: self.session.active_window() == window, message="settings in front")
        return window

    def press(self, *keys):
        self.session.press(*keys, delay=40)

    def test_tray_menu_drives_panel_pause_settings_and_quit(self):
        watcher = self.session.popen([WATCHER], stdout=subprocess.PIPE, text=True)
        self.addCleanup(watcher.stdout.close)
        self.assertEqual(watcher.stdout.readline().strip(), "ready")
        self.brivet.start()
        item = re.fullmatch(r"item (\S+)", watcher.stdout.readline().strip()).group(1)

        def layout():
            """The menu's entries as (id, description), hidden ones left out."""
            text = self.gdbus(item, "/MenuBar", "com.canonical.dbusmenu.GetLayout", "0", "-1", "[]")
            described = []
            for number, props in re.findall(r"<\((\d+), \{([^}]*)\}", text):
                if "'visible': <false>" in props:
                    continue
                label = re.search(r"'label': <'([^']*)'>", props)
                shortcut = re.search(r"'shortcut': <\[\['(\w+)', '(.)'\]\]>", props)
                described.append((int(number), "-" if "'separator'" in props else
                                  label.group(1) + ("  " + "+".join(shortcut.groups())
                                                    if shortcut else "")))
            return described

        def click(label):
            entry = next(number for number, text in layout() if text == label)
            self.gdbus(item, "/MenuBar", "com.canonical.dbusmenu.Event", str(entry), "clicked",
                       "<0>", "0")

        self.assertEqual([text for _, text in layout()],
                         ["Show Brivet", "-", "Pause Recording", "for 5 minutes", "for 1 hour",
                          "until resumed", "-", "Settings...  Control+,", "-",
                          "Quit Brivet  Control+Q"])
        click("Show Brivet")
        self.brivet.wait_for_log(SHOWN)
        click("Show Brivet")
        self.brivet.wait_for_log(HIDDEN)
        # A left click on the icon: the host calls Activate, which toggles the panel (a host
        # shows the menu itself only for items that say they are one).
        self.assertIn("<false>", self.gdbus(item, "/StatusNotifierItem",
                                           "org.freedesktop.DBus.Properties.Get",
                                           "org.kde.StatusNotifierItem", "ItemIsMenu"))
        for wanted in (SHOWN, HIDDEN):
            self.gdbus(item, "/StatusNotifierItem", "org.kde.StatusNotifierItem.Activate", "0",
                       "0")
            self.brivet.wait_for_log(wanted, count=2)
        # A pause swaps "Pause Recording" for "Resume Recording" until it ends.
        click("until resumed")
        self.brivet.wait_for_log(r"brivet\.app: recording paused until resumed")
        wait_until(lambda: "Resume Recording" in [text for _, text in layout()],
                   message="Resume Recording shown")
        self.assertNotIn("Pause Recording", [text for _, text in layout()])
        click("Resume Recording")
        self.brivet.wait_for_log(r"brivet\.app: recording resumed")
        click("Settings...  Control+,")
        self.wait_for_settings(1)
        click("Quit Brivet  Control+Q")
        self.assertEqual(self.brivet.process.wait(timeout=10), 0)
        self.assertEqual(self.brivet.count_log(r"brivet\.app: terminating"), 1)

    def test_an_xembed_tray_that_starts_later_gets_the_icon_and_its_menu_answers_ctrl_q(self):
        self.brivet.start()
        self.brivet.wait_for_log(r"brivet\.app: this desktop shows no tray")

        def windows():
            return self.session.windows("--classname", "^brivet$")

        self.assertEqual(windows(), [])
        self.session.popen(["trayer", "--edge", "top", "--align", "right", "--widthtype",
                            "pixel", "--width", "48", "--height", "32"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        icon = wait_until(windows, timeout=10, message="icon embedded")[0]
        x, y, _, _ = self.session.geometry(icon)
        # A left click shows the panel; another hides it: its press hides the panel as a
        # click elsewhere does, and the icon's own answer to the click leaves it hidden.
        self.session.click(x + 8, y + 8)
        self.brivet.wait_for_log(SHOWN)
        self.brivet.wait_for_log(r"brivet\.panel: keyboard grabbed")
        self.session.click(x + 8, y + 8)
        self.brivet.wait_for_log(r"brivet\.panel: activated by the click that hid the panel")
        self.assertEqual((self.brivet.count_log(SHOWN), self.brivet.count_log(HIDDEN)), (1, 1))
        self.session.click(x + 8, y + 8, 3)
        wait_until(lambda: len(windows()) == 2, message="tray menu open")
        self.press("ctrl+q")
        self.assertEqual(self.brivet.process.wait(timeout=10), 0)
        self.assertEqual(self.brivet.count_log(r"no tray|terminating"), 2)

    def test_command_line_reaches_the_running_instance(self):
        self.assertEqual(self.brivet_command("--version").stdout, "Brivet 0.1.0\n")
        self.assertIn("--settings", self.brivet_command("--help").stdout)
        self.assertEqual(self.brivet_command("--toggle", "--quit").returncode, 2)
        self.assertEqual(self.brivet_command("--export").returncode, 2)  # without its FILE
        for verb in ("--toggle", "--quit"):
            result = self.brivet_command(verb)
            self.assertEqual((result.returncode, result.stderr.splitlines()[0]),
                             (1, "Brivet is not running. Start it with: brivet"))

        # Started in a Wayland session, it runs through XWayland and says what will not work;
        # without XWayland it cannot run at all.
        wayland = dict(self.brivet.env, WAYLAND_DISPLAY="wayland-0", XDG_SESSION_TYPE="wayland")
        del wayland["DISPLAY"]
        result = self.brivet_command(env=wayland)
        self.assertEqual(result.returncode, 1)
        self.assertRegex(result.stderr, r"this is a Wayland session.* without XWayland")
        self.brivet.env.update(WAYLAND_DISPLAY="wayland-0", XDG_SESSION_TYPE="wayland",
                               XDG_CURRENT_DESKTOP="GNOME")
        self.brivet.start()
        self.brivet.wait_for_log(r"Wayland session \(GNOME\): Brivet runs through XWayland")
        self.assertEqual(self.brivet.count_log(r"global shortcut|native Wayland windows"), 2)

        self.assertEqual(self.brivet_command("--toggle").returncode, 0)
        self.brivet.wait_for_log(SHOWN)
        self.assertEqual(self.brivet_command("--show").returncode, 0)  # already shown
        self.assertEqual(self.brivet_command("--hide").returncode, 0)
        self.brivet.wait_for_log(HIDDEN)
        self.assertEqual(self.brivet_command("--settings").returncode, 0)
        self.wait_for_settings(1)
        self.assertEqual(self.brivet.count_log(SHOWN), 1)

        second = self.brivet_command()
        self.assertEqual((second.returncode, second.stdout), (0, "Brivet is already running.\n"))
        self.assertIsNone(self.brivet.process.poll())

        # --quit returns once Brivet has ended: the store is closed (its log folded back).
        self.assertEqual(self.brivet_command("--quit").returncode, 0)
        self.assertFalse(os.path.exists(self.brivet.database_path + "-wal"))
        self.assertEqual(self.brivet.process.wait(timeout=10), 0)

    def test_export_then_import_into_an_empty_history_and_a_damaged_archive_refused(self):
        """--export writes the history (a text with its formatting, an image, a file with its
        contents, a pin with its place in the category's order) to a tar archive; --import into
        an empty history gives the same records, bytes and pins, a second import adds nothing,
        and a damaged or cut-short archive is refused, nothing written."""
        self.brivet.start()
        contents = os.path.join(self.brivet.home, "notes.txt")
        with open(contents, "wb") as file:
            file.write(b"the contents of the notes")
        for data, target in [("a text to keep", None), (png_bytes(40, 30), "image/png"),
                             (f"file://{contents}\n", "text/uri-list")]:
            count = self.record_count()
            self.session.copy(data, target)
            wait_until(lambda: self.record_count() > count, message=f"{target} recorded")
        # A category and a pin, written while Brivet is away.
        self.assertEqual(self.brivet_command("--quit").returncode, 0)
        with sqlite3.connect(self.brivet.database_path) as store:
            store.execute("INSERT INTO Category(id, name, colorHex, \"order\", isDefault) VALUES("
                          "'5e1a3d0c-1111-4c1e-9a9a-0123456789ab', 'Work', '#0A84FF', 1, 0)")
            store.execute("INSERT INTO ClipboardItemCategory(item, category, position) "
                          "SELECT i.pk, c.pk, 1234567 "
                          "FROM ClipboardItem i, Category c "
                          "WHERE i.textContent = 'a text to keep' AND c.name = 'Work'")
            # And the text's formatting.
            store.execute("INSERT INTO ClipboardItemRepresentation(item, mimeType, data) "
                          "SELECT pk, 'text/html', CAST('<b>a text</b> to keep' AS BLOB) "
                          "FROM ClipboardItem WHERE textContent = 'a text to keep'")
        self.brivet.start()
        archive = os.path.join(self.brivet.home, "history.tar")
        result = self.brivet_command("--export", archive)
        self.assertEqual((result.returncode, result.stdout), (0, f"History exported to {archive}\n"),
                         result.stderr)
        self.assertEqual(os.stat(archive).st_mode & 0o777, 0o600)
        names = subprocess.run(["tar", "tf", archive], capture_output=True, text=True,
                               check=True).stdout.split()
        self.assertEqual(names[-2:], ["records.json", "manifest.json"])
        self.assertEqual(len([name for name in names if re.fullmatch(r"blobs/[0-9a-f]{64}", name)]),
                         3)  # the picture, the file's contents and the text's formatting
        before = self.snapshot(self.brivet)
        self.assertEqual(self.brivet_command("--quit").returncode, 0)

        empty = Brivet(self.session)
        self.addCleanup(empty.cleanup)
        empty.start()
        result = self.brivet_command("--import", archive)
        self.assertEqual((result.returncode, result.stdout),
                         (0, "Imported 3 new items (0 were there already), 1 categories and "
                             "1 pins\n"))
        self.assertEqual(self.snapshot(empty), before)
        result = self.brivet_command("--import", archive)
        self.assertIn("Imported 0 new items (3 were there already)", result.stdout)
        self.assertEqual(self.snapshot(empty), before)

        with open(archive, "rb") as file:
            whole = file.read()
        damaged = os.path.join(self.brivet.home, "damaged.tar")
        flipped = bytearray(whole)
        flipped[whole.index(b"a text to keep")] ^= 0x20
        for data, reason in [(bytes(flipped), "records.json is damaged"),
                             (whole[:len(whole) // 2], "cut short|ends in the middle"),
                             (b"not an archive at all", "ends in the middle")]:
            with open(damaged, "wb") as file:
                file.write(data)
            result = self.brivet_command("--import", damaged)
            self.assertEqual(result.returncode, 1)
            self.assertRegex(result.stderr, f"^Nothing was imported: .*({reason})")
        self.assertEqual(self.snapshot(empty), before)
        result = self.brivet_command("--import", os.path.join(self.brivet.home, "none.tar"))
        self.assertEqual(result.returncode, 1)

    @staticmethod
    def snapshot(brivet):
        """Everything a history holds, without the store's own row numbers: the records, their
        bytes in the database and beside it, a text's formatting, the categories and the pins."""
        items = brivet.query(
            "SELECT i.id, contentType, textContent, urlString, filePath, fileName, timestamp, "
            "sourceAppName, sourceAppBundleID, characterCount, imageDataSize, thumbnailDataSize, "
            "fileDataSize, d.imageData, d.thumbnailData, i.pk FROM ClipboardItem i "
            "LEFT JOIN ClipboardItemData d ON d.item = i.pk ORDER BY i.id")
        folder = os.path.join(os.path.dirname(brivet.database_path), "BrivetCloud_ExternalData")
        files = {}
        for row in items:
            path = os.path.join(folder, str(row[-1]))
            if os.path.exists(path):
                with open(path, "rb") as file:
                    files[row[0]] = file.read()
        categories = brivet.query("SELECT id, name, colorHex, \"order\" FROM Category "
                                  "WHERE isDefault = 0 ORDER BY id")
        pins = brivet.query("SELECT i.id, c.id, l.position FROM ClipboardItemCategory l "
                            "JOIN ClipboardItem i "
                            "ON i.pk = l.item JOIN Category c ON c.pk = l.category")
        forms = brivet.query("SELECT i.id, r.mimeType, r.data FROM ClipboardItemRepresentation r "
                             "JOIN ClipboardItem i ON i.pk = r.item ORDER BY i.id, r.mimeType")
        return [row[:-1] for row in items], files, categories, pins, forms

    def test_a_session_without_a_back_end_runs_on_and_says_what_is_missing(self):
        # Qt drawing offscreen: no back end fits, each facility says once that it is missing,
        # and the history, the panel and the command line still work.
        self.brivet.env.update(QT_QPA_PLATFORM="offscreen")
        self.brivet.start()
        self.assertEqual(self.brivet.count_log(r"brivet\.platform: no back end fits"), 1)
        for facility in ("clipboard", "front application", "global shortcut",
                         "synthesised keys", "overlay windows"):
            self.assertEqual(self.brivet.count_log(f"brivet\\.platform: no {facility} in"), 1,
                             facility)
        self.assertEqual(self.brivet_command("--toggle").returncode, 0)
        self.brivet.wait_for_log(SHOWN)
        self.assertEqual(self.brivet_command("--quit").returncode, 0)
        self.assertEqual(self.brivet.process.wait(timeout=10), 0)

    def test_settings_open_from_the_gear_and_switch_open_at_login(self):
        self.brivet.start()
        # The panel's gear, right in its header; the settings open once the panel has hidden.
        self.press("super+shift+v")
        top = self.session.height - 8 - int(self.session.height * 0.22)
        wait_until(lambda: f"Position: 16,{top} " in self.session.run(
            ["xdotool", "search", "--onlyvisible", "--name", "^Brivet$", "getwindowgeometry", "%1"],
            check=False).stdout.decode(), message="panel at rest")
        self.session.click(self.session.width - 42, top + 24)
        self.wait_for_settings(1)
        log = self.brivet.log()
        self.assertLess(next(i for i, l in enumerate(log) if re.search(HIDDEN, l)),
                        next(i for i, l in enumerate(log) if re.search(SETTINGS_SHOWN, l)))

        # The toggle has the keyboard in the General tab.
        entry = os.path.join(self.brivet.env["XDG_CONFIG_HOME"], "autostart", "brivet.desktop")
        self.press("space")
        wait_until(lambda: os.path.exists(entry), message="autostart entry")
        with open(entry) as file:
            exec_line = next(line for line in file if line.startswith("Exec="))
        self.assertEqual(exec_line.strip(), "Exec=" + os.path.realpath(BINARY))
        self.brivet.wait_for_log(r"open at login reads on")
        self.press("space")
        wait_until(lambda: not os.path.exists(entry), message="autostart entry removed")

        # A file where the folder should be: nothing can be written there.
        os.rmdir(os.path.dirname(entry))
        open(os.path.dirname(entry), "w").close()
        reads_off = self.brivet.count_log(r"open at login reads off")
        self.press("space")
        self.brivet.wait_for_log(r"^Failed to update login item: cannot create the folder .*autostart$")
        self.brivet.wait_for_log(r"open at login reads off", count=reads_off + 1)

    def test_a_recorded_shortcut_toggles_the_panel_and_leaving_the_tab_keeps_the_old_one(self):
        self.brivet.start()
        self.assertEqual(self.brivet_command("--settings").returncode, 0)
        window = self.wait_for_settings(1)
        self.press("ctrl+Tab", "space")  # the Shortcuts tab; its button has the keyboard
        self.brivet.wait_for_log(r"brivet\.settings: recording a shortcut")
        self.press("ctrl+alt+space")
        self.brivet.wait_for_log(r'shortcut set to "Ctrl\+Alt\+Space"')
        self.press("ctrl+alt+space")
        self.brivet.wait_for_log(SHOWN)
        self.press("ctrl+alt+space")
        self.brivet.wait_for_log(HIDDEN)

        # Recording again, then the General tab chosen: Ctrl+Alt+Space works again.
        wait_until(lambda: self.session.active_window() == window, message="settings in front")
        self.press("space")
        self.brivet.wait_for_log(r"brivet\.settings: recording a shortcut", count=2)
        left, top, _, _ = self.session.geometry(window)
        self.session.click(left + 225 - 2 - 42, top + 37)
        self.brivet.wait_for_log(r'recording cancelled; keeping "Ctrl\+Alt\+Space"')
        pressed = self.brivet.count_log(PRESSED)
        self.press("ctrl+alt+space")
        self.brivet.wait_for_log(PRESSED, count=pressed + 1)
        self.brivet.wait_for_log(SHOWN, count=2)

    def test_install_puts_a_desktop_entry_that_runs_the_installed_binary(self):
        # (The files a package holds: test_package.py.)
        build = os.environ.get("BRIVET_BUILD_DIR")
        if not build:
            self.skipTest("BRIVET_BUILD_DIR not set")
        prefix = tempfile.mkdtemp(prefix="brivet-install-")
        subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True,
                       capture_output=True, timeout=120)
        with open(os.path.join(prefix, "share/applications/com.brivet.Brivet.desktop")) as file:
            desktop = file.read()
        # KWin hands its fake input only to a program named by its full path.
        self.assertIn(f"\nExec={prefix}/bin/brivet\n", desktop)
        self.assertIn(f"\nExec={prefix}/bin/brivet --toggle\n", desktop)
        self.assertIn("\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n", desktop)
        self.assertIn("\nIcon=com.brivet.Brivet\n", desktop)
        # The installed binary runs; the running one is reached through it.
        installed = os.path.join(prefix, "bin/brivet")
        process = subprocess.Popen([installed], env=self.brivet.env, stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT, text=True)
        self.addCleanup(process.stdout.close)
        wait_until(lambda: "launched" in process.stdout.readline(), timeout=20,
                   message="installed brivet launched")
        self.assertEqual(self.brivet_command("--quit").returncode, 0)
        self.assertEqual(process.wait(timeout=10), 0)


if __name__ == "__main__":
    unittest.main()
