"""Idle cost of the real binary: CPU time used over 60 s with no clipboard changes, under a
private Xvfb with openbox. Prints one line per figure.

    BRIVET_BINARY=build/src/app/brivet python3 bench/idle_cpu.py [seconds]
"""

import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
from brivet_e2e import Brivet, XSession  # noqa: E402


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as handle:
        fields = handle.read().rsplit(")", 1)[1].split()
    ticks = os.sysconf("SC_CLK_TCK")
    return (int(fields[11]) + int(fields[12])) / ticks  # utime + stime


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 60.0
    session = XSession().start()
    brivet = Brivet(session)
    try:
        brivet.start()
        time.sleep(2)  # past start-up
        before = cpu_seconds(brivet.process.pid)
        time.sleep(seconds)
        used = cpu_seconds(brivet.process.pid) - before
        print(f"idle_cpu_seconds_over_{seconds:.0f}s {used:.3f}")
        print(f"idle_cpu_percent_of_one_core {100.0 * used / seconds:.4f}")
    finally:
        brivet.cleanup()
        session.stop()


if __name__ == "__main__":
    main()
