"""The global hotkey of the real binary under Xvfb + openbox: presses from xdotool reach the
hotkey listening task (one "brivet.app: hotkey pressed" line each), whatever the lock keys, in
the combination the settings file names; a combination another program holds leaves Brivet
running and quiet; after termination has begun no press is handled."""

import os
import re
import signal
import subprocess
import time
import unittest

from brivet_e2e import BrivetTestCase, wait_until

GRABBER = os.environ.get("BRIVET_HOTKEY_GRABBER", "brivet_hotkey_grabber")
PRESSED = r"brivet\.app: hotkey pressed"
REGISTERED = r"brivet\.hotkey: registered key code"
# Time for a press that should not arrive to have arrived all the same. Only a faulty build
# could need it; a correct one passes at once.
QUIET = 1.0


class HotkeyTest(BrivetTestCase):
    start_brivet = False

    def start(self, settings=None):
        if settings is not None:
            directory = os.path.join(self.brivet.config_home, "brivet")
            os.makedirs(directory, exist_ok=True)
            with open(os.path.join(directory, "brivet.conf"), "w") as handle:
                handle.write(settings)
        self.brivet.start()

    def press(self, keys):
        self.session.run(["xdotool", "key", keys])

    def presses(self):
        return self.brivet.count_log(PRESSED)

    def lock_state(self, name):
        output = self.session.run(["xset", "q"]).stdout.decode()
        return re.search(name + r":\s+on", output) is not None

    def test_one_press_is_one_element(self):
        self.start()
        self.brivet.wait_for_log(REGISTERED)
        self.assertTrue(any('"Shift+Super+V"' in line for line in self.brivet.log()))

        self.press("super+shift+v")
        self.brivet.wait_for_log(PRESSED)
        time.sleep(QUIET)
        self.assertEqual(self.presses(), 1)

        # Other combinations on the same key are not the hotkey.
        self.press("super+v")
        self.press("shift+v")
        self.press("super+shift+v")
        self.brivet.wait_for_log(PRESSED, count=2)
        time.sleep(QUIET)
        self.assertEqual(self.presses(), 2)

    def test_presses_in_quick_succession_are_all_handled(self):
        self.start()
        self.brivet.wait_for_log(REGISTERED)
        self.session.run(["xdotool", "key", "--delay", "20", "super+shift+v", "super+shift+v",
                          "super+shift+v"])
        self.brivet.wait_for_log(PRESSED, count=3)
        time.sleep(QUIET)
        self.assertEqual(self.presses(), 3)

    def test_num_lock_on(self):
        self.start()
        self.brivet.wait_for_log(REGISTERED)
        self.press("Num_Lock")
        wait_until(lambda: self.lock_state("Num Lock"), message="Num Lock on")
        self.press("super+shift+v")
        self.brivet.wait_for_log(PRESSED)
        self.press("Caps_Lock")
        wait_until(lambda: self.lock_state("Caps Lock"), message="Caps Lock on")
        self.press("super+shift+v")
        self.brivet.wait_for_log(PRESSED, count=2)

    def test_stored_combination(self):
        # Ctrl+Alt+Space, as the settings window stores it.
        self.start("[General]\nhotkeyKeyCode=49\nhotkeyModifiers=6144\n")
        self.brivet.wait_for_log(REGISTERED)
        self.assertTrue(any('"Ctrl+Alt+Space"' in line for line in self.brivet.log()))
        self.press("super+shift+v")
        self.press("ctrl+alt+space")
        self.brivet.wait_for_log(PRESSED)
        time.sleep(QUIET)
        self.assertEqual(self.presses(), 1)

    def test_combination_held_by_another_program(self):
        grabber = self.session.popen([GRABBER, "55", "65", "--with-locks"],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.addCleanup(grabber.stdout.close)
        self.addCleanup(grabber.stdin.close)
        self.assertEqual(grabber.stdout.readline().strip(), "grabbed 4 of 4")

        self.start()
        self.brivet.wait_for_log(r"brivet\.hotkey: another program holds key 55")
        self.brivet.wait_for_log(r'brivet\.hotkey: could not register "Shift\+Super\+V"')
        self.press("super+shift+v")
        time.sleep(QUIET)
        self.assertIsNone(self.brivet.process.poll(), "brivet keeps running")
        self.assertEqual(self.presses(), 0)

        # Still alive and well: it shuts down cleanly.
        self.assertEqual(self.brivet.stop(signal.SIGTERM), 0)

    def test_no_press_after_termination_began(self):
        self.start()
        self.brivet.wait_for_log(REGISTERED)
        self.press("super+shift+v")
        self.brivet.wait_for_log(PRESSED)

        self.brivet.process.send_signal(signal.SIGTERM)
        self.press("super+shift+v")
        self.press("super+shift+v")
        self.assertEqual(self.brivet.process.wait(timeout=10), 0)

        log = self.brivet.log()
        terminating = [i for i, line in enumerate(log) if "brivet.app: terminating" in line]
        unregistered = [i for i, line in enumerate(log) if "brivet.hotkey: unregistered" in line]
        self.assertEqual(len(terminating), 1)
        self.assertTrue(unregistered and unregistered[0] < terminating[0])
        self.assertFalse([line for line in log[unregistered[0]:] if re.search(PRESSED, line)])


if __name__ == "__main__":
    unittest.main()
