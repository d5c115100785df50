"""The global hotkey of the real binary under Xvfb + openbox: each press from xdotool toggles
the panel once (one "hotkey pressed" line each: from the application, or from the panel when
it holds the keyboard by then, as it may once the first press has shown it); a combination
another program holds leaves Brivet running and quiet; the hotkey is given up before termination. The
stored combination (tst_hotkey), exact counts, lock keys and other combinations (tst_x11hotkey,
where a second combination proves an absence) are checked below."""

import signal
import subprocess
import unittest

from brivet_e2e import GRABBER, BrivetTestCase

PRESSED = r"brivet\.(app|panel): hotkey pressed"
REGISTERED = r"brivet\.hotkey: registered key code"


class HotkeyTest(BrivetTestCase):
    start_brivet = False

    def test_each_press_toggles_once_and_the_hotkey_is_given_up_before_termination(self):
        self.brivet.start()
        self.brivet.wait_for_log(REGISTERED)
        self.assertGreater(self.brivet.count_log('"Shift\\+Super\\+V"'), 0)
        self.session.run(["xdotool", "key", "--delay", "20", "super+shift+v", "super+shift+v"])
        self.brivet.wait_for_log(PRESSED, count=2)
        self.brivet.wait_for_log(r"brivet\.panel: hidden")  # shown, then hidden
        self.assertEqual(self.brivet.stop(signal.SIGTERM), 0)
        log = self.brivet.log()
        terminating = [i for i, line in enumerate(log) if "brivet.app: terminating" in line]
        unregistered = [i for i, line in enumerate(log) if "brivet.hotkey: unregistered" in line]
        self.assertEqual(len(terminating), 1)
        self.assertTrue(unregistered and unregistered[0] < terminating[0], "\n".join(log))

    def test_combination_held_by_another_program(self):
        grabber = self.session.popen([GRABBER, "55", "65", "--with-locks"],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.addCleanup(grabber.stdout.close)
        self.addCleanup(grabber.stdin.close)
        self.assertEqual(grabber.stdout.readline().strip(), "grabbed 4 of 4")

        self.brivet.start()
        self.brivet.wait_for_log(r"brivet\.platform\.hotkey: another program holds key 55")
        self.brivet.wait_for_log(r'brivet\.hotkey: could not register "Shift\+Super\+V"')
        # It keeps running and recording.
        self.copy_and_wait("recorded all the same", records=1)
        self.assertEqual(self.brivet.stop(signal.SIGTERM), 0)


if __name__ == "__main__":
    unittest.main()
