"""Start-up and shutdown of the real binary: the private store it creates, the built-in
category, a clean exit on SIGTERM, and refusing a store file that it must not change (every
kind of refusal: tst_store)."""

import os
import signal
import stat
import subprocess
import unittest

from brivet_e2e import BINARY, Brivet, BrivetTestCase


class StartupTest(BrivetTestCase):

    def test_creates_a_private_store_with_the_default_category(self):
        path = self.brivet.database_path
        self.assertEqual(stat.S_IMODE(os.stat(os.path.dirname(path)).st_mode), 0o700)
        self.assertEqual(stat.S_IMODE(os.stat(path).st_mode), 0o600)
        self.assertEqual(self.brivet.query("SELECT value FROM Metadata WHERE key = 'schemaVersion'"),
                         [("1.1.0",)])
        self.assertEqual(self.brivet.query('SELECT name, colorHex, "order", isDefault FROM Category'),
                         [("Clipboard History", "#FFFFFF", 0, 1)])
        # The first start tells (here, with no notification server, in the log) how to open
        # the panel; a later one does not.
        notice = r"no notification server to tell: Brivet keeps what you copy - Press Shift\+Super\+V"
        self.brivet.wait_for_log(notice)
        self.assertEqual(self.brivet.stop(signal.SIGTERM), 0)
        self.assertEqual(self.brivet.count_log("brivet.app: terminating"), 1)
        # A second start creates no second default category.
        again = Brivet(self.session, home=self.brivet.home).start()
        self.assertEqual(again.stop(signal.SIGINT), 0)
        self.assertEqual(len(self.brivet.query("SELECT * FROM Category")), 1)
        self.assertEqual(again.count_log(notice), 0)


class LanguageTest(BrivetTestCase):

    start_brivet = False

    def test_texts_follow_the_users_language(self):
        self.brivet.env["LC_ALL"] = "de_DE.UTF-8"
        self.brivet.start()
        self.brivet.wait_for_log(r"no notification server to tell: Brivet behält, was Sie "
                                 r"kopieren - Drücken Sie Shift\+Super\+V")


class RefusalTest(BrivetTestCase):
    start_brivet = False

    def test_a_file_that_is_not_a_database_stops_brivet(self):
        path = self.brivet.database_path
        os.makedirs(os.path.dirname(path), mode=0o700)
        with open(path, "wb") as handle:
            handle.write(b"not a database, just notes\n" * 50)
        before = open(path, "rb").read()
        result = subprocess.run([BINARY], env=self.brivet.env, capture_output=True, text=True,
                                timeout=30)
        self.assertEqual(result.returncode, 1)
        self.assertIn("Could not create ModelContainer: ", result.stderr)
        self.assertIn("not a database", result.stderr)
        self.assertEqual(open(path, "rb").read(), before)
        self.assertEqual(os.listdir(os.path.dirname(path)), ["BrivetCloud.sqlite"])

    def test_without_a_display_it_says_what_it_needs(self):
        env = {key: value for key, value in os.environ.items()
               if key not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        result = subprocess.run([BINARY], env=env, capture_output=True, text=True, timeout=30)
        self.assertEqual(result.returncode, 1)
        self.assertIn("DISPLAY is not set", result.stderr)


if __name__ == "__main__":
    unittest.main()
