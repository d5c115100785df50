"""Start-up and shutdown of the real binary: the private store it creates, the built-in
category, a clean exit on SIGTERM, and refusing a store file that it must not change."""

import hashlib
import os
import signal
import stat
import subprocess
import unittest

import brivet_e2e
from brivet_e2e import BINARY, Brivet, BrivetTestCase


class StartupTest(BrivetTestCase):

    def test_creates_a_private_store_with_the_default_category(self):
        path = self.brivet.database_path
        self.assertEqual(stat.S_IMODE(os.stat(os.path.dirname(path)).st_mode), 0o700)
        self.assertEqual(stat.S_IMODE(os.stat(path).st_mode), 0o600)
        self.assertEqual(self.brivet.query("SELECT value FROM Metadata WHERE key = 'schemaVersion'"),
                         [("1.0.0",)])
        categories = self.brivet.query(
            'SELECT name, colorHex, "order", isDefault FROM Category')
        self.assertEqual(categories, [("Clipboard History", "#FFFFFF", 0, 1)])

        self.assertEqual(self.brivet.stop(signal.SIGTERM), 0)
        self.assertTrue(any("brivet.app: terminating" in line for line in self.brivet.log()))

        # A second start creates no second default category.
        again = Brivet(self.session, home=self.brivet.home)
        again.start()
        self.assertEqual(again.stop(signal.SIGINT), 0)
        self.assertEqual(len(self.brivet.query("SELECT * FROM Category")), 1)


class BadStoreTest(BrivetTestCase):
    start_brivet = False

    def start_with(self, contents=None, mode=None):
        path = self.brivet.database_path
        os.makedirs(os.path.dirname(path), mode=0o700)
        with open(path, "wb") as handle:
            handle.write(contents)
        if mode is not None:
            os.chmod(path, mode)
        before = hashlib.sha256(open(path, "rb").read()).hexdigest()
        result = subprocess.run([BINARY], env=self.brivet.env, capture_output=True, text=True,
                                timeout=30)
        after = hashlib.sha256(open(path, "rb").read()).hexdigest()
        self.assertEqual(before, after, "the store file was changed")
        self.assertEqual(sorted(os.listdir(os.path.dirname(path))), ["BrivetCloud.sqlite"])
        return result

    def test_a_file_that_is_not_a_database_stops_brivet(self):
        result = self.start_with(b"not a database, just notes\n" * 50)
        self.assertEqual(result.returncode, 1)
        self.assertIn("Could not create ModelContainer: ", result.stderr)
        self.assertIn("not a database", result.stderr)

    def test_a_read_only_store_stops_brivet(self):
        # A real store, made read-only by its owner.
        first = Brivet(self.session)
        first.start()
        first.stop()
        source = first.database_path
        with open(source, "rb") as handle:
            contents = handle.read()
        first.cleanup()
        result = self.start_with(contents, mode=0o400)
        self.assertEqual(result.returncode, 1)
        self.assertIn("Could not create ModelContainer: ", result.stderr)
        self.assertIn("read-only", result.stderr)


class NoDisplayTest(unittest.TestCase):

    def test_without_a_display_it_says_what_it_needs(self):
        env = {key: value for key, value in os.environ.items()
               if key not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        result = subprocess.run([BINARY], env=env, capture_output=True, text=True, timeout=30)
        self.assertEqual(result.returncode, 1)
        self.assertIn("DISPLAY is not set", result.stderr)


if __name__ == "__main__":
    unittest.main()
